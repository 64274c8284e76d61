# Shared by scripts/test and scripts/demo: packages, builds, paths.
# shellcheck shell=bash

QUORIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Debian's interpreter: the one with python3-dev, pytest and meson-python.
PYTHON=/usr/bin/python3

# GTK 3 for the property dialogs' windows on a desktop (the helper is not
# built without it).
BUILD_PACKAGES=(g++ meson ninja-build pkg-config python3 python3-dev nlohmann-json3-dev libv4l-dev libyuv-dev
    libturbojpeg0-dev libgtk-3-dev)
WINDOWS_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64)
# Wine's DirectShow, to run the Windows build, and a display server for its
# windows.
WINE_PACKAGES=(wine wine64 libwine libv4l-0 xvfb)
# Wine's 32-bit half (the i386 architecture), for the 32-bit checks in the VM.
WINE32_PACKAGES=(wine32:i386 libv4l-0:i386)
# A kernel with the vivid driver, run under qemu, for the V4L2 tests.
VM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static kmod cpio python3-opencv v4l-utils)
# A display, a user and a camera for the dialogs' and the renderer's windows:
# Xvfb, a window manager whose close a test can ask for (openbox, wmctrl),
# xdotool and ImageMagick's import for screenshots.
# libjpeg's own interface for the emulated webcam's pictures (tests/uvc/).
# Graphviz renders the documentation's diagram of a frame's path.
TEST_PACKAGES=(clang-format libgtest-dev libgmock-dev python3-pytest python3-venv python3-pip-whl python3-mesonpy python3-numpy
    python3-pil mypy xvfb xdotool imagemagick openbox wmctrl locales libjpeg62-turbo-dev graphviz)

# libFuzzer's runtime, with Debian's clang, for the fuzz targets (tests/fuzz/).
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Packaging: the sdist and wheels (scripts/packages).
PACKAGE_PACKAGES=(python3-build python3-wheel python3-venv python3-packaging python3-pyelftools patchelf debootstrap)
# Debian roots, made once per machine and kept (ensure_root), each a
# distribution the packages are built or tried on:
# - Debian 11 (glibc 2.31, the oldest still in use): the Linux wheel is built
#   there, so that it runs on every distribution from then on. It has no
#   libyuv: Debian 12's is added (it needs glibc 2.14 only). CPython's
#   headers are this machine's 3.11 (the module's stable ABI); Meson is this
#   machine's (Debian 11's is older than the build needs).
DEBIAN11_ROOT=/var/lib/quorin/debian11
#   The aarch64 wheel is cross-built there too, with Debian 11's compiler for
#   arm64 and its arm64 packages (GoogleTest's among them, for the platform's
#   suite run under emulation).
DEBIAN11_PACKAGES=(g++ ninja-build pkg-config python3 libv4l-dev nlohmann-json3-dev libturbojpeg0-dev libjpeg62-turbo-dev
    libgtk-3-dev crossbuild-essential-arm64 libv4l-dev:arm64 libturbojpeg0-dev:arm64 libjpeg62-turbo-dev:arm64
    libgtk-3-dev:arm64 libgtest-dev:arm64)
# - Debian unstable: the newest CPythons, 3.14 and 3.15, run the wheel.
UNSTABLE_ROOT=/var/lib/quorin/unstable
UNSTABLE_PACKAGES=(python3.14 python3.14-venv python3.15 python3.15-venv)
# - Debian 13: CPython 3.13 builds the sdist and runs the wheels.
DEBIAN13_ROOT=/var/lib/quorin/debian13
DEBIAN13_PACKAGES=(python3-dev python3-venv python3-build python3-mesonpy python3-pytest python3-numpy python3-pil
    meson ninja-build g++ pkg-config patchelf libv4l-dev nlohmann-json3-dev libyuv-dev libturbojpeg0-dev libgtk-3-dev
    locales)
# - Debian 12 for 64-bit ARM (Raspberry Pi OS is built on it): the aarch64
#   wheel and the platform's suite built for arm64 run there, under qemu's
#   user-mode emulation (ensure_emulated_root).
ARM64_ROOT=/var/lib/quorin/debian12-arm64
ARM64_PACKAGES=(python3.11 libv4l-0 libturbojpeg0 libyuv0 libjpeg62-turbo)
EMULATOR_PACKAGES=(qemu-user-static)

# Fetches the package lists (COMMAND... runs apt-get: sudo, in_root ROOT, or
# nothing), once more after a pause: a mirror caught syncing serves an index
# that does not match its Release, and apt-get fails the whole update for
# it. An index still missing then is left out (apt-get keeps the others):
# only the packages that need it fail to install, and say so.
update_package_lists() {
    "$@" apt-get update -qq && return 0
    echo "apt-get update failed; trying again in 30 s" >&2
    sleep 30
    "$@" apt-get update -qq && return 0
    echo "apt-get update failed again: going on with the package lists it fetched" >&2
}

