#!/usr/bin/env bash
# A song saved in slot 0 plays by itself at start and its file survives the run:
# started in a directory holding a "song.000" that presses middle C (key number 40)
# at tick 0 and releases it at tick 100, the program shows the key pressed in its
# first second, up again once the song is over, and, closed with Escape, writes the
# file back byte for byte.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

# Records of 8 bytes: key number, velocity (both 16-bit), tick (32-bit), little-endian.
SONG_HEX=280064000000000028000000640000009cff9cff67000000
printf '\x28\x00\x64\x00\x00\x00\x00\x00\x28\x00\x00\x00\x64\x00\x00\x00\x9c\xff\x9c\xff\x67\x00\x00\x00' \
    >"$E2E_DIR/song.000"
e2e_expect_hex song.000 "$SONG_HEX"

# e2e_pixel FILE X Y: the colour of one pixel of a screenshot, as ImageMagick names it.
e2e_pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info:; }

# A slow start (a loaded machine, a cold disk) is no failure here.
E2E_WINDOW_TIMEOUT=30 e2e_start
shown="$(e2e_now)"
xdotool sleep 0.4
held_from="$(e2e_elapsed "$shown")"
import -window "$E2E_WIN" "$E2E_DIR/held.png" || e2e_fail "cannot take a screenshot"
held_to="$(e2e_elapsed "$shown")"
# The song lasts 101 frames of 30 ms: 3 s. Wait well past its end.
xdotool sleep 5
import -window "$E2E_WIN" "$E2E_DIR/up.png" || e2e_fail "cannot take a screenshot"

# Middle C is the 24th white key: its cell starts at x = 79 + 12 * 23 = 355; its lower
# part, rows 466..498, is all key. D4, beside it, is never pressed.
c4_held="$(e2e_pixel "$E2E_DIR/held.png" 360 480)"
c4_up="$(e2e_pixel "$E2E_DIR/up.png" 360 480)"
d4_held="$(e2e_pixel "$E2E_DIR/held.png" 372 480)"
d4_up="$(e2e_pixel "$E2E_DIR/up.png" 372 480)"
rm -f "$E2E_DIR/held.png" "$E2E_DIR/up.png"
[ "$c4_held" != "$c4_up" ] ||
    e2e_fail "middle C looks the same at ${held_from}..${held_to} s and after the song ($c4_held)"
[ "$d4_held" = "$d4_up" ] || e2e_fail "D4 changed too ($d4_held, then $d4_up)"

e2e_key Escape
e2e_wait_exit 10
e2e_expect_files Clavora.hsc song.000
e2e_expect_hex song.000 "$SONG_HEX"
e2e_log "middle C shown pressed ${held_from}..${held_to} s after the window showed; song.000 written back unchanged"
