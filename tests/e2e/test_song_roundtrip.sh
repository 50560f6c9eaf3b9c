#!/usr/bin/env bash
# A song saved in slot 0 plays by itself at start and its file survives the run:
# started in a directory holding a "song.000" that presses middle C (key number 40)
# at tick 0 and releases it at tick 200, the program shows the key pressed from its
# first frames, up again once the song is over, and, closed with Escape, writes the
# file back byte for byte.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

# Records of 8 bytes: key number, velocity (both 16-bit), tick (32-bit), little-endian.
SONG_HEX=280064000000000028000000c80000009cff9cffcb000000
printf '\x28\x00\x64\x00\x00\x00\x00\x00\x28\x00\x00\x00\xc8\x00\x00\x00\x9c\xff\x9c\xff\xcb\x00\x00\x00' \
    >"$E2E_DIR/song.000"
e2e_expect_hex song.000 "$SONG_HEX"

# A slow start (a loaded machine, a cold disk) is no failure here.
E2E_WINDOW_TIMEOUT=30 e2e_start

# Middle C is the 24th white key: its cell starts at x = 79 + 12 * 23 = 355; its lower
# part, rows 466..498, is all key. D4, beside it, is never pressed. Both are watched
# from the moment the window shows; the song holds middle C for 200 frames of 30 ms
# (6 s) from the first one.
e2e_watch 372,480 360,480
# held_then_up: middle C showed one colour while D4 already showed its picture, then
# another, the one it shows now.
held_then_up() {
    awk '$1 == "372,480" { d4 = $2; nd4++ }
         $1 == "360,480" { n++; c4[n] = $2; d4at[n] = d4; t[n] = $3 }
         END {
             if (n < 2 || nd4 > 2) exit 1
             for (i = 1; i < n; i++)
                 if (d4at[i] == d4 && d4 != "" && c4[i] != c4[n]) {
                     printf "%s %s %s %s %.3f %.3f\n", c4[i], c4[n], d4, nd4, t[i], t[n]
                     exit 0
                 }
             exit 1
         }' "$E2E_WATCH"
}
e2e_poll 30 held_then_up >/dev/null || {
    cat "$E2E_WATCH" >&2
    e2e_fail "middle C was not shown pressed and then up within 30 s, or D4 changed"
}
read -r c4_held c4_up d4 _ held_t up_t < <(held_then_up)

e2e_key Escape
e2e_wait_exit 10
e2e_expect_files Clavora.hsc song.000
e2e_expect_hex song.000 "$SONG_HEX"
e2e_log "middle C shown pressed ($c4_held) at $held_t, up ($c4_up) at $up_t; song.000 written back unchanged"
