// An in-memory dialog template for the rig's small window programs: the
// header, then one item after another, each DWORD-aligned; the header's item
// count follows the items added.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <vector>

// The predefined control classes, as a template names them.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboAtom = 0x0085;

class DialogTemplate {
public:
    DialogTemplate(DWORD style, short x, short y, short cx, short cy, const wchar_t* title) {
        DLGTEMPLATE t = {};
        t.style = style | DS_SETFONT;
        t.x = x;
        t.y = y;
        t.cx = cx;
        t.cy = cy;
        Raw(&t, sizeof t);
        Word(0);  // no menu
        Word(0);  // the dialog class
        String(title);
        Word(8);
        String(L"MS Shell Dlg");
    }

    // A control of a predefined class.
    void Item(WORD classAtom, const wchar_t* text, WORD id, DWORD style, short x, short y, short cx,
              short cy) {
        Begin(id, style, x, y, cx, cy);
        Word(0xFFFF);
        Word(classAtom);
        End(text);
    }
    // A control of a registered window class.
    void Item(const wchar_t* className, const wchar_t* text, WORD id, DWORD style, short x, short y,
              short cx, short cy) {
        Begin(id, style, x, y, cx, cy);
        String(className);
        End(text);
    }

    const DLGTEMPLATE* Get() {
        Align();
        return reinterpret_cast<const DLGTEMPLATE*>(bytes.data());
    }

private:
    void Begin(WORD id, DWORD style, short x, short y, short cx, short cy) {
        Align();
        DLGITEMTEMPLATE item = {};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        Raw(&item, sizeof item);
    }
    void End(const wchar_t* text) {
        String(text);
        Word(0);  // no creation data
        WORD count;
        std::memcpy(&count, bytes.data() + offsetof(DLGTEMPLATE, cdit), sizeof count);
        ++count;
        std::memcpy(bytes.data() + offsetof(DLGTEMPLATE, cdit), &count, sizeof count);
    }
    void Raw(const void* p, std::size_t n) {
        const BYTE* b = static_cast<const BYTE*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Word(WORD w) { Raw(&w, sizeof w); }
    void String(const wchar_t* s) { Raw(s, (std::wcslen(s) + 1) * sizeof(wchar_t)); }
    void Align() {
        while (bytes.size() % 4) bytes.push_back(0);
    }

    std::vector<BYTE> bytes;
};
