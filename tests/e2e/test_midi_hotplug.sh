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

e2e_jack_init clavora-hotplug
e2e_jackd_start

# until_true SECONDS WHAT COMMAND...: polls the command until it succeeds.
until_true() {
    local limit="$1" what="$2"
    shift 2
    e2e_poll "$limit" "$@" || e2e_fail "$what: not within the deadline"
}

# Device 0's link from the sender to the program's own client.
linked() { jack_lsp -c midisend:out 2>/dev/null | grep -q "^   Clavora:device 0$"; }

# Middle C (key number 40), lower half of its white key.
key_shot() {
    import -window "$E2E_WIN" -crop 8x8+356+476 +repage "$E2E_DIR/$1.png" 2>/dev/null
}
key_is() {  # key_is up|lit: middle C as in the picture taken before anything played
    key_shot now || return 1
    if [ "$1" = up ]; then e2e_same "$E2E_DIR/up.png" "$E2E_DIR/now.png"; else ! e2e_same "$E2E_DIR/up.png" "$E2E_DIR/now.png"; fi
}
play() {  # play NOTE: press and release
    printf '90 %02x 40\nsleep 60\n90 %02x 00\nsleep 30\n' "$1" "$1" >&3
}

e2e_start JACK_DEFAULT_SERVER="$JACK_DEFAULT_SERVER"
until_true 10 "the program's own port" e2e_jack_own_port
sleep 0.3  # the first frames settle before the picture of the key at rest
key_shot up || e2e_fail "cannot take a screenshot"
e2e_key r

sleep 2
e2e_sender_start 1
until_true 5 "the first sender taken as device 0" linked
e2e_log "first sender linked $(e2e_elapsed "$SENDER_READY") s after its port appeared"
play 64
play 62
printf '90 3c 40\n' >&3
until_true 5 "middle C lit by the first sender" key_is lit
# The sender ends with middle C still down.
e2e_sender_stop
GONE="$(e2e_now)"
until_true 5 "middle C up after its sender went" key_is up
e2e_log "held key up $(e2e_elapsed "$GONE") s after its sender ended"
until_true 5 "device 0's link let go" e2e_jack_unlinked

e2e_sender_start 2
until_true 5 "the second sender taken as device 0" linked
printf '90 3c 40\n' >&3
until_true 5 "middle C lit by the second sender" key_is lit
printf '90 3c 00\n' >&3
until_true 5 "middle C up again" key_is up
echo sync >&3
e2e_sender_said synced 5

e2e_key space
sleep 0.2
e2e_key Escape
e2e_wait_exit 10

e2e_expect_song song.000 "44:100 44:0 42:100 42:0 40:100 40:0 40:100 40:0 -100:-100 "
e2e_log "song.000 holds both senders' notes in order, the release of the held key included"
