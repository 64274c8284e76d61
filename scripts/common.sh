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
# - Debian unstable: the newest CPythons, 3.14 and 3.15, run the wheel.
UNSTABLE_ROOT=/var/lib/quorin/unstable
UNSTABLE_PACKAGES=(python3.14 python3.14-venv python3.15 python3.15-venv)
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
        mirror=$(debian_mirror)
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

# The machine's own Debian mirror (its sources), or nothing.
debian_mirror() {
    grep -hoE '^URIs: *http[^ ]*/debian/?$' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 |
        sed 's/^URIs: *//'
}

# unstable_package NAME: the folder where Debian unstable's package NAME is
# unpacked (downloaded once per machine, with apt-get and a configuration of
# its own: the machine's own sources stay as they are).
UNSTABLE_APT=/var/lib/quorin/apt-unstable
# with_unstable_sources apt-get ARGS...: apt-get on unstable's lists alone.
with_unstable_sources() {
    "$1" -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$UNSTABLE_APT/parts" \
        -o Dir::State::Lists="$UNSTABLE_APT/lists" -o Dir::Cache::archives="$UNSTABLE_APT/archives" "${@:2}"
}
unstable_package() {
    local folder=$UNSTABLE_APT/$1
    if [ ! -d "$folder" ]; then
        mkdir -p "$UNSTABLE_APT/parts" "$UNSTABLE_APT/lists/partial" "$UNSTABLE_APT/archives/partial"
        local mirror
        mirror=$(debian_mirror)
        [ -n "$mirror" ] || { echo "no Debian mirror in the machine's sources to take unstable's $1 from" >&2; return 1; }
        printf 'Types: deb\nURIs: %s\nSuites: sid\nComponents: main\nSigned-By: %s\n' "$mirror" \
            /usr/share/keyrings/debian-archive-keyring.gpg > "$UNSTABLE_APT/parts/unstable.sources"
        update_package_lists with_unstable_sources >&2
        rm -f "$UNSTABLE_APT/$1"_*.deb
        (cd "$UNSTABLE_APT" && with_unstable_sources apt-get download -qq "$1" >&2 2>/dev/null)
        rm -rf "$folder.partial"
        dpkg -x "$UNSTABLE_APT/$1"_*.deb "$folder.partial"
        mv "$folder.partial" "$folder"
    fi
    echo "$folder"
}

# prepare_wheel_root ROOT: what the Debian 11 root builds the wheel with
# besides its own packages: this machine's CPython 3.11 headers (in one
# folder, with its pyconfig.h), this machine's Meson, and Debian 12's libyuv.
prepare_wheel_root() {
    local root=$1 triplet
    triplet=$(gcc -dumpmachine)
    local marker=$root/opt/quorin/.prepared
    [ -f "$marker" ] && return 0
    rm -rf "$root/opt/quorin"
    mkdir -p "$root/opt/quorin/debs" "$root/opt/quorin/meson"
    cp -r /usr/include/python3.11 "$root/opt/quorin/python3.11"
    cp "/usr/include/$triplet/python3.11/pyconfig.h" "$root/opt/quorin/python3.11/pyconfig.h"
    cp -r /usr/lib/python3/dist-packages/mesonbuild "$root/opt/quorin/meson/"
    printf 'import sys\nfrom mesonbuild import mesonmain\nsys.exit(mesonmain.main())\n' > "$root/opt/quorin/meson/meson.py"
    (cd "$root/opt/quorin/debs" && apt-get download -qq libyuv0 libyuv-dev 2>/dev/null)
    in_root "$root" sh -c "dpkg -i /opt/quorin/debs/*.deb >/dev/null"
    touch "$marker"
}

# run_auditwheel ROOT ARGS...: Debian unstable's auditwheel on this machine's
# Python, finding the libraries to bundle in ROOT: through a folder of links
# to the root's libraries, save the C and C++ runtimes (which a wheel never
# bundles, and which this machine's programs, patchelf among them, must not
# load from the root).
run_auditwheel() {
    local root=$1 triplet library libraries status=0
    shift
    triplet=$(gcc -dumpmachine)
    libraries=$(mktemp -d)
    for library in "$root/usr/lib/$triplet"/*.so*; do
        case ${library##*/} in
        libc.so* | libm.so* | libstdc++.so* | libgcc_s.so* | ld-linux* | libpthread.so* | libdl.so* | librt.so*) ;;
        *) ln -s "$library" "$libraries/" ;;
        esac
    done
    PYTHONPATH="$(unstable_package python3-auditwheel)/usr/lib/python3/dist-packages" "$PYTHON" -c '
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
