#!/usr/bin/env bash
# Runs inside the guest (tests/guest/run.sh boots it), on the kernel's ALSA sequencer:
# two raw MIDI cards (0 and 1), "Midi Through", and a loopback card whose playback the
# test records. One session of the program, recording into slot 0 and sounding onto the
# loopback card, goes through: the choice of device 0, Note Off and velocity 0, the
# sustain pedal, a card pulled while it holds a key, the same card plugged in again, a
# second card and device 0 connected by hand to "Clavora". At the end song.000 must hold
# each played note once, in order, and the recording the notes and the pedal's hold.
# Usage: cases.sh CLAVORA-BINARY OUT-DIR (figures and logs go to OUT-DIR).
set -eEuo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
OUT="$2"
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
. "$HERE/../e2e/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"
trap 'e2e_log "line $LINENO failed: $BASH_COMMAND"' ERR

SYSFS=/sys/bus/platform/drivers/snd_virmidi
# The recording stays on the guest's tmpfs while it runs (the 9p share is too slow to
# write to as it comes) and is copied beside the figures at the end.
WAV="/tmp/loopback.wav"
EVENTS="$OUT/events"
: >"$EVENTS"
ARECORD_PID=""
stop_arecord() {
    if [ -n "$ARECORD_PID" ]; then
        kill -INT "$ARECORD_PID" 2>/dev/null || true
        wait "$ARECORD_PID" 2>/dev/null || true
    fi
    ARECORD_PID=""
}
e2e_on_exit stop_arecord
# shellcheck disable=SC2016  # expanded when the test ends
e2e_on_exit 'cp "$WAV" "$OUT/" 2>/dev/null'
# shellcheck disable=SC2016
e2e_on_exit 'cp "$E2E_LOG" "$OUT/program.log" 2>/dev/null'

say() { e2e_log "[$(cut -d' ' -f1 /proc/uptime)] $*"; }  # with the guest's uptime
mark() { echo "$1 $EPOCHREALTIME" >>"$EVENTS"; }  # a moment, for the loopback check
# timing_mark NAME: the moment the program last logged this milestone.
timing_mark() { awk -v n="$1" '$1 == n { t = $2 } END { print t }' "$OUT/timing"; }
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }  # since START END
# send CARD "90 3C 40": the bytes into the card's raw MIDI device, as a keyboard would
# (bash's own printf: no process to start, so the moment logged is the moment sent).
send() { local b out=""; for b in $2; do out+="\\x$b"; done; printf '%b' "$out" >"/dev/snd/midiC${1}D0"; }
plug() { echo "snd_virmidi.$1" >"$SYSFS/bind"; }
unplug() { echo "snd_virmidi.$1" >"$SYSFS/unbind"; }
# The sequencer's clients, their ports and connections, as the kernel lists them.
CLIENTS=/proc/asound/seq/clients
# client NAME: the sequencer client number of the client so named.
client() { sed -n "s/^Client *\([0-9]*\) : \"$1\".*/\1/p" "$CLIENTS"; }
card_client() { client "Virtual Raw MIDI $1-0"; }
card_present() { [ -n "$(card_client "$1")" ]; }
# sources_of CLIENT: the clients that send to its ports, besides System's announcements.
sources_of() {
    awk -v c="$1" '
        /^Client/ { inside = ($2 == c); next }
        inside && /Connected From:/ {
            sub(/.*Connected From: /, ""); gsub(/\[[^]]*\]/, ""); n = split($0, f, /, */)
            for (i = 1; i <= n; i++) { split(f[i], a, ":"); if (a[1] != 0) print a[1] } }' "$CLIENTS"
}
# device0_is CARD: "Clavora device" listens to this card, and to nothing else.
device0_is() {
    local c
    c="$(card_client "$1")"
    [ -n "$c" ] && [ "$(sources_of "$(client "Clavora device")" | xargs)" = "$c" ]
}

