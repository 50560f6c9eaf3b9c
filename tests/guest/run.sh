#!/usr/bin/env bash
# The guest-kernel tests: boots the Debian kernel under qemu with a busybox initramfs
# (initramfs.sh, init) that loads the sound modules and mounts this machine's root
# read-only over 9p, and runs cases.sh in it against the kernel's ALSA sequencer. KVM
# when it boots, else TCG. Without qemu, an installed kernel or static busybox it says
# so and exits 77, which ctest shows as skipped.
# Usage: run.sh CLAVORA-BINARY [COMMAND ARG...]
#   COMMAND, when given, runs in the guest instead of the cases (from the current
#   directory, with its output on the console), e.g. a benchmark that needs the
#   sequencer: tests/guest/run.sh build/clavora bench/alsa-idle.sh build/clavora 30
#   GUEST_KEEP=1 keeps the work directory; GUEST_TIMEOUT (s) bounds the session.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
BIN="$(readlink -f "$1")"
skip() { echo "guest: SKIPPED: $*"; exit 77; }
PATH="$PATH:/usr/sbin:/sbin"  # modprobe, for a user who is not root

command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (package qemu-system-x86)"
command -v busybox >/dev/null || skip "busybox is not installed (package busybox-static)"
command -v modprobe >/dev/null || skip "modprobe is not installed (package kmod)"
command -v cpio >/dev/null || skip "cpio is not installed (package cpio)"
# The newest kernel whose modules are installed too (package linux-image-amd64).
VER=""
for k in /boot/vmlinuz-*; do
    v="${k#/boot/vmlinuz-}"
    [ -r "$k" ] && [ -d "/lib/modules/$v" ] && VER="$(printf '%s\n' "$VER" "$v" | sort -V | tail -n 1)"
done
[ -n "$VER" ] || skip "no readable kernel in /boot with its modules (package linux-image-amd64)"
[ -x "$BIN" ] || { echo "guest: no program at '$1'" >&2; exit 1; }

WORK="$(mktemp -d "${TMPDIR:-/tmp}/clavora-guest.XXXXXX")"
QEMU_PID=""
finish() {
    if [ -n "$QEMU_PID" ]; then
        kill "$QEMU_PID" 2>/dev/null || true
        wait "$QEMU_PID" 2>/dev/null || true
    fi
    if [ -n "${GUEST_KEEP:-}" ]; then echo "guest: work directory $WORK"; else rm -rf "$WORK"; fi
}
trap finish EXIT
mkdir "$WORK/out"
# The guest lays tmpfs over /tmp, /run, /var/tmp and /root: the project and the program,
# wherever they are (a clone in /tmp, say), reach it as shares of their own, mounted at
# their own paths over those.
TREE="$(cd "$HERE/../.." && pwd)"
BINDIR="$(dirname "$BIN")"
printf 'tree %s\nbindir %s\n' "$TREE" "$BINDIR" >"$WORK/out/mounts"
"$HERE/initramfs.sh" "$VER" "$WORK/initrd.gz"
if [ $# -gt 1 ]; then
    shift
    printf 'cd %q && exec' "$PWD" >"$WORK/out/command"
    printf ' %q' "$@" >>"$WORK/out/command"
    echo >>"$WORK/out/command"
else
    printf 'exec %q %q /tmp/out\n' "$HERE/cases.sh" "$BIN" >"$WORK/out/command"
fi

# boot ACCEL CPU: starts the guest in the background; its console goes to console.log.
boot() {
    rm -f "$WORK/console.log"
    qemu-system-x86_64 -machine "q35,accel=$1" -cpu "$2" -m 1024 -smp 2 -nic none \
        -display none -monitor none -serial "file:$WORK/console.log" -no-reboot \
        -kernel "/boot/vmlinuz-$VER" -initrd "$WORK/initrd.gz" \
        -append "console=ttyS0 quiet panic=-1" \
        -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
        -virtfs "local,path=$WORK/out,mount_tag=out,security_model=none" \
        -virtfs "local,path=$TREE,mount_tag=tree,security_model=none,readonly=on,multidevs=remap" \
        -virtfs "local,path=$BINDIR,mount_tag=bindir,security_model=none,readonly=on,multidevs=remap" \
        </dev/null >"$WORK/qemu.log" 2>&1 &
    QEMU_PID=$!
}
# up SECONDS: the guest's init printed its first line within SECONDS.
up() {
    local _
    for _ in $(seq 1 $(( $1 * 10 ))); do
        grep -q "clavora-guest: up" "$WORK/console.log" 2>/dev/null && return 0
        kill -0 "$QEMU_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

START="$(date +%s.%N)"
ACCEL=tcg
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    # KVM can hang or fail outright where it is offered (nested or restricted hosts):
    # a guest that has not started its init within 10 s is given up for TCG.
    boot kvm host
    if up 10; then
        ACCEL=kvm
    else
        kill "$QEMU_PID" 2>/dev/null || true
        wait "$QEMU_PID" 2>/dev/null || true
        echo "guest: KVM did not boot the guest ($(head -n 1 "$WORK/qemu.log")); using TCG"
    fi
fi
[ "$ACCEL" = kvm ] || boot tcg max
echo "guest: kernel $VER under qemu with $ACCEL"
# The whole session, boot included, ends within this many seconds.
LIMIT="${GUEST_TIMEOUT:-200}"
for _ in $(seq 1 $(( LIMIT * 5 ))); do
    kill -0 "$QEMU_PID" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$QEMU_PID" 2>/dev/null; then
    cat "$WORK/console.log"
    echo "guest: FAIL: the guest did not end within $LIMIT s" >&2
    exit 1
fi
wait "$QEMU_PID" 2>/dev/null || true
QEMU_PID=""
cat "$WORK/console.log"
[ -f "$WORK/out/figures" ] && sed 's/^/guest: /' "$WORK/out/figures"
echo "guest: $(awk -v a="$START" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }') s in all"
status="$(cat "$WORK/out/status" 2>/dev/null || echo none)"
if [ "$status" != 0 ]; then
    [ -f "$WORK/out/program.log" ] && { echo "--- program output:"; cat "$WORK/out/program.log"; }
    echo "guest: FAIL: the cases in the guest ended with status $status" >&2
    exit 1
fi
echo "guest: passed"
