"""The program's own identifiers and texts, read from res/resource.h and
res/Cribwatch.rc, so that the tests name controls and texts as the program
does and hold no copies of them.

    from resources import R, GERMAN, ENGLISH

    R.IDC_START_STOP                  # 700, any #define of resource.h
    R.text(R.IDS_STOP, ENGLISH)       # "Stop": the id, plus IDS_ENGLISH_OFFSET for English
    R.string(R.IDS_CAPTURE_ERROR)     # a string-table entry by its plain number
    R.dialog("AppDlg")                # {control id: template caption, or picture id}
"""

import ast
import operator
import re
from pathlib import Path

RES = Path(__file__).resolve().parent.parent.parent / "res"

# The profile's Language values; every value but 0 means English.
GERMAN, ENGLISH = "0", "1"

_OPERATORS = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul,
              ast.BitOr: operator.or_, ast.LShift: operator.lshift,
              ast.USub: operator.neg, ast.UAdd: operator.pos}

_DIALOG_ITEM = re.compile(
    r'^\s*(?:[LCR]TEXT|(?:DEF)?PUSHBUTTON|GROUPBOX|CONTROL|(?:AUTO)?(?:RADIOBUTTON|CHECKBOX))\s+'
    r'("(?:[^"]|"")*"|\w+)\s*,\s*([^,]+),', re.M)


def _unquote(literal):
    """The text of a quoted resource-script string with C escapes."""
    escapes = {"n": "\n", "t": "\t", "r": "\r", "0": "\0", "a": "\a"}
    return re.sub(r'\\(.)|""', lambda m: escapes.get(m.group(1), m.group(1)) if m.group(1) else '"',
                  literal[1:-1])


class Resources:
    def __init__(self, header=RES / "resource.h", script=RES / "Cribwatch.rc"):
        self.ids = {"IDOK": 1, "IDCANCEL": 2}     # of windows.h, for the templates
        for name, value in re.findall(r"^\s*#define\s+(\w+)[ \t]+([^/\n]+)", header.read_text(), re.M):
            self.ids[name] = self.value(value)
        self.script = script.read_bytes().decode("cp1252")
        table = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", self.script, re.M | re.S)
        if not table:
            raise ValueError("%s has no STRINGTABLE" % script)
        self.strings = {}
        for line in table.group(1).splitlines():
            if not line.strip() or line.strip().startswith("//"):
                continue
            m = re.match(r'\s*(\w+)\s*,?\s*("(?:[^"\\]|\\.|"")*")\s*$', line)
            if not m:
                raise ValueError("string table line not understood: %r" % line)
            self.strings[self.value(m.group(1))] = _unquote(m.group(2))

    def value(self, expression):
        """The value of a number or a simple expression of known names."""
        def evaluate(node):
            if isinstance(node, ast.Constant) and isinstance(node.value, int):
                return node.value
            if isinstance(node, ast.Name):
                return self.ids[node.id]
            if isinstance(node, ast.UnaryOp):
                return _OPERATORS[type(node.op)](evaluate(node.operand))
            if isinstance(node, ast.BinOp):
                return _OPERATORS[type(node.op)](evaluate(node.left), evaluate(node.right))
            raise ValueError("not a simple expression: %r" % expression)
        return evaluate(ast.parse(expression.strip(), mode="eval").body)

    def __getattr__(self, name):
        try:
            return self.__dict__["ids"][name]
        except KeyError:
            raise AttributeError("resource.h defines no %s" % name) from None

    def string(self, number):
        return self.strings[number]

    def text(self, ids, language=GERMAN):
        """A text as the program loads it: German under its id, English
        under the id plus IDS_ENGLISH_OFFSET."""
        return self.strings[ids + (self.IDS_ENGLISH_OFFSET if int(language) != 0 else 0)]

    def dialog(self, name):
        """{control id: caption (a str) or picture id (an int)} of a dialog
        template, as the template declares them."""
        m = re.search(r"^%s\s+DIALOG\b.*?^BEGIN\n(.*?)^END" % re.escape(name), self.script, re.M | re.S)
        if not m:
            raise ValueError("no dialog template %s" % name)
        return {self.value(control): _unquote(text) if text.startswith('"') else self.value(text)
                for text, control in _DIALOG_ITEM.findall(m.group(1))}


R = Resources()
