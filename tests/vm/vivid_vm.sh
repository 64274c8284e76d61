#!/usr/bin/env bash
# Runs a command against real V4L2 drivers: boots Debian's kernel under qemu
# (software emulation) with the vivid test driver as /dev/video0 and the USB
# webcam driver uvcvideo over USB/IP's vhci-hcd (for the emulated camera of
# tests/uvc/, which the command plugs in itself), mounts the
# host's root read-only over 9p as the guest's root, and runs the command
# there from the source tree, with the host's programs and the extension of
# BUILD_DIR on PYTHONPATH. Its output comes back through a second, writable
# 9p share.
#
# usage: tests/vm/vivid_vm.sh BUILD_DIR COMMAND [ARGS...]
#   e.g. tests/vm/vivid_vm.sh build /usr/bin/python3 -m pytest tests/python/test_v4l2.py
# VM_TIMEOUT: seconds before the VM is stopped (900).
# VM_VIVID=0: no vivid, so that the emulated USB cameras are the only ones.
# With VM_WRITABLE=DIR, the host's DIR is writable at the same path in the
# guest. The guest's /tmp is its own tmpfs, with the host's folders in /tmp
# bound into it.
# Exits with the command's status, or 77 when the VM cannot run here (the
# reason is printed).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build directory}" && pwd)
shift
[ $# -gt 0 ] || { echo "usage: $0 BUILD_DIR COMMAND [ARGS...]" >&2; exit 2; }

skip() { echo "vivid VM skipped: $*"; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed"
[ -x /bin/busybox ] || skip "busybox-static is not installed"
kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
[ -n "$kernel" ] || skip "no kernel in /boot (linux-image-amd64)"
version=${kernel#/boot/vmlinuz-}
[ -f "/lib/modules/$version/modules.dep" ] || depmod "$version"

writable=${VM_WRITABLE:+$(cd "$VM_WRITABLE" && pwd)}
share=()
[ -z "$writable" ] || share=(-virtfs "local,path=$writable,mount_tag=writable,security_model=none")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
initramfs=$work/initramfs
mkdir -p "$initramfs"/{bin,proc,sys,dev,newroot,modules} "$work/out"
cp /bin/busybox "$initramfs/bin/busybox"

# Modules in load order: the virtio transport and 9p first, then the cameras'.
: > "$initramfs/modules/order"
cameras=(vhci-hcd uvcvideo)
[ "${VM_VIVID:-1}" = 0 ] || cameras+=(vivid)
for module in virtio_pci 9pnet_virtio 9p "${cameras[@]}"; do
    modprobe --show-depends -S "$version" "$module" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r path; do
    cp "$path" "$initramfs/modules/"
    basename "$path" >> "$initramfs/modules/order"
done

cat > "$initramfs/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in \$(cat /modules/order); do
    case \$module in
    # One webcam-like capture node and nothing else.
    vivid.ko) insmod /modules/\$module n_devs=1 node_types=0x1 num_inputs=1 input_types=0x0 ;;
    *) insmod /modules/\$module ;;
    esac
done
mount -t 9p -o trans=virtio,version=9p2000.L,ro hostroot /newroot
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mount -t tmpfs run /newroot/run
# The guest's own /tmp, for the sockets of its servers (X, Wine), with the
# host's folders in /tmp (a source tree may be there) bound back into it.
mkdir -p /hosttmp
mount --bind /newroot/tmp /hosttmp
mount -t tmpfs -o mode=1777 tmp /newroot/tmp
for entry in /hosttmp/*; do
    [ -d "\$entry" ] || continue
    mkdir -p "/newroot/tmp/\${entry#/hosttmp/}"
    mount --bind "\$entry" "/newroot/tmp/\${entry#/hosttmp/}"
done
mkdir -p /newroot/run/out /newroot/run/tmp
mount -t 9p -o trans=virtio,version=9p2000.L out /newroot/run/out
[ -z "$writable" ] || mount -t 9p -o trans=virtio,version=9p2000.L writable "/newroot$writable"
chroot /newroot /bin/bash /run/out/command.sh > /newroot/run/out/report.txt 2>&1
echo \$? > /newroot/run/out/status
sync
poweroff -f
INIT
chmod +x "$initramfs/init"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.cpio.gz"

# The command, run by the host's bash in the guest from the source tree.
{
    printf 'cd %q || exit 1\n' "$root"
    printf 'export TMPDIR=/run/tmp HOME=/run/tmp PYTHONDONTWRITEBYTECODE=1 QUORIN_V4L2_TESTS=1 PYTHONPATH=%q\n' "$build"
    printf 'exec'
    printf ' %q' "$@"
    printf '\n'
} > "$work/out/command.sh"

# This machine's KVM does not run ordinary kernels: emulate. Without SMAP:
# qemu 7.2's emulation of it kills Wine's processes in the guest.
timeout "${VM_TIMEOUT:-900}" qemu-system-x86_64 -machine q35,accel=tcg -cpu max,-smap -m 2048 -smp 2 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" -append "console=ttyS0 panic=-1 quiet loglevel=3" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$work/out,mount_tag=out,security_model=none" "${share[@]}" > "$work/console.log" 2>&1 || true

if [ ! -f "$work/out/status" ]; then
    echo "The VM did not finish the command; it printed:"
    tail -n 40 "$work/out/report.txt" 2>/dev/null
    echo "and its console said:"
    tail -n 40 "$work/console.log"
    exit 1
fi
cat "$work/out/report.txt"
exit "$(cat "$work/out/status")"
