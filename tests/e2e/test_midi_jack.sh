#!/usr/bin/env bash
# A MIDI keyboard on a real port: a JACK server with the dummy driver, our sender tool
# on a JACK MIDI output port, then the program, which takes that port as its device 0.
# R starts recording, the sender plays Note On / Note On velocity 0 pairs; then it is
# connected by hand to our own port; then the program's JACK thread is stopped (the
# client must be reopened), the server goes and comes back (MIDI input must follow),
# and a second instance runs beside the first (each keeps its device 0). Space stops,
# Escape closes; song.000 must hold every note sent, in order.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

e2e_jack_init clavora-e2e
e2e_jackd_start
e2e_sender_start

e2e_start JACK_DEFAULT_SERVER="$JACK_DEFAULT_SERVER"
# The program opens its own port and links the sender to its device-0 port a moment
# after its window shows.
e2e_poll 10 e2e_jack_own_port || e2e_fail "no input port named Clavora within 10 s"
linked() { jack_lsp -c 2>/dev/null | awk '/^midisend/ { s = 1; next } /^[^ \t]/ { s = 0 } s { f = 1 } END { exit !f }'; }
e2e_poll 10 linked || { jack_lsp -c >&2; e2e_fail "the sender's port was not connected within 10 s"; }
e2e_wait_painted

# The record light (16 x 12 at 720,403), watched at its middle, and the look of F4
# (the 27th white key, key number 45) up, for seeing the program take the commands
# and the notes.
e2e_watch 728,409
e2e_poll 10 e2e_watch_ready 728 409 || e2e_fail "the pixel watcher did not start"
RECORD_REST="$(e2e_watch_now 728 409)"
RECORD_MARK="$(e2e_watch_mark)"
F4_X=396 F4_Y=480
F4_UP="$(e2e_pixel $F4_X $F4_Y)"
[ -n "$F4_UP" ] || e2e_fail "cannot read a pixel of the window"
# f4_played [WHEN]: F4 held until the window shows it pressed and released until it
# shows it up: MIDI comes in order, so by then every note before it has been taken too.
f4_played() {
    echo "90 41 40" >&3
    e2e_poll 10 e2e_pixel_not $F4_X $F4_Y "$F4_UP" || e2e_fail "F4${1:-} was not shown pressed within 10 s"
    echo "90 41 00" >&3
    e2e_poll 10 e2e_pixel_is $F4_X $F4_Y "$F4_UP" || e2e_fail "F4${1:-} was not shown up again within 10 s"
    echo sync >&3
    e2e_sender_said synced
}

# The key reaches the program through the X server, the notes through JACK: the notes
# go only once the record light has come on.
e2e_key r
e2e_poll 10 e2e_watch_left "$RECORD_MARK" 728 409 "$RECORD_REST" || {
    cat "$E2E_WATCH" >&2
    e2e_fail "the record light did not come on within 10 s"
}

# Notes across the keyboard, the lowest and highest keys, neighbours, a repeated note
# and a quick pair that lands within one frame.
NOTES=(60 62 64 21 108 61 61 72 48 100)
for i in "${!NOTES[@]}"; do
    printf '90 %02x 40\n' "${NOTES[$i]}" >&3
    if [ "$i" -eq 9 ]; then echo "sleep 0" >&3; else echo "sleep 45" >&3; fi
    printf '90 %02x 00\n' "${NOTES[$i]}" >&3
    echo "sleep 25" >&3
done
# Then F4.
f4_played
NOTES+=(65)

# The sender connected by hand to our own port as well, as the README tells users to
# do: it stops being device 0, so each note is heard and recorded once. A Note Off ends
# its note; the sustain pedal is recorded as it goes down and up.
SENDER_PORT="$(jack_lsp 2>/dev/null | grep -m1 '^midisend')"
jack_connect "$SENDER_PORT" Clavora:Clavora || e2e_fail "cannot connect $SENDER_PORT to Clavora:Clavora"
e2e_poll 10 e2e_jack_unlinked || { jack_lsp -c >&2; e2e_fail "device 0 was not let go when connected by hand"; }
printf 'b0 40 7f\n90 43 40\nsleep 45\n80 43 40\nsleep 25\nb0 40 00\n' >&3
f4_played " by hand"

