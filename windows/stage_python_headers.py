"""Stages CPython's headers with our Windows pyconfig.h in place of the
system's, and prints the name of the interpreter DLL that a module built on
the stable ABI imports: python3.dll, whichever version the headers are.

usage: stage_python_headers.py HEADERS_DIR PYCONFIG DEST"""

import os
import re
import shutil
import sys


def main(headers, pyconfig, dest):
    if os.path.isdir(dest):
        shutil.rmtree(dest)
    shutil.copytree(headers, dest, ignore=shutil.ignore_patterns("pyconfig.h"))
    shutil.copy(pyconfig, os.path.join(dest, "pyconfig.h"))
    with open(os.path.join(headers, "patchlevel.h")) as file:
        major = re.search(r"#define\s+PY_MAJOR_VERSION\s+(\d+)", file.read()).group(1)
    print("python%s.dll" % major, end="")


if __name__ == "__main__":
    main(*sys.argv[1:])
