#!/usr/bin/env bash
# Installs each package that scripts/packages made and runs it:
# - auditwheel's verdict on the Linux wheel, which must match its tag;
# - the sdist and the Linux wheel into fresh venvs here (CPython 3.11), and
#   mypy over tests/typing/ against the installed wheel's stubs; the
#   same wheel, and the sdist built from source, into venvs in the Debian 13
#   root (CPython 3.13); the wheel into venvs of 3.14 and 3.15 in a Debian
#   unstable root; each then opening a virtual camera, with its stubs and
#   dialog helper where the platform finds them; the Python suite again on
#   3.13, against the installed wheel;
# - each Windows wheel with pip for its own platform, as for CPython 3.11 and
#   for 3.15 (the newest), into a folder, then quorin.pyd from there under Wine over the
#   stand-in interpreter built with that version's headers (64-bit; the
#   32-bit ones are checked as files here, since this machine's kernel runs
#   no 32-bit programs);
# - every wheel's file list: what a user needs and nothing else.
# - the aarch64 wheel, installed by pip for its platform into a Debian 12
#   arm64 root, its import and a frame under qemu's user-mode emulation, and
#   with it the platform's suite built for arm64 (AARCH64_TESTS, where set);
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
    names = {name for name in zipfile.ZipFile(path).namelist() if not name.endswith("/")}  # files, not folders
    tag = os.path.basename(path)[:-4].split("-", 2)[2]
    assert tag.startswith("cp311-abi3-"), path
    if "linux" in tag:
        # The libraries auditwheel bundled, under names of its own.
        module = {"quorin.abi3.so", "quorin-dialogs", "libquorin-dialogs-gtk.so.0"}
        module |= {name for name in names if name.startswith("quorin.libs/") and ".so" in name}
    else:
        module = {"quorin.pyd"}
    wanted = module | {"quorin-stubs/__init__.pyi", info + "METADATA", info + "WHEEL", info + "RECORD"}
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
assert os.path.exists(os.path.join(where, "quorin-stubs", "__init__.pyi"))
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