# Keys watched, lower half of the white keys: C4, D4, E4, G4.
declare -A X=([60]=360 [62]=372 [64]=384 [67]=408)
declare -A REST
lit() { [ "$(e2e_watch_now "${X[$1]}" 480)" != "${REST[$1]}" ]; }
up() { [ "$(e2e_watch_now "${X[$1]}" 480)" = "${REST[$1]}" ]; }
# lit_at NOTE: the moment (seconds) the watcher last saw the key turn lit.
lit_at() { awk -v p="${X[$1]},480" -v c="${REST[$1]}" '$1 == p && $2 != c { t = $3 } END { print t }' "$E2E_WATCH"; }
expect() {  # expect lit|up NOTE WHAT
    e2e_poll 5 "$1" "$2" || e2e_fail "$3: key $2 not $1 within 5 s"
}
# tap CARD NOTE RELEASE: press, seen lit, release ("80" Note Off or "90" velocity 0), seen up.
tap() {
    send "$1" "$(printf '90 %02X 50' "$2")"
    expect lit "$2" "card $1 pressing $2"
    send "$1" "$(printf '%s %02X 00' "$3" "$2")"
    expect up "$2" "card $1 releasing $2 with $3"
}

# The loopback card's far side records from before the program's sound starts.
arecord -q -D plughw:Loopback,1,0 -f S16_LE -r 44100 -c 2 -B 1000000 "$WAV" 2>"$OUT/arecord.log" &
ARECORD_PID=$!
mark arecord
e2e_start SDL_AUDIODRIVER=alsa AUDIODEV=plughw:Loopback,0,0 CLAVORA_TIMING="$OUT/timing"
e2e_wait_painted 60
say "the window is painted"
# The record and play lights too (they blink while their transport runs).
e2e_watch "${X[60]},480" "${X[62]},480" "${X[64]},480" "${X[67]},480" 728,409 757,406
for n in 60 62 64 67; do
    e2e_poll 30 e2e_watch_ready "${X[$n]}" 480 || { cat "$E2E_WATCH" >&2; e2e_fail "the pixel watcher did not start"; }
    REST[$n]="$(e2e_watch_now "${X[$n]}" 480)"
done
RECORD_OFF="$(e2e_watch_now 728 409)"
PLAY_OFF="$(e2e_watch_now 757 406)"
# dark_for X Y OFF SECONDS: the light has been off for this long (longer than a blink).
dark_for() {
    awk -v p="$1,$2" -v c="$3" -v now="$EPOCHREALTIME" -v s="$4" '
        $1 == p { col = $2; t = $3 } END { exit !(col == c && now - t >= s) }' "$E2E_WATCH"
}
say "the pixel watcher runs"
e2e_key r

# Device 0 among System, Midi Through and the two cards: the first card.
e2e_poll 10 device0_is 0 || { cat "$CLIENTS" >&2; e2e_fail "card 0 not taken as device 0"; }
say "device 0 is card 0, not System, Midi Through or card 1"
send 1 "90 3E 50"  # card 1 is nobody's device 0: its D4 neither lights nor is recorded
tap 0 64 80        # Note Off releases ...
tap 0 64 90        # ... as velocity 0 does
lit 62 && e2e_fail "card 1's key lit although card 1 is not connected"
send 1 "90 3E 00"
sleep 1.5  # silence before the loopback check's first note

# Sound on the loopback card: a held C4 and its release without the pedal ...
send 0 "90 3C 50"; mark plain-on; expect lit 60 "plain C4"
sleep 0.6
send 0 "80 3C 00"; mark plain-off; expect up 60 "plain C4"
sleep 1.5
# ... then under the pedal: key up at once, the note rings on until the pedal comes up.
send 0 "B0 40 7F"
send 0 "90 3C 50"; mark pedal-on; expect lit 60 "pedalled C4"
sleep 0.6
send 0 "80 3C 00"; mark pedal-keyup; expect up 60 "pedalled C4"
sleep 1.5
send 0 "B0 40 00"; mark pedal-up
sleep 1.5

# Card 0 pulled while it holds C4: the key comes up and its release is recorded.
send 0 "90 3C 50"; expect lit 60 "C4 held before the pull"
PULLED="$EPOCHREALTIME"
unplug 0
e2e_poll 5 up 60 || e2e_fail "C4 still lit after its card was pulled"
UNPLUG_S="$(since "$PULLED" "$(timing_mark midi-device-released)")"
say "pulled card: released $UNPLUG_S s after the unbind"
e2e_poll 5 device0_is 1 || e2e_fail "card 1 not taken as device 0 after card 0 went"
unplug 1
e2e_poll 5 eval '! card_present 1' || e2e_fail "card 1 did not go"

