#!/usr/bin/env bash
# Makes the guest's initramfs: static busybox, the kernel modules the guest needs (with
# everything they depend on, in load order, as modprobe lists them for the given kernel
# version) and the guest's /init. Usage: initramfs.sh KERNEL-VERSION OUT.cpio.gz
set -euo pipefail
ver="$1"
out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
# The 9p root from the host, and the sound modules: two raw MIDI cards of the kind a USB
# keyboard makes, "Midi Through", and a loopback sound card whose playback can be recorded.
MODULES=(virtio_pci 9pnet_virtio 9p snd-seq-dummy snd-virmidi snd-aloop)

tree="$(mktemp -d "${TMPDIR:-/tmp}/clavora-initramfs.XXXXXX")"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/bin" "$tree/modules" "$tree/proc" "$tree/sys" "$tree/dev" "$tree/root"
cp "$(command -v busybox)" "$tree/bin/busybox"
# The initramfs has no libraries for a dynamically linked busybox.
! ldd "$tree/bin/busybox" >/dev/null 2>&1 || {
    echo "initramfs: busybox is not statically linked (install busybox-static)" >&2
    exit 1
}
cp "$here/init" "$tree/init"
chmod 755 "$tree/init"

: >"$tree/modules/order"
n=0
for m in "${MODULES[@]}"; do
    while read -r kind path _; do
        [ "$kind" = insmod ] || continue  # "builtin NAME": nothing to load
        name="$(basename "$path")"
        name="${name%.ko*}.ko"  # busybox's insmod is given modules uncompressed
        grep -qx "$name" "$tree/modules/order" && continue
        case "$path" in
            *.ko) cp "$path" "$tree/modules/$name" ;;
            *.ko.xz) xz -dc "$path" >"$tree/modules/$name" ;;
            *.ko.zst) zstd -qdc "$path" >"$tree/modules/$name" ;;
            *.ko.gz) gzip -dc "$path" >"$tree/modules/$name" ;;
            *) echo "initramfs: cannot load $path" >&2; exit 1 ;;
        esac
        echo "$name" >>"$tree/modules/order"
        n=$((n + 1))
    done < <(modprobe -S "$ver" --show-depends "$m")
done
[ "$n" -gt 0 ] || { echo "initramfs: no modules for $ver" >&2; exit 1; }
(cd "$tree" && find . | cpio -o -H newc --quiet) | gzip -1 >"$out"
