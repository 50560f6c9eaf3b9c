#!/usr/bin/env bash
# A MIDI keyboard on a real port: a JACK server with the dummy driver, our sender tool
# on a JACK MIDI output port, then the program, which takes that port as its device 0.
# R starts recording, the sender plays Note On / Note On velocity 0 pairs, Space stops,
# Escape closes; song.000 must hold every note sent, in order.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

MIDISEND="$(dirname "$E2E_BIN")/midisend"
[ -x "$MIDISEND" ] || e2e_fail "no midisend beside the program"
command -v jackd >/dev/null || e2e_fail "jackd is not installed"

# A server of our own, so that a JACK server already running is left alone.
export JACK_DEFAULT_SERVER="clavora-e2e-$$"
export JACK_NO_AUDIO_RESERVATION=1
WORK="$(mktemp -d "${TMPDIR:-/tmp}/clavora-midi.XXXXXX")"
JACKD_PID=""
SENDER_PID=""
stop_all() {
    exec 3>&- || true
    if [ -n "$SENDER_PID" ]; then kill "$SENDER_PID" 2>/dev/null; wait "$SENDER_PID" 2>/dev/null; fi
    if [ -n "$JACKD_PID" ]; then
        kill "$JACKD_PID" 2>/dev/null
        for _ in $(seq 1 100); do kill -0 "$JACKD_PID" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$JACKD_PID" 2>/dev/null
        wait "$JACKD_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
e2e_on_exit stop_all

# Real-time scheduling where the machine allows it (jackd carries on without it): on a
# busy machine a client that misses its cycle loses the MIDI events of that cycle.
jackd -R -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 1024 >"$WORK/jackd.log" 2>&1 &
JACKD_PID=$!
for i in $(seq 1 200); do
    jack_lsp >/dev/null 2>&1 && break
    kill -0 "$JACKD_PID" 2>/dev/null || { cat "$WORK/jackd.log" >&2; e2e_fail "jackd ended"; }
    [ "$i" -lt 200 ] || e2e_fail "jackd did not come up within 10 s"
    sleep 0.05
done

# The sender reads its commands from a pipe that stays open on descriptor 3.
mkfifo "$WORK/commands"
"$MIDISEND" <"$WORK/commands" >"$WORK/sender.out" 2>&1 &
SENDER_PID=$!
exec 3>"$WORK/commands"
wait_for_line() {  # wait_for_line TEXT: the sender printed this line
    for _ in $(seq 1 200); do
        grep -qx "$1" "$WORK/sender.out" && return 0
        kill -0 "$SENDER_PID" 2>/dev/null || break
        sleep 0.05
    done
    cat "$WORK/sender.out" >&2
    e2e_fail "the sender did not say '$1'"
}
wait_for_line ready

e2e_start JACK_DEFAULT_SERVER="$JACK_DEFAULT_SERVER"
# The program's own port and its link to the sender exist once the window runs.
jack_lsp -c 2>/dev/null | grep -q "^Clavora:Clavora$" || e2e_fail "no input port named Clavora"

e2e_key r
# The key reaches the program through the X server, the notes through JACK: give the
# start of the recording a head start.
sleep 0.5

# Notes across the keyboard, the lowest and highest keys, neighbours, a repeated note
# and a quick pair that lands within one frame.
NOTES=(60 62 64 21 108 61 61 72 48 100)
for i in "${!NOTES[@]}"; do
    printf '90 %02x 40\n' "${NOTES[$i]}" >&3
    if [ "$i" -eq 9 ]; then echo "sleep 0" >&3; else echo "sleep 45" >&3; fi
    printf '90 %02x 00\n' "${NOTES[$i]}" >&3
    echo "sleep 25" >&3
done
echo sync >&3
wait_for_line synced
sleep 0.3

e2e_key space
sleep 0.2
e2e_key Escape
e2e_wait_exit 10

[ -f "$E2E_DIR/song.000" ] || e2e_fail "nothing was recorded"
expected=""
for n in "${NOTES[@]}"; do expected+="$((n - 20)):100 $((n - 20)):0 "; done
# Records of 8 bytes: key number, velocity (16 bits each), tick (32 bits).
got="$(od -An -v -w8 -td2 "$E2E_DIR/song.000" |
    awk '$1 == -100 && $2 == -100 { exit } { printf "%d:%d ", $1, $2 }')"
ticks="$(od -An -v -w8 -td4 "$E2E_DIR/song.000" | awk '{ print $2 }')"
[ "$got" = "$expected" ] || e2e_fail "recorded '$got', expected '$expected'"
sort -n -c <<<"$ticks" || e2e_fail "ticks out of order: $ticks"
e2e_log "recorded ${#NOTES[@]} notes from $(jack_lsp 2>/dev/null | grep -c midisend) sender port in order"
