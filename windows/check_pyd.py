"""Checks a cross-built quorin.pyd: a PE DLL of the expected machine type
that exports PyInit_quorin alone, imports python3.dll (the stable ABI's
interpreter DLL) and from it only names of the stable ABI, imports ole32,
oleaut32 and user32 (besides the Universal CRT and kernel; never msvcrt.dll,
whose locale the interpreter does not set), and carries nothing of the
platform library that serves other systems. Given the stand-in interpreter
too, checks that it offers every interpreter name the module imports.

The stable ABI's names are those that CPython's headers declare for export
under Py_LIMITED_API (CPython's own build checks that they match its list of
the stable ABI): HEADERS is the folder of the staged headers the module was
built with, read by the cross compiler beside OBJDUMP.

usage: check_pyd.py OBJDUMP PYD (i386|x86-64) HEADERS [STANDIN_DLL]"""

import re
import subprocess
import sys

# The stable ABI the module is built on: CPython 3.11's.
LIMITED_API = "0x030B0000"

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


def stable_abi(objdump, headers):
    """The names the headers declare for import (__declspec(dllimport))
    when only the stable ABI is asked for."""
    compiler = re.sub(r"objdump$", "gcc", objdump)
    source = "#define Py_LIMITED_API %s\n#define PY_SSIZE_T_CLEAN\n#include <Python.h>\n" % LIMITED_API
    text = subprocess.run([compiler, "-E", "-P", "-isystem", headers, "-x", "c", "-"], input=source,
                          stdout=subprocess.PIPE, universal_newlines=True, check=True).stdout
    names = set()
    for declaration in re.findall(r"(?:__declspec\(dllimport\)|__attribute__\(\(dllimport\)\))([^;{]*)",
                                  " ".join(text.split())):
        # The name is the last word before the parameters (or the end).
        words = re.findall(r"[A-Za-z_]\w*", re.split(r"[(\[]", declaration, 1)[0])
        if words:
            names.add(words[-1])
    return names


def check(objdump, pyd, machine, headers, standin=None):
    dump = dump_of(objdump, pyd)
    if dump is None:
        print("%s: not a PE image for %s" % (pyd, machine), file=sys.stderr)
        return False
    problems = []
    if "file format pei-%s" % machine not in dump:
        problems.append("not a PE image for %s" % machine)
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    interpreters = {name for name in imports if re.fullmatch(r"python3\d*\.dll", name)}
    if interpreters != {"python3.dll"}:
        problems.append("imports %s instead of python3.dll alone" % (sorted(interpreters) or "no interpreter"))
    wanted = set(imports_from(dump, "python3.dll"))
    outside = wanted - stable_abi(objdump, headers)
    if not wanted or outside:
        problems.append("imports from python3.dll names outside the stable ABI: %s" % sorted(outside or ["none"]))
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
    if standin and wanted:
        offered = set(exports_of(dump_of(objdump, standin) or ""))
        if wanted - offered:
            problems.append("the stand-in interpreter lacks %s" % sorted(wanted - offered))
        else:
            print("%s: offers the %d interpreter names the module imports" % (standin, len(wanted)))
    for problem in problems:
        print("%s: %s" % (pyd, problem), file=sys.stderr)
    if not problems:
        print("%s: PE %s, exports PyInit_quorin, imports %s; from python3.dll %d names, all in the stable ABI" % (
            pyd, machine, ", ".join(sorted(imports)), len(wanted)))
    return not problems


if __name__ == "__main__":
    sys.exit(0 if check(*sys.argv[1:]) else 1)
