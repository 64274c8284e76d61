"""Writes the Windows wheel of a cross-built quorin.pyd: the module at the
root, its type stubs as the package quorin-stubs beside it, and the wheel's
metadata from pyproject.toml with the version the Meson project states (the
one place it is written). The wheel and its RECORD are written by
python3-wheel's WheelFile.

usage: make_wheel.py PYD STUBS VERSION TAG OUTDIR
   e.g. make_wheel.py build-win-x86_64/quorin.pyd src/module/quorin-stubs/__init__.pyi 0.1.0 \
        cp311-abi3-win_amd64 dist"""

import os
import sys
import tomllib

from wheel.wheelfile import WheelFile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def metadata(project, version):
    """Core metadata 2.1, as meson-python writes it for the Linux wheels."""
    lines = ["Metadata-Version: 2.1", "Name: " + project["name"], "Version: " + version,
             "Summary: " + project["description"], "Requires-Python: " + project["requires-python"],
             "License: " + project["license"]["text"]]
    lines += ["Classifier: " + classifier for classifier in project.get("classifiers", [])]
    lines.append("Description-Content-Type: text/markdown")
    with open(os.path.join(ROOT, project["readme"]), encoding="utf-8") as readme:
        return "\n".join(lines) + "\n\n" + readme.read()


def main(pyd, stubs, version, tag, outdir):
    with open(os.path.join(ROOT, "pyproject.toml"), "rb") as file:
        project = tomllib.load(file)["project"]
    name = project["name"]
    path = os.path.join(outdir, "%s-%s-%s.whl" % (name, version, tag))
    info = "%s-%s.dist-info" % (name, version)
    os.makedirs(outdir, exist_ok=True)
    with WheelFile(path, "w") as wheel:
        wheel.write(pyd, "quorin.pyd")
        wheel.write(stubs, "quorin-stubs/__init__.pyi")
        wheel.writestr(info + "/METADATA", metadata(project, version))
        wheel.writestr(info + "/WHEEL", "Wheel-Version: 1.0\nGenerator: quorin windows/make_wheel.py\n"
                       "Root-Is-Purelib: false\nTag: %s\n" % tag)
    print(path)


if __name__ == "__main__":
    main(*sys.argv[1:])
