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
DEBIAN11_PACKAGES=(g++ ninja-build pkg-config python3 libv4l-dev nlohmann-json3-dev libturbojpeg0-dev libjpeg62-turbo-dev
    libgtk-3-dev)
# - Debian 13: CPython 3.13 builds the sdist and runs the wheels, and its
#   headers build the Windows stand-in interpreter of 3.13.
DEBIAN13_ROOT=/var/lib/quorin/debian13
DEBIAN13_PACKAGES=(python3-dev python3-venv python3-build python3-mesonpy python3-pytest python3-numpy python3-pil
    meson ninja-build g++ pkg-config patchelf libv4l-dev nlohmann-json3-dev libyuv-dev libturbojpeg0-dev libgtk-3-dev
    locales)

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
        mirror=$(grep -hoE '^URIs: *http[^ ]*/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 |
            sed 's/^URIs: *//')
        rm -rf "$root"
        mkdir -p "$(dirname "$root")"
        # Without a mirror of the machine's own, debootstrap's default.
        debootstrap --variant=minbase "$suite" "$root" ${mirror:+"$mirror"} >/dev/null
        touch "$root/.quorin-made"
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    update_package_lists in_root "$root"
    in_root "$root" sh -c "DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $* >/dev/null"
    echo "$*" > "$marker"
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