# Card 0 plugged in again, to a program with no device: a note sent 1 s later plays.
# The note goes from a process of its own: writing to the driver's "bind" returns only
# once the card is all set up, which can take longer than that on an emulated machine.
PLUGGED="$EPOCHREALTIME"
(sleep 1; echo "$EPOCHREALTIME" >"$OUT/sent"; send 0 "90 43 50") &
SENDER=$!
plug 0
wait "$SENDER" || e2e_fail "no raw MIDI device of card 0 1 s after it was plugged in"
SENT_S="$(since "$PLUGGED" "$(cat "$OUT/sent")")"
e2e_poll 5 lit 67 || e2e_fail "G4 sent 1 s after card 0 was plugged in again not lit"
PLAY_S="$(since "$PLUGGED" "$(lit_at 67)")"
TAKEN_S="$(since "$PLUGGED" "$(timing_mark midi-device-taken)")"
HEARD_S="$(since "$PLUGGED" "$(timing_mark midi-device-first-message)")"
send 0 "90 43 00"; expect up 67 "G4 from the plugged card"
device0_is 0 || e2e_fail "card 0 is not device 0 after it came back"
awk -v t="$TAKEN_S" 'BEGIN { exit !(t < 1) }' || e2e_fail "card 0 taken $TAKEN_S s after it was plugged in"
say "plugged card: device 0 after $TAKEN_S s; a note sent at $SENT_S s arrived at $HEARD_S s, lit at $PLAY_S s"

# A second card connected by hand plays; device 0 connected by hand as well, once.
plug 1
e2e_poll 5 card_present 1 || e2e_fail "card 1 did not come back"
aconnect "$(card_client 1):0" Clavora:0 || e2e_fail "aconnect card 1 to Clavora"
tap 1 62 90
aconnect "$(card_client 0):0" Clavora:0 || e2e_fail "aconnect card 0 to Clavora"
tap 0 64 80

# The pedal in playback: a short song in slot 1, pedal down, C4, key up, pedal up,
# played back once recorded; its C4 must ring on past its key as it did live.
e2e_key space
e2e_poll 5 dark_for 728 409 "$RECORD_OFF" 1 || e2e_fail "the recording of slot 0 did not stop"
e2e_click 783 378  # the slot's up arrow: slot 1
MARK="$(e2e_watch_mark)"
e2e_key r
e2e_poll 5 e2e_watch_left "$MARK" 728 409 "$RECORD_OFF" || e2e_fail "the recording of slot 1 did not start"
send 0 "B0 40 7F"; send 0 "90 3C 50"; mark song-on
sleep 0.6
send 0 "80 3C 00"; mark song-keyup
sleep 1.5
send 0 "B0 40 00"; mark song-pedal-up
sleep 1.5
e2e_key space
e2e_poll 5 dark_for 728 409 "$RECORD_OFF" 1 || e2e_fail "the recording of slot 1 did not stop"
MARK="$(e2e_watch_mark)"
e2e_key space  # play slot 1
e2e_poll 5 e2e_watch_left "$MARK" 757 406 "$PLAY_OFF" || e2e_fail "the playback of slot 1 did not start"
e2e_poll 15 dark_for 757 406 "$PLAY_OFF" 1 || e2e_fail "the playback of slot 1 did not end"
e2e_key Escape
e2e_wait_exit 20
stop_arecord
printf '%s\n' "plug-in to device 0: $TAKEN_S s" \
    "plug-in to a note sent at $SENT_S s arriving: $HEARD_S s, its key lit: $PLAY_S s" \
    "unplug to release: $UNPLUG_S s" >"$OUT/figures"

# Every note once, in order (key number = note - 20; -64:-1 and -64:-2 the pedal).
expected="44:100 44:0 44:100 44:0 40:100 40:0 -64:-1 40:100 40:0 -64:-2 40:100 40:0 47:100 47:0 42:100 42:0 44:100 44:0 "
got="$(od -An -v -w8 -td2 "$E2E_DIR/song.000" 2>/dev/null |
    awk '$1 == -100 && $2 == -100 { exit } { printf "%d:%d ", $1, $2 }')"
[ "$got" = "$expected" ] || e2e_fail "song.000 holds '$got', expected '$expected'"
say "song.000 holds every note once, in order"
got="$(od -An -v -w8 -td2 "$E2E_DIR/song.001" 2>/dev/null |
    awk '$1 == -100 && $2 == -100 { exit } { printf "%d:%d ", $1, $2 }')"
[ "$got" = "-64:-1 40:100 40:0 -64:-2 " ] || e2e_fail "song.001 holds '$got', expected the pedalled C4"
/usr/bin/python3 "$HERE/loopback.py" "$WAV" "$EVENTS" || e2e_fail "the loopback recording"