# Installs whichever of the named Debian packages are missing.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    update_package_lists "${sudo[@]}"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Lets apt-get install i386 packages (Wine's 32-bit half).
ensure_i386() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" dpkg --add-architecture i386
    update_package_lists "${sudo[@]}"
}

# ensure_root ROOT SUITE PACKAGES...: makes the Debian root once per machine
# (debootstrap from this machine's own Debian mirror), with the packages
# named; again where the list changed.
ensure_root() {
    local root=$1 suite=$2
    shift 2
    local marker="$root/.quorin-packages"
    [ -f "$marker" ] && [ "$(cat "$marker")" = "$*" ] && return 0
    # A root that debootstrap finished (or that has had packages) is kept.
    if [ ! -f "$root/.quorin-made" ] && [ ! -f "$marker" ]; then
        local mirror
        mirror=$(debian_mirror)
        rm -rf "$root"
        mkdir -p "$(dirname "$root")"
        # Without a mirror of the machine's own, debootstrap's default.
        debootstrap --variant=minbase "$suite" "$root" ${mirror:+"$mirror"} >/dev/null
        touch "$root/.quorin-made"
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # Packages of another architecture (NAME:ARCH): the root's dpkg and apt
    # take that architecture too.
    local package
    for package in "$@"; do
        [[ $package != *:* ]] || in_root "$root" dpkg --add-architecture "${package#*:}"
    done
    update_package_lists in_root "$root"
    in_root "$root" sh -c "DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $* >/dev/null"
    echo "$*" > "$marker"
}

# ensure_emulated_root ROOT SUITE ARCH PACKAGES...: a Debian root of another
# architecture, whose programs run under qemu's user-mode emulation started
# by hand (qemu-ARCH-static -L ROOT ROOT/PROGRAM): this machine's kernel has
# no binfmt_misc to start them itself. So debootstrap's second stage, which
# would run the root's own programs, is not run: every package it fetched is
# unpacked, none configured (nothing the checks run needs configuring).
ensure_emulated_root() {
    local root=$1 suite=$2 arch=$3
    shift 3
    local marker="$root/.quorin-packages"
    [ -f "$marker" ] && [ "$(cat "$marker")" = "$*" ] && return 0
    local mirror deb
    mirror=$(debian_mirror)
    rm -rf "$root"
    mkdir -p "$(dirname "$root")"
    debootstrap --foreign --arch="$arch" --variant=minbase --include="$(IFS=,; echo "$*")" "$suite" "$root" \
        ${mirror:+"$mirror"} >/dev/null
    for deb in "$root"/var/cache/apt/archives/*.deb; do
        dpkg-deb -x "$deb" "$root"
    done
    rm -f "$root"/var/cache/apt/archives/*.deb
    echo "$*" > "$marker"
}

# The machine's own Debian mirror (its sources), or nothing.
debian_mirror() {
    grep -hoE '^URIs: *http[^ ]*/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 |
        sed 's/^URIs: *//'
}

# debian_package SUITE ARCH NAME: the folder where Debian SUITE's package
# NAME, built for ARCH, is unpacked: downloaded once per machine with
# apt-get and a configuration of its own (the machine's own sources and
# architectures stay as they are). The .deb stays beside it.
debian_package() {
    local suite=$1 arch=$2 name=$3
    local apt=/var/lib/quorin/apt-$suite-$arch
    local folder=$apt/$name
    if [ ! -d "$folder" ]; then
        local mirror
        mirror=$(debian_mirror)
        [ -n "$mirror" ] || { echo "no Debian mirror in the machine's sources to take $suite's $name from" >&2; return 1; }
        mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/archives/partial"
        printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' "$mirror" "$suite" \
            /usr/share/keyrings/debian-archive-keyring.gpg > "$apt/parts/$suite.sources"
        update_package_lists with_own_apt "$apt" "$arch" >&2
        rm -f "$apt/${name}"_*.deb
        (cd "$apt" && with_own_apt "$apt" "$arch" apt-get download -qq "$name" >&2 2>/dev/null) || return 1
        rm -rf "$folder.partial"
        dpkg -x "$apt/${name}"_*.deb "$folder.partial" || return 1
        mv "$folder.partial" "$folder"
    fi
    echo "$folder"
}

# with_own_apt FOLDER ARCH apt-get ARGS...: apt-get on the sources, lists and
# architecture of FOLDER alone.
with_own_apt() {
    "$3" -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$1/parts" -o Dir::State::Lists="$1/lists" \
        -o Dir::Cache::archives="$1/archives" -o APT::Architecture="$2" -o APT::Architectures="$2" "${@:4}"
}

