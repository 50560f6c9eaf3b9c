#!/usr/bin/env bash
# Processor time of the ALSA sequencer watcher (the thread "midi-alsa") while nothing
# is played or plugged, beside its goal of under 0.05 % of a core, and of the whole
# program beside it. Needs the ALSA sequencer (/dev/snd/seq): run it on a machine that
# has one, or inside the guest kernel of tests/guest.
#
# Usage: bench/alsa-idle.sh PATH_TO_CLAVORA [SECONDS]    (default 60 s)
# Exit status: 0 within the goal, 1 over it, 77 when there is no sequencer.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PATH_TO_CLAVORA [SECONDS]" >&2; exit 2; }
BIN="$(readlink -f "$1")"
IDLE="${2:-60}"
[ -c /dev/snd/seq ] || { echo "alsa-idle: SKIPPED: no ALSA sequencer (/dev/snd/seq)"; exit 77; }
if [ -z "${DISPLAY:-}" ] && [ -z "${ALSA_IDLE_UNDER_XVFB:-}" ]; then
    ALSA_IDLE_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

WORK="$(mktemp -d "${TMPDIR:-/tmp}/clavora-alsa-idle.XXXXXX")"
PID=""
finish() {
    if [ -n "$PID" ]; then kill "$PID" 2>/dev/null; wait "$PID" 2>/dev/null; fi
    rm -rf "$WORK"
}
trap finish EXIT
(cd "$WORK" && SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" exec "$BIN") >"$WORK/log" 2>&1 &
PID=$!

# ns NAME: nanoseconds on a processor of the program's thread so named (schedstat).
ns() {
    local t
    for t in /proc/"$PID"/task/*; do
        [ "$(cat "$t/comm" 2>/dev/null)" = "$1" ] && { cut -d' ' -f1 "$t/schedstat"; return 0; }
    done
    return 1
}
# The whole process: user and system clock ticks.
ticks() { awk '{ sub(/.*\) /, ""); split($0, f, " "); print f[12] + f[13] }' /proc/"$PID"/stat; }
for _ in $(seq 1 100); do ns midi-alsa >/dev/null && break; sleep 0.1; done
ns midi-alsa >/dev/null || { cat "$WORK/log" >&2; echo "alsa-idle: no thread midi-alsa within 10 s" >&2; exit 1; }
sleep 2  # past the start-up
w0="$(ns midi-alsa)" p0="$(ticks)" t0="$(date +%s.%N)"
sleep "$IDLE"
w1="$(ns midi-alsa)" p1="$(ticks)" t1="$(date +%s.%N)"
HZ="$(getconf CLK_TCK)"
awk -v w0="$w0" -v w1="$w1" -v p0="$p0" -v p1="$p1" -v t0="$t0" -v t1="$t1" -v hz="$HZ" 'BEGIN {
    s = t1 - t0
    watcher = 100 * (w1 - w0) / 1e9 / s
    printf "ALSA watcher idle for %.0f s: %.4f %% of a core (goal under 0.05 %%)\n", s, watcher
    printf "whole program beside it: %.3f %% of a core\n", 100 * (p1 - p0) / hz / s
    exit watcher < 0.05 ? 0 : 1 }'
