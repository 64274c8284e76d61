#!/bin/bash
# Runs quorin.pyd's checks under Wine inside the vivid VM (tests/vm/vivid_vm.sh),
# for each architecture named: first with Wine's capture filter over vivid as
# device 0; then, with vivid unloaded, over an emulated USB webcam (tests/uvc/,
# the Logitech C270's profile) through uvcvideo; then, with the camera
# pulled out, on a system without a camera.
#
# usage (in the guest, from the source tree): vivid_checks.sh PREFIX64 OUTDIR ARCH...
#   PREFIX64: the 64-bit Wine prefix prepared on the host (writable here);
#   OUTDIR: where the frames go, as frame-ARCH.bmp (vivid) and
#   frame-uvc-ARCH.bmp (the webcam).
set -u
prefix64=$1 out=$2
shift 2
export WINEDEBUG=-all DISPLAY=:99

# Wine's null display driver cannot make the video renderer's window: the
# graph is not rendered without a display, so the checks wait for Xvfb (seconds
# under the VM's emulation; far longer only when something is wrong).
Xvfb :99 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 600); do [ -S /tmp/.X11-unix/X99 ] && break; sleep 0.2; done
[ -S /tmp/.X11-unix/X99 ] || { echo "Xvfb did not start within 120 s" >&2; exit 1; }

status=0
for arch in "$@"; do
    # Wine faults executing images it mapped from the VM's 9p share: run
    # copies from the guest's tmpfs.
    mkdir -p "/tmp/quorin-$arch"
    cp "build-win-$arch/quorin.pyd" "build-win-$arch/windows/python3.dll" "build-win-$arch/windows/quorin_host.exe" \
        "/tmp/quorin-$arch/"
    # The host's kernel runs no 32-bit code, so the prefix made there has no
    # 32-bit half: 32-bit Wine gets a prefix of its own, made here (about a
    # minute under emulation).
    if [ "$arch" = i686 ] && [ ! -d /tmp/prefix32 ]; then
        WINEARCH=win32 WINEPREFIX=/tmp/prefix32 /usr/lib/wine/wine wineboot --init 2>/dev/null || status=1
        WINEPREFIX=/tmp/prefix32 /usr/lib/wine/wineserver -w
    fi
done
host() {
    if [ "$1" = x86_64 ]; then
        WINEPREFIX=$prefix64 /usr/lib/wine/wine64 /tmp/quorin-x86_64/quorin_host.exe 'Z:\tmp\quorin-x86_64\quorin.pyd' "${@:2}"
    else
        WINEPREFIX=/tmp/prefix32 /usr/lib/wine/wine /tmp/quorin-i686/quorin_host.exe 'Z:\tmp\quorin-i686\quorin.pyd' "${@:2}"
    fi
}

# The driver's card name (VIDIOC_QUERYCAP), which Wine's device enumerator
# gives as the friendly name, and the first two sizes it lists for its first
# format (VIDIOC_ENUM_FRAMESIZES; vivid lists the same for each): Wine's
# capture filter starts at the first.
facts() {
    /usr/bin/python3 -c '
import fcntl, struct, sys
with open(sys.argv[1], "rb", buffering=0) as device:
    caps = bytearray(104)
    fcntl.ioctl(device, 0x80685600, caps)
    print(caps[16:48].split(b"\0")[0].decode())
    fmt = bytearray(64)
    struct.pack_into("II", fmt, 0, 0, 1)
    fcntl.ioctl(device, 0xC0405602, fmt)
    for index in (0, 1):
        size = bytearray(44)
        struct.pack_into("II", size, 0, index, struct.unpack_from("I", fmt, 44)[0])
        fcntl.ioctl(device, 0xC02C564A, size)
        print(*struct.unpack_from("II", size, 12))' "$1"
}
# Waits until the node $1 gives a frame: a USB camera just plugged in answers
# its first requests slowly under the VM's emulation, and Wine's capture
# filter, which sets the format as the graph connects, fails the graph where
# the kernel times a request out (uvcvideo allows 5 s).
streams() {
    local tries
    for tries in $(seq 12); do
        v4l2-ctl -d "$1" --stream-mmap --stream-count=1 --stream-to=/dev/null 2>/dev/null && return 0
        echo "$1 gave no frame yet (try $tries)"
        sleep 5
    done
    return 1
}
# What the kernel said of the cameras, for a check that failed.
kernel_lines() {
    dmesg | grep -iE "uvc|vivid|video" | tail -n 20
}
# Runs each architecture's checks over the capture node $1; frames as $2-ARCH.bmp.
check_camera() {
    local found name sizes
    streams "$1" || { echo "$1 never gave a frame"; kernel_lines; status=1; return; }
    found=$(facts "$1") || { status=1; return; }
    name=$(sed -n 1p <<<"$found")
    sizes=$(sed -n '2,3p' <<<"$found" | tr '\n' ' ')
    for arch in "${arches[@]}"; do
        echo "== $arch, Wine's capture filter over $name (sizes $sizes)"
        # shellcheck disable=SC2086
        host "$arch" --device "$name" $sizes "Z:${out//\//\\}\\$2-$arch.bmp" || { status=1; kernel_lines; }
    done
}
arches=("$@")
check_camera /dev/video0 frame
rmmod vivid || status=1

# The webcam, plugged in once vivid has gone, so that it is device 0.
mkfifo /tmp/uvc-commands
build/tests/uvc_camera tests/uvc/profiles/logitech-c270.json < /tmp/uvc-commands > /tmp/uvc-events &
camera=$!
exec 3> /tmp/uvc-commands
for _ in $(seq 200); do [ -e /dev/video0 ] && break; sleep 0.1; done
check_camera /dev/video0 frame-uvc
echo quit >&3
exec 3>&-
wait $camera
for _ in $(seq 100); do [ -e /dev/video0 ] || break; sleep 0.1; done

for arch in "$@"; do
    echo "== $arch, no capture device"
    host "$arch" || status=1
done
/usr/lib/wine/wineserver -k 2>/dev/null
exit $status
