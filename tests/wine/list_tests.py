"""Lists the test classes of the end-to-end test files, for ctest
registration at configure time: one line "module.Class" per TestCase class
that holds at least one test. Importing a test file starts nothing (worlds
are made in the tests). A file that cannot be imported is listed as
"module" alone, so it runs (and reports its error) as one test."""

import inspect
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def main(files):
    loader = unittest.TestLoader()
    for path in files:
        module = os.path.splitext(os.path.basename(path))[0]
        folder = os.path.dirname(os.path.abspath(path))
        if folder not in sys.path:
            sys.path.insert(0, folder)
        try:
            mod = __import__(module)
        except Exception:  # reported when the test runs
            print(module)
            continue
        found = False
        for name, cls in sorted(vars(mod).items()):
            if not (inspect.isclass(cls) and issubclass(cls, unittest.TestCase)):
                continue
            if cls.__module__ != module or name.startswith("_"):
                continue
            if loader.getTestCaseNames(cls):
                print("%s.%s" % (module, name))
                found = True
        if not found:
            print(module)


if __name__ == "__main__":
    main(sys.argv[1:])
