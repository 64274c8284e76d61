"""Checks a cross-built quorin.pyd: a PE DLL of the expected machine type
that exports PyInit_quorin alone, imports the interpreter's DLL, ole32,
oleaut32 and user32 (besides the Universal CRT and kernel; never msvcrt.dll,
whose locale the interpreter does not set), and carries nothing of the
platform library that serves other systems. Given the stand-in interpreter
too, checks that it exports exactly the interpreter names the module imports
(besides its own StandIn_ functions for the host).

usage: check_pyd.py OBJDUMP PYD (i386|x86-64) [STANDIN_DLL]"""

import re
import subprocess
import sys

REQUIRED = {"ole32.dll", "oleaut32.dll", "user32.dll"}
ALLOWED = REQUIRED | {"kernel32.dll"}


def dump_of(objdump, image):
    result = subprocess.run([objdump, "-p", image], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            universal_newlines=True)
    return result.stdout if result.returncode == 0 else None


def exports_of(dump):
    return re.findall(r"^\s*\[\s*\d+\]\s+(\w+)\s*$", dump.split("Export Tables", 1)[-1], re.M)


def imports_from(dump, dll):
    """The names imported from one DLL, from objdump's import tables."""
    names = []
    for block in re.split(r"\n\s*DLL Name: ", dump)[1:]:
        if block.split()[0].lower() == dll:
            names += re.findall(r"^\s+[0-9a-f]+\s+(?:[0-9a-f]+\s+)?(\w+)\s*$", block.split("\n\n")[0], re.M)
    return names


def check(objdump, pyd, machine, standin=None):
    dump = dump_of(objdump, pyd)
    if dump is None:
        print("%s: not a PE image for %s" % (pyd, machine), file=sys.stderr)
        return False
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
    if "msvcrt.dll" in imports:
        problems.append("imports msvcrt.dll: link against the Universal CRT")
    unexpected = {name for name in imports - ALLOWED - interpreters if not name.startswith("api-ms-win-crt-")}
    if unexpected:
        problems.append("imports unexpected DLLs: %s" % sorted(unexpected))
    exports = exports_of(dump)
    if exports != ["PyInit_quorin"]:
        problems.append("exports %s instead of PyInit_quorin alone" % exports)
    with open(pyd, "rb") as file:
        if b"quorin_platform" in file.read():
            problems.append("carries the platform library")
    if standin and len(interpreters) == 1:
        wanted = set(imports_from(dump, next(iter(interpreters))))
        standin_dump = dump_of(objdump, standin) or ""
        offered = {name for name in exports_of(standin_dump) if not name.startswith("StandIn_")}
        if not wanted or wanted != offered:
            problems.append("the stand-in interpreter lacks %s and has besides %s" % (
                sorted(wanted - offered or ["nothing"]), sorted(offered - wanted or ["nothing"])))
        else:
            print("%s: exports exactly the %d interpreter names the module imports" % (standin, len(wanted)))
    for problem in problems:
        print("%s: %s" % (pyd, problem), file=sys.stderr)
    if not problems:
        print("%s: PE %s, exports PyInit_quorin, imports %s" % (pyd, machine, ", ".join(sorted(imports))))
    return not problems


if __name__ == "__main__":
    sys.exit(0 if check(*sys.argv[1:]) else 1)
