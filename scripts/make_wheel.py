"""Writes a wheel of built files: each FILE at the wheel's root under its own
name (the module, and on Linux its dialog helper and the helper's windows'
library), the type stubs as the package quorin-stubs beside them, and the
metadata from pyproject.toml with the version the Meson project states (the
one place it is written). The wheel and its RECORD are written by
python3-wheel's WheelFile; files keep their modes (the helper's execute bit).

usage: make_wheel.py VERSION TAG OUTDIR FILE...
   e.g. make_wheel.py 0.1.0 cp311-abi3-win_amd64 dist build-win-x86_64/quorin.pyd"""

import os
import sys
import tomllib

from wheel.wheelfile import WheelFile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
STUBS = os.path.join(ROOT, "src", "module", "quorin-stubs", "__init__.pyi")


def metadata(project, version):
    """Core metadata 2.1, as meson-python writes it for the sdist's builds."""
    lines = ["Metadata-Version: 2.1", "Name: " + project["name"], "Version: " + version,
             "Summary: " + project["description"], "Requires-Python: " + project["requires-python"],
             "License: " + project["license"]["text"]]
    lines += ["Classifier: " + classifier for classifier in project.get("classifiers", [])]
    lines.append("Description-Content-Type: text/markdown")
    with open(os.path.join(ROOT, project["readme"]), encoding="utf-8") as readme:
        return "\n".join(lines) + "\n\n" + readme.read()


def main(version, tag, outdir, *files):
    with open(os.path.join(ROOT, "pyproject.toml"), "rb") as file:
        project = tomllib.load(file)["project"]
    name = project["name"]
    path = os.path.join(outdir, "%s-%s-%s.whl" % (name, version, tag))
    info = "%s-%s.dist-info" % (name, version)
    os.makedirs(outdir, exist_ok=True)
    with WheelFile(path, "w") as wheel:
        for built in files:
            wheel.write(built, os.path.basename(built))
        wheel.write(STUBS, "quorin-stubs/__init__.pyi")
        wheel.writestr(info + "/METADATA", metadata(project, version))
        wheel.writestr(info + "/WHEEL", "Wheel-Version: 1.0\nGenerator: quorin scripts/make_wheel.py\n"
                       "Root-Is-Purelib: false\nTag: %s\n" % tag)
    print(path)


if __name__ == "__main__":
    main(*sys.argv[1:])
