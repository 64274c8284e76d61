"""Checks a cross-built quorin.pyd: a PE DLL of the expected machine type
that exports PyInit_quorin alone, imports the interpreter's DLL, ole32,
oleaut32 and user32 (besides the C runtime and kernel), and carries nothing
of the platform library that serves other systems.

usage: check_pyd.py OBJDUMP PYD (i386|x86-64)"""

import re
import subprocess
import sys

REQUIRED = {"ole32.dll", "oleaut32.dll", "user32.dll"}
ALLOWED = REQUIRED | {"kernel32.dll", "msvcrt.dll"}


def check(objdump, pyd, machine):
    result = subprocess.run([objdump, "-p", pyd], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            universal_newlines=True)
    if result.returncode != 0:
        print("%s: not a PE image for %s (%s)" % (pyd, machine, result.stderr.strip()), file=sys.stderr)
        return False
    dump = result.stdout
    problems = []
    if "file format pei-%s" % machine not in dump:
        problems.append("not a PE image for %s" % machine)
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    interpreters = {name for name in imports if re.fullmatch(r"python3\d+\.dll", name)}
    if len(interpreters) != 1:
        problems.append("imports no interpreter DLL (or several): %s" % sorted(interpreters))
    missing = REQUIRED - imports
    if missing:
        problems.append("does not import %s" % sorted(missing))
    unexpected = {name for name in imports - ALLOWED - interpreters if not name.startswith("api-ms-win-crt-")}
    if unexpected:
        problems.append("imports unexpected DLLs: %s" % sorted(unexpected))
    exports = re.findall(r"^\s*\[\s*\d+\]\s+(\w+)\s*$", dump.split("Export Tables", 1)[-1], re.M)
    if exports != ["PyInit_quorin"]:
        problems.append("exports %s instead of PyInit_quorin alone" % exports)
    with open(pyd, "rb") as file:
        if b"quorin_platform" in file.read():
            problems.append("carries the platform library")
    for problem in problems:
        print("%s: %s" % (pyd, problem), file=sys.stderr)
    if not problems:
        print("%s: PE %s, exports PyInit_quorin, imports %s" % (pyd, machine, ", ".join(sorted(imports))))
    return not problems


if __name__ == "__main__":
    sys.exit(0 if check(*sys.argv[1:]) else 1)
