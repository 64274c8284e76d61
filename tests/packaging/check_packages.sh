#!/usr/bin/env bash
# Installs each package that scripts/packages made and runs it:
# - the sdist and the 3.11 wheel into fresh venvs here, the 3.13 wheel into a
#   venv in the Debian 13 root, each then opening a virtual camera, with its
#   stubs and dialog helper where the platform finds them; the Python suite
#   again on 3.13, against the installed wheel;
# - each Windows wheel with pip for its own platform and interpreter into a
#   folder, then quorin.pyd from there under Wine over the stand-in
#   interpreter of the same version (64-bit; the 32-bit ones are checked as
#   files here, since this machine's kernel runs no 32-bit programs);
# - every wheel's file list: what a user needs and nothing else.
# usage: check_packages.sh DIST VERSION
set -euo pipefail
source "$(dirname "$0")/../../scripts/common.sh"
cd "$QUORIN_ROOT"
dist=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "-- the wheels' file lists, and each file against the hash and size RECORD gives"
"$PYTHON" - "$dist" "$version" <<'PY'
import glob, os, sys, zipfile
from wheel.wheelfile import WheelFile
dist, version = sys.argv[1:]
info = "quorin-%s.dist-info/" % version
for path in sorted(glob.glob(os.path.join(dist, "*.whl"))):
    names = set(zipfile.ZipFile(path).namelist())
    tag = os.path.basename(path)[:-4].split("-", 2)[2]
    python = tag.split("-")[0]
    if tag.endswith("linux_x86_64"):
        module = {"quorin.cpython-%s-x86_64-linux-gnu.so" % python[2:], "quorin-dialogs"}
    else:
        module = {"quorin.pyd"}
    wanted = module | {"quorin.pyi", info + "METADATA", info + "WHEEL", info + "RECORD"}
    assert names == wanted, (path, sorted(names ^ wanted))
    with WheelFile(path) as wheel:  # reading a member checks it against RECORD
        for name in names - {info + "RECORD"}:
            wheel.read(name)
    print("%s: %s" % (os.path.basename(path), ", ".join(sorted(names))))
PY

# The check each installed module passes: a frame from a virtual camera, its
# stubs and its dialog helper beside it.
cat > "$work/installed.py" <<'PY'
import os
import sys

import quorin

where = os.path.dirname(quorin.__file__)
assert "site-packages" in quorin.__file__, quorin.__file__
assert os.path.exists(os.path.join(where, "quorin.pyi"))
assert os.access(os.path.join(where, "quorin-dialogs"), os.X_OK)
data, width, height = quorin.new_Dev(0, 0).getbuffer()
assert (width, height, len(data)) == (640, 480, 640 * 3 * 480)
print("%s: Python %d.%d took a frame from %s" % (sys.argv[1], sys.version_info[0], sys.version_info[1], where))
PY

installed_check() { # PACKAGE VENV
    "$PYTHON" -m venv --system-site-packages "$2"
    "$2/bin/pip" install -q --no-build-isolation --no-index --disable-pip-version-check "$1"
    (cd / && QUORIN_VIRTUAL_CAMERAS='[{"name": "Installed"}]' "$2/bin/python" "$work/installed.py" "$(basename "$1")")
}

echo "-- the sdist and the 3.11 wheel, each in a fresh venv"
installed_check "$dist/quorin-$version.tar.gz" "$work/sdist"
installed_check "$dist/quorin-$version-cp311-cp311-linux_x86_64.whl" "$work/wheel311"

echo "-- the 3.13 wheel in a fresh venv in the Debian 13 root, and the Python suite on 3.13"
inside=$DEBIAN13_ROOT/quorin-check
rm -rf "$inside"
mkdir -p "$inside"
cp "$work/installed.py" "$dist/quorin-$version-cp313-cp313-linux_x86_64.whl" "$inside/"
cp -r tests examples scripts "$inside/"
work_in_root=/quorin-check
in_root python3 -m venv --system-site-packages "$work_in_root/venv"
in_root "$work_in_root/venv/bin/pip" install -q --no-index --disable-pip-version-check \
    "$work_in_root/quorin-$version-cp313-cp313-linux_x86_64.whl"
in_root sh -c "cd / && QUORIN_VIRTUAL_CAMERAS='[{\"name\": \"Installed\"}]' $work_in_root/venv/bin/python \
    $work_in_root/installed.py quorin-$version-cp313-cp313-linux_x86_64.whl"
# The root has no display server: the dialogs' windows are tested on 3.11
# (the helper is the same program), so there they are skipped, not required
# as CI requires them of the main suite.
in_root env -u CI sh -c "cd $work_in_root && venv/bin/python -m pytest -q -p no:cacheprovider tests/python" |
    tail -n 1

echo "-- the Windows wheels, installed by pip for their own platform and interpreter"
export WINEDEBUG=-all
for python in 3.11 3.13; do
    tag=cp${python/./}
    for target in i686:win32:i386 x86_64:win_amd64:x86-64; do
        IFS=: read -r arch platform machine <<< "$target"
        folder=$work/$tag-$platform
        "$PYTHON" -m pip install -q --no-deps --disable-pip-version-check --root-user-action=ignore --platform "$platform" \
            --python-version "$python" --implementation cp --only-binary=:all: --target "$folder" \
            "$dist/quorin-$version-$tag-$tag-$platform.whl"
        "$PYTHON" windows/check_pyd.py "$arch-w64-mingw32-objdump" "$folder/quorin.pyd" "$machine" \
            "$(windows_build "$arch" "$python")"/windows/python3*.dll
        if [ "$arch" = x86_64 ]; then
            WINEPREFIX="$QUORIN_ROOT/build-wine/prefix" /usr/lib/wine/wine64 \
                "$(windows_build "$arch" "$python")/windows/quorin_host.exe" "Z:${folder//\//\\}\\quorin.pyd" |
                tail -n 1
        fi
    done
done
echo "every package installed and ran"