# The Linux wheels' architectures: each is built in the Debian 11 root with
# that root's compiler for it (cross, for aarch64) and its packages.
LINUX_WHEEL_ARCHES=(x86_64 aarch64)
# debian_arch ARCH: Debian's name of an architecture.
debian_arch() {
    case $1 in
    x86_64) echo amd64 ;;
    aarch64) echo arm64 ;;
    *) echo "$1" ;;
    esac
}

# prepare_wheel_root ROOT: what the Debian 11 root builds the wheels with
# besides its own packages: CPython 3.11's headers (in one folder per
# architecture, each with that architecture's pyconfig.h, from Debian 12),
# this machine's Meson, and Debian 12's libyuv for each architecture.
prepare_wheel_root() {
    local root=$1 arch folder
    local marker=$root/opt/quorin/.prepared
    [ "$(cat "$marker" 2>/dev/null)" = "${LINUX_WHEEL_ARCHES[*]}" ] && return 0
    rm -rf "$root/opt/quorin"
    mkdir -p "$root/opt/quorin/debs" "$root/opt/quorin/meson"
    cp -r /usr/lib/python3/dist-packages/mesonbuild "$root/opt/quorin/meson/"
    printf 'import sys\nfrom mesonbuild import mesonmain\nsys.exit(mesonmain.main())\n' > "$root/opt/quorin/meson/meson.py"
    for arch in "${LINUX_WHEEL_ARCHES[@]}"; do
        cp -r /usr/include/python3.11 "$root/opt/quorin/python3.11-$arch"
        folder=$(debian_package bookworm "$(debian_arch "$arch")" libpython3.11-dev) || return 1
        cp "$folder/usr/include/$arch-linux-gnu/python3.11/pyconfig.h" "$root/opt/quorin/python3.11-$arch/pyconfig.h"
        for package in libyuv0 libyuv-dev; do
            folder=$(debian_package bookworm "$(debian_arch "$arch")" $package) || return 1
            cp "${folder%/*}/${package}"_*.deb "$root/opt/quorin/debs/" # the .deb beside its unpacked folder
        done
    done
    in_root "$root" sh -c "dpkg -i /opt/quorin/debs/*.deb >/dev/null"
    echo "${LINUX_WHEEL_ARCHES[*]}" > "$marker"
}

# run_auditwheel ROOT ARCH ARGS...: Debian unstable's auditwheel on this
# machine's Python, finding the libraries to bundle in ROOT's folder for
# ARCH: through a folder of links to the root's libraries, save the C and
# C++ runtimes (which a wheel never bundles, and which this machine's
# programs, patchelf among them, must not load from the root).
run_auditwheel() {
    local root=$1 arch=$2 library libraries status=0
    shift 2
    libraries=$(mktemp -d)
    for library in "$root/usr/lib/$arch-linux-gnu"/*.so*; do
        case ${library##*/} in
        libc.so* | libm.so* | libstdc++.so* | libgcc_s.so* | ld-linux* | libpthread.so* | libdl.so* | librt.so*) ;;
        *) ln -s "$library" "$libraries/" ;;
        esac
    done
    PYTHONPATH="$(debian_package sid amd64 python3-auditwheel)/usr/lib/python3/dist-packages" "$PYTHON" -c '
import os, sys
os.environ["LD_LIBRARY_PATH"] = sys.argv[1]
from auditwheel.main import main
sys.argv = ["auditwheel"] + sys.argv[2:]
sys.exit(main())' "$libraries" "$@" || status=$?
    rm -rf "$libraries"
    return $status
}

# in_root ROOT COMMAND...: runs a command in a Debian root, with /proc and
# /dev as the machine's.
in_root() {
    local root=$1
    shift
    mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
    mountpoint -q "$root/dev" || mount --bind /dev "$root/dev"
    chroot "$root" "$@"
}

# build_in DIR [meson setup options...] [-- targets...]: configures DIR
# (again where another script configured it with other options: its -D
# options hold), then compiles the targets named, or all.
build_in() {
    local dir=$1 options=() targets=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    [ $# -eq 0 ] || targets=("${@:2}")
    if [ ! -f "$QUORIN_ROOT/$dir/build.ninja" ]; then
        meson setup "$QUORIN_ROOT/$dir" "$QUORIN_ROOT" "${options[@]}"
    else
        local settings=() option
        for option in "${options[@]}"; do
            [[ $option != -D* ]] || settings+=("$option")
        done
        [ ${#settings[@]} -eq 0 ] || meson configure "$QUORIN_ROOT/$dir" "${settings[@]}" >/dev/null
    fi
    meson compile -C "$QUORIN_ROOT/$dir" "${targets[@]}"
}
