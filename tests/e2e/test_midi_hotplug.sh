#!/usr/bin/env bash
# Keyboards plugged in and pulled out while the program runs, on a JACK server with the
# dummy driver. The program starts with no MIDI source and records; two seconds later
# a sender port appears and becomes device 0: its notes light their keys and are
# recorded. The sender ends while it holds middle C: the key comes up and its release
# is recorded. A second sender that appears afterwards plays again. Space, Escape:
# song.000 must hold every note in order, the release of the held one included.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

MIDISEND="$(dirname "$E2E_BIN")/midisend"
[ -x "$MIDISEND" ] || e2e_fail "no midisend beside the program"
command -v jackd >/dev/null || e2e_fail "jackd is not installed"

export JACK_DEFAULT_SERVER="clavora-hotplug-$$"
export JACK_NO_AUDIO_RESERVATION=1
WORK="$(mktemp -d "${TMPDIR:-/tmp}/clavora-hotplug.XXXXXX")"
JACKD_PID=""
SENDER_PID=""
stop_sender() {
    exec 3>&- || true
    if [ -n "$SENDER_PID" ]; then kill "$SENDER_PID" 2>/dev/null || true; wait "$SENDER_PID" 2>/dev/null || true; fi
    SENDER_PID=""
}
stop_all() {
    stop_sender
    if [ -n "$JACKD_PID" ]; then
        kill "$JACKD_PID" 2>/dev/null
        for _ in $(seq 1 100); do kill -0 "$JACKD_PID" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$JACKD_PID" 2>/dev/null
        wait "$JACKD_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
e2e_on_exit stop_all

# until_true SECONDS WHAT COMMAND...: polls the command until it succeeds.
until_true() {
    local limit=$(( $1 * 20 )) what="$2" i=0
    shift 2
    until "$@"; do
        [ "$i" -lt "$limit" ] || e2e_fail "$what: not within the deadline"
        sleep 0.05
        i=$(( i + 1 ))
    done
}

jackd -R -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 1024 >"$WORK/jackd.log" 2>&1 &
JACKD_PID=$!
jack_up() { jack_lsp >/dev/null 2>&1 || { kill -0 "$JACKD_PID" 2>/dev/null || { cat "$WORK/jackd.log" >&2; e2e_fail "jackd ended"; }; false; }; }
until_true 10 "jackd coming up" jack_up

# start_sender N: a sender whose commands come from a pipe kept open on descriptor 3.
start_sender() {
    rm -f "$WORK/commands" "$WORK/sender$1.out"
    mkfifo "$WORK/commands"
    "$MIDISEND" <"$WORK/commands" >"$WORK/sender$1.out" 2>&1 &
    SENDER_PID=$!
    exec 3>"$WORK/commands"
    until_true 10 "sender $1 ready" grep -qx ready "$WORK/sender$1.out"
    SENDER_READY="$(e2e_now)"
}
# Device 0's link from the sender to the program's own client.
linked() { jack_lsp -c midisend:out 2>/dev/null | grep -q "^   Clavora:device 0$"; }
unlinked() { ! jack_lsp -c 2>/dev/null | awk '/^Clavora:device 0$/ { s = 1; next } /^[^ \t]/ { s = 0 } s { f = 1 } END { exit !f }'; }

# Middle C (key number 40), lower half of its white key.
key_shot() {
    import -window "$E2E_WIN" -crop 8x8+356+476 +repage "$E2E_DIR/$1.png" 2>/dev/null
}
key_is() {  # key_is up|lit: middle C as in the picture taken before anything played
    key_shot now || return 1
    local diff
    diff="$(compare -metric AE "$E2E_DIR/up.png" "$E2E_DIR/now.png" null: 2>&1 || true)"
    if [ "$1" = up ]; then [ "${diff%% *}" = "0" ]; else [ "${diff%% *}" != "0" ]; fi
}
play() {  # play NOTE: press and release
    printf '90 %02x 40\nsleep 60\n90 %02x 00\nsleep 30\n' "$1" "$1" >&3
}

e2e_start JACK_DEFAULT_SERVER="$JACK_DEFAULT_SERVER"
own_port() { jack_lsp 2>/dev/null | grep -qx "Clavora:Clavora"; }
until_true 10 "the program's own port" own_port
sleep 0.3  # the first frames settle before the picture of the key at rest
key_shot up || e2e_fail "cannot take a screenshot"
e2e_key r

sleep 2
start_sender 1
until_true 5 "the first sender taken as device 0" linked
e2e_log "first sender linked $(e2e_elapsed "$SENDER_READY") s after its port appeared"
play 64
play 62
printf '90 3c 40\n' >&3
until_true 5 "middle C lit by the first sender" key_is lit
# The sender ends with middle C still down.
stop_sender
GONE="$(e2e_now)"
until_true 5 "middle C up after its sender went" key_is up
e2e_log "held key up $(e2e_elapsed "$GONE") s after its sender ended"
until_true 5 "device 0's link let go" unlinked

start_sender 2
until_true 5 "the second sender taken as device 0" linked
printf '90 3c 40\n' >&3
until_true 5 "middle C lit by the second sender" key_is lit
printf '90 3c 00\n' >&3
until_true 5 "middle C up again" key_is up
echo sync >&3
until_true 5 "the second sender in sync" grep -qx synced "$WORK/sender2.out"

e2e_key space
sleep 0.2
e2e_key Escape
e2e_wait_exit 10

[ -f "$E2E_DIR/song.000" ] || e2e_fail "nothing was recorded"
expected="44:100 44:0 42:100 42:0 40:100 40:0 40:100 40:0 "
got="$(od -An -v -w8 -td2 "$E2E_DIR/song.000" |
    awk '$1 == -100 && $2 == -100 { exit } { printf "%d:%d ", $1, $2 }')"
ticks="$(od -An -v -w8 -td4 "$E2E_DIR/song.000" | awk '{ print $2 }')"
[ "$got" = "$expected" ] || e2e_fail "recorded '$got', expected '$expected'"
sort -n -c <<<"$ticks" || e2e_fail "ticks out of order: $ticks"
e2e_log "song.000 holds both senders' notes in order, the release of the held key included"
