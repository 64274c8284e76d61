"""Writes a GCC specs file that links against the Universal CRT, as CPython
on Windows does, instead of msvcrt.dll, which MinGW-w64's GCC links by
default (GCC 13's -mcrtdll does the same).

usage: gcc_ucrt.py COMPILER OUTPUT"""

import subprocess
import sys


def main(compiler, output):
    specs = subprocess.run([compiler, "-dumpspecs"], stdout=subprocess.PIPE, check=True,
                           universal_newlines=True).stdout
    if "-lmsvcrt" not in specs:
        sys.exit("%s: no -lmsvcrt in the compiler's specs" % compiler)
    with open(output, "w") as file:
        file.write(specs.replace("-lmsvcrt", "-lucrt"))


if __name__ == "__main__":
    main(*sys.argv[1:])
