"""Runs mypy, as a user's project would, over usage.py (which must pass) and
misuse.py (which must fail on each line marked "# error", and only there),
against the quorin installed for the interpreter given: copies of both in a
folder of their own, outside the source tree.

usage: check.py PYTHON"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def mypy(python, folder, script):
    environment = dict(os.environ)
    environment.pop("MYPYPATH", None)
    shutil.copy(os.path.join(HERE, script), folder)
    return subprocess.run(["mypy", "--no-error-summary", "--no-incremental", "--cache-dir", os.devnull,
                           "--python-executable", python, script], cwd=folder, env=environment,
                          stdout=subprocess.PIPE, universal_newlines=True)


def main(python):
    folder = tempfile.mkdtemp()
    used = mypy(python, folder, "usage.py")
    assert used.returncode == 0, used.stdout
    with open(os.path.join(HERE, "misuse.py")) as file:
        marked = {number for number, line in enumerate(file, 1) if line.rstrip().endswith("# error")}
    misused = mypy(python, folder, "misuse.py").stdout
    shutil.rmtree(folder)
    reported = {int(number) for number in re.findall(r"misuse\.py:(\d+): error:", misused)}
    assert reported == marked, "mypy missed lines %s and reported lines %s" % (
        sorted(marked - reported), sorted(reported - marked))
    print("mypy: usage.py passes; misuse.py fails on each of its %d mistakes, keywords among them" % len(marked))


if __name__ == "__main__":
    main(*sys.argv[1:])