for arch in "${LINUX_WHEEL_ARCHES[@]}"; do
    wheel=$(cd "$dist" && ls quorin-"$version"-cp311-abi3-manylinux_*_"$arch".whl)
    echo "-- auditwheel's verdict on $wheel"
    verdict=$(run_auditwheel "$DEBIAN11_ROOT" "$arch" show "$dist/$wheel")
    echo "$verdict"
    tag=${wheel#quorin-"$version"-cp311-abi3-}
    # The verdict is wrapped at any word.
    grep -q "consistent with the following platform tag: \"${tag%.whl}\"" <<<"$(tr -s '\n ' '  ' <<<"$verdict")" || {
        echo "auditwheel does not agree with the tag ${tag%.whl}" >&2
        exit 1
    }
done
wheel=$(cd "$dist" && ls quorin-"$version"-cp311-abi3-manylinux_*_x86_64.whl)

echo "-- the sdist and the wheel, each in a fresh venv of CPython 3.11"
installed_check "$dist/quorin-$version.tar.gz" "$work/sdist"
installed_check "$dist/$wheel" "$work/wheel311"
# Type checking as a user's project does it: mypy finds the installed stubs.
"$PYTHON" tests/typing/check.py "$work/wheel311/bin/python"
# A bundled library gone from an installed copy: the import names it.
rm "$work"/wheel311/lib/python3.11/site-packages/quorin.libs/libyuv-*
if missing=$(cd / && "$work/wheel311/bin/python" -c "import quorin" 2>&1); then
    echo "quorin imported without its bundled libyuv" >&2
    exit 1
fi
grep -q "ImportError: libyuv-[0-9a-f]*\.so\.0[.0-9]*: cannot open shared object file" <<<"$missing" ||
    { echo "$missing" >&2; exit 1; }
echo "without its bundled libyuv, the import says: ${missing##*$'\n'}"

echo "-- the same wheel, and the sdist built from source, in fresh venvs of CPython 3.13 (the Debian 13 root)"
inside=$DEBIAN13_ROOT/quorin-check
rm -rf "$inside"
mkdir -p "$inside"
cp "$work/installed.py" "$dist/$wheel" "$dist/quorin-$version.tar.gz" "$inside/"
cp -r tests examples scripts "$inside/"
work_in_root=/quorin-check
for package in "$wheel" "quorin-$version.tar.gz"; do
    venv=$work_in_root/venv-${package%%-*}-${package##*.}
    in_root "$DEBIAN13_ROOT" python3 -m venv --system-site-packages "$venv"
    in_root "$DEBIAN13_ROOT" "$venv/bin/pip" install -q --no-build-isolation --no-index --disable-pip-version-check \
        "$work_in_root/$package"
    in_root "$DEBIAN13_ROOT" sh -c "cd / && QUORIN_VIRTUAL_CAMERAS='[{\"name\": \"Installed\"}]' $venv/bin/python \
        $work_in_root/installed.py $package"
done
# The root has no display server: the dialogs' windows are tested on 3.11
# (the helper is the same program), so there they are skipped, not required
# as CI requires them of the main suite.
in_root "$DEBIAN13_ROOT" env -u CI sh -c "cd $work_in_root && venv-quorin-whl/bin/python -m pytest -q -p no:cacheprovider \
    tests/python" | tail -n 1

echo "-- the wheel in fresh venvs of CPython 3.14 and 3.15 (a Debian unstable root)"
inside=$UNSTABLE_ROOT/quorin-check
rm -rf "$inside"
mkdir -p "$inside"
cp "$work/installed.py" "$dist/$wheel" "$inside/"
for python in 3.14 3.15; do
    venv=$work_in_root/venv$python
    in_root "$UNSTABLE_ROOT" "python$python" -m venv "$venv"
    in_root "$UNSTABLE_ROOT" "$venv/bin/pip" install -q --no-index --disable-pip-version-check "$work_in_root/$wheel"
    in_root "$UNSTABLE_ROOT" sh -c "cd / && QUORIN_VIRTUAL_CAMERAS='[{\"name\": \"Installed\"}]' $venv/bin/python \
        $work_in_root/installed.py $wheel"
done

arm_wheel=$(cd "$dist" && ls quorin-"$version"-cp311-abi3-manylinux_*_aarch64.whl)
echo "-- $arm_wheel in a Debian 12 arm64 root (CPython 3.11), under qemu's user-mode emulation"
inside=$ARM64_ROOT/quorin-check
rm -rf "$inside"
mkdir -p "$inside"
cp "$work/installed.py" "$inside/"
# Installed by this machine's pip for that platform: the root's own programs
# cannot start one another under emulation (pip builds in a subprocess).
"$PYTHON" -m pip install -q --no-deps --disable-pip-version-check --root-user-action=ignore \
    --platform "$(basename "$arm_wheel" .whl | cut -d- -f5)" --python-version 3.11 --implementation cp \
    --only-binary=:all: --target "$inside/site-packages" "$dist/$arm_wheel"
emulated() { qemu-aarch64-static -L "$ARM64_ROOT" "$@"; }
(cd / && QUORIN_VIRTUAL_CAMERAS='[{"name": "Installed"}]' PYTHONPATH="$inside/site-packages" \
    emulated "$ARM64_ROOT/usr/bin/python3.11" "$inside/installed.py" "$arm_wheel")
if [ -n "${AARCH64_TESTS:-}" ]; then
    echo "the platform's suite, built for arm64:"
    cp "$AARCH64_TESTS" "$inside/"
    # Left out: what starts another program. qemu's user mode refuses the
    # clone() that starts a window's helper, and cannot run the death
    # tests' new copy of the suite (nothing starts an arm64 program here
    # but qemu by hand); both run on this machine's own build.
    if ! emulated "$inside/platform_tests" --gtest_brief=1 \
        --gtest_filter=-CallerThreadDeathTest.*:VideoWindowTest.EachRunShowsAWindowThatGoesWithTheStopWhileFramesAreTaken \
        > "$work/arm64-suite.log" 2>&1; then
        tail -n 60 "$work/arm64-suite.log"
        exit 1
    fi
    tail -n 3 "$work/arm64-suite.log"
fi

echo "-- the Windows wheels, installed by pip for their own platform as for CPython 3.11 and 3.15"
export WINEDEBUG=-all
ensure_packages "${WINE_PACKAGES[@]}"
# The prefix scripts/test prepares, made here when this runs alone.
if [ ! -d build-wine/prefix ]; then
    mkdir -p build-wine
    WINEPREFIX="$QUORIN_ROOT/build-wine/prefix" /usr/lib/wine/wine64 wineboot --init
    WINEPREFIX="$QUORIN_ROOT/build-wine/prefix" /usr/lib/wine/wineserver -w
fi
for target in i686:win32:i386 x86_64:win_amd64:x86-64; do
    IFS=: read -r arch platform machine <<< "$target"
    # A stand-in interpreter of the newest CPython, 3.15 (its headers from
    # Debian unstable's package), beside this machine's 3.11.
    build_in "build-win-$arch-cp315" --cross-file "windows/cross/mingw-$arch.ini" -Dwerror=true \
        -Dpython_include="$(debian_package sid amd64 libpython3.15-dev)/usr/include/python3.15" >/dev/null
    for python in 3.11 3.15; do
        folder=$work/cp${python/./}-$platform
        standin=build-win-$arch
        [ "$python" = 3.11 ] || standin=build-win-$arch-cp315
        "$PYTHON" -m pip install -q --no-deps --disable-pip-version-check --root-user-action=ignore \
            --platform "$platform" --python-version "$python" --implementation cp --only-binary=:all: \
            --target "$folder" "$dist/quorin-$version-cp311-abi3-$platform.whl"
        "$PYTHON" windows/check_pyd.py "$arch-w64-mingw32-objdump" "$folder/quorin.pyd" "$machine" \
            "build-win-$arch/windows/python-include" "$standin/windows/python3.dll"
        if [ "$arch" = x86_64 ]; then
            echo "under the stand-in for CPython $python:"
            WINEPREFIX="$QUORIN_ROOT/build-wine/prefix" /usr/lib/wine/wine64 "$standin/windows/quorin_host.exe" \
                "Z:${folder//\//\\}\\quorin.pyd" | tail -n 1
        fi
    done
done
echo "every package installed and ran"