# The program's JACK thread stops while the server runs on (held by ptrace, as a
# thread that the server fails to wake would be): the program says so within about a
# second and takes its client out of the server's graph; once the thread goes again,
# the client is closed and opened again, with the connection made by hand to our own
# port, which plays as before.
mkfifo "$E2E_WORK/hold"
"$(dirname "$0")/lib_stop_thread.py" "$E2E_PID" midi-jack-cycle <"$E2E_WORK/hold" >"$E2E_WORK/stop.out" 2>&1 &
STOP_PID=$!
exec 4>"$E2E_WORK/hold"
e2e_on_exit 'exec 4>&- || true; kill "$STOP_PID" 2>/dev/null; wait "$STOP_PID" 2>/dev/null'
held() { grep -q '^stopped' "$E2E_WORK/stop.out"; }
e2e_poll 5 held || { cat "$E2E_WORK/stop.out" >&2; e2e_fail "cannot stop the program's JACK thread"; }
STOPPED_AT="$(e2e_now)"
said() { grep -q "$1" "$E2E_LOG"; }
e2e_poll 10 said "JACK MIDI client Clavora stalled" || e2e_fail "the stalled client was not noticed within 10 s"
e2e_log "stall noticed $(e2e_elapsed "$STOPPED_AT") s after the thread stopped"
exec 4>&-
wait "$STOP_PID" || e2e_fail "the JACK thread could not be let go"
e2e_poll 10 said "JACK MIDI input open again as Clavora" || e2e_fail "the JACK client did not open again"
relinked() { jack_lsp -c "$SENDER_PORT" 2>/dev/null | grep -qx "   Clavora:Clavora"; }
e2e_poll 5 relinked || { jack_lsp -c >&2; e2e_fail "the connection by hand was not made again"; }
f4_played " after the stall"

# The server goes while F4 is held through our own port: the program says so and lets
# F4 go. A server that comes back under its name is found again, and its sender
# becomes device 0.
echo "90 41 40" >&3
e2e_poll 10 e2e_pixel_not $F4_X $F4_Y "$F4_UP" || e2e_fail "F4 before the server went was not shown pressed"
echo sync >&3
e2e_sender_said synced
e2e_stop "$JACKD_PID"
e2e_sender_stop
e2e_poll 10 said "the JACK server has gone" || e2e_fail "the server's going was not noticed"
e2e_poll 5 e2e_pixel_is $F4_X $F4_Y "$F4_UP" || e2e_fail "F4 held through a server that went was not let go"
e2e_jackd_start
e2e_sender_start
reopened_twice() { [ "$(grep -c "JACK MIDI input open again as Clavora" "$E2E_LOG")" -ge 2 ]; }
e2e_poll 10 reopened_twice || e2e_fail "MIDI input did not come back with the server"
e2e_poll 10 linked || { jack_lsp -c >&2; e2e_fail "the new sender was not taken as device 0"; }
f4_played " on the new server"

# A second instance beside the first is renamed by the server (Clavora-01): it takes
# the sender as its own device 0 as well and keeps it, as the first keeps its own; no
# connection is cut while both run.
mkdir -p "$E2E_WORK/second"
(cd "$E2E_WORK/second" && exec env SDL_AUDIODRIVER=dummy "$E2E_BIN") >"$E2E_WORK/second.log" 2>&1 &
SECOND_PID=$!
e2e_on_exit 'e2e_stop "$SECOND_PID"'
second_linked() { jack_lsp -c "$(jack_lsp 2>/dev/null | grep -m1 '^midisend')" 2>/dev/null | grep -qx "   Clavora-01:device 0"; }
e2e_poll 10 second_linked || { jack_lsp -c >&2; cat "$E2E_WORK/second.log" >&2; e2e_fail "the second instance took no device 0"; }
# Its output line by line, and SIGKILL 2 s after the SIGTERM that ends it: it was seen
# to hang on that SIGTERM, until ctest's deadline, on a loaded machine (a client, not a
# server: nothing of the machine's is left behind).
timeout -k 2 3 stdbuf -oL jack_evmon >"$E2E_WORK/events.log" 2>&1 || true
! grep -i "disconnected" "$E2E_WORK/events.log" || e2e_fail "a connection was cut while two instances ran"
second_linked && linked || e2e_fail "an instance lost its device 0"
e2e_stop "$SECOND_PID"
# The second window took the keyboard's focus with it.
xdotool windowfocus --sync "$E2E_WIN" 2>/dev/null || true
e2e_focus
e2e_log "a second instance, renamed by the server, kept its device 0 for 3 s"

# Space stops the recording before Escape closes: the X server keeps their order.
e2e_key space Escape
e2e_wait_exit 10

expected=""
for n in "${NOTES[@]}"; do expected+="$((n - 20)):100 $((n - 20)):0 "; done
expected+="-64:-1 47:100 47:0 -64:-2 45:100 45:0 45:100 45:0 45:100 45:0 45:100 45:0 -100:-100 "
e2e_expect_song song.000 "$expected"
e2e_log "recorded ${#NOTES[@]} notes from $(jack_lsp 2>/dev/null | grep -c midisend) sender port in order"
