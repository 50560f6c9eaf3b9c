#!/usr/bin/env bash
# The mouse and the keyboard drive the real program, in a window made larger than it
# asked for: a click on a preset moves its
# marker, the slot arrow moves recording to slot 1, R records, clicks on white and
# black keys are recorded as presses and, 30 frames later, releases, Space stops, and
# Escape closes the window, which saves exactly that song as "song.001".
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

E2E_WINDOW_TIMEOUT=30 e2e_start
e2e_wait_painted
# Made larger than it asked, as by a window manager that ignores its fixed size: the
# picture stays at the top left, and every click below lands by the picture's scale,
# not in proportion to the window's size.
xdotool windowsize "$E2E_WIN" 1000 700 || e2e_fail "cannot resize the window"
grown() { xdotool getwindowgeometry "$E2E_WIN" | grep -q "Geometry: 1000x700"; }
e2e_poll 10 grown || e2e_fail "the window was not made 1000 x 700"
e2e_wait_painted

# Preset markers are 16 x 12: the first preset's at 14,372 (marked at start), the third
# of the lower row's at 48,385.
e2e_grab 16x12+14+372 "$E2E_DIR/marker.png"
e2e_grab 16x12+48+385 "$E2E_DIR/third-before.png"
# Keys looked at, watched from now on: C4 (white, lower part), C#4 (black) and A#0 (the
# lone black key at the left end), with their colours at rest.
KEYS=("360 480" "365 440" "91 430")
e2e_watch 360,480 365,440 91,430 728,409
declare -A UP
for at in "${KEYS[@]}"; do
    # shellcheck disable=SC2086
    e2e_poll 10 e2e_watch_ready $at || e2e_fail "the pixel watcher did not start"
    UP[$at]="$(e2e_watch_now $at)"
done

# The third preset of the lower row, looked at after its flash has gone: it shows
# the plain marker, and the first preset no longer does.
e2e_click 56 390
marker_on_third() {
    e2e_grab 16x12+48+385 "$E2E_DIR/third.png"
    e2e_same "$E2E_DIR/marker.png" "$E2E_DIR/third.png"
}
e2e_poll 10 marker_on_third || e2e_fail "the preset marker did not move"
e2e_grab 16x12+14+372 "$E2E_DIR/first.png"
! e2e_same "$E2E_DIR/marker.png" "$E2E_DIR/first.png" || e2e_fail "the first preset is still marked"
e2e_same "$E2E_DIR/marker.png" "$E2E_DIR/third-before.png" && e2e_fail "the third preset was marked before the click"

# Slot up to 1, then record, once the record light (watched at its middle) shows it is on.
e2e_poll 10 e2e_watch_ready 728 409 || e2e_fail "the pixel watcher did not start"
RECORD_REST="$(e2e_watch_now 728 409)"
RECORD_MARK="$(e2e_watch_mark)"
e2e_click 783 378
e2e_key r
e2e_poll 10 e2e_watch_left "$RECORD_MARK" 728 409 "$RECORD_REST" || {
    cat "$E2E_WATCH" >&2
    e2e_fail "the record light did not come on within 10 s"
}
rm -f "$E2E_DIR"/*.png

# click_key X Y: clicks a key and waits until it has been shown pressed and up again,
# 30 frames (0.9 s at 30 ms a frame) later; so each release is recorded before the
# next press.
click_key() {
    local mark
    mark="$(e2e_watch_mark)"
    e2e_click "$1" "$2"
    e2e_poll 15 e2e_watch_blinked "$mark" "$1" "$2" "${UP[$1 $2]}" ||
        e2e_fail "the key at $1,$2 was not shown pressed and up again within 15 s"
}
click_key 360 480   # C4: key number 40
click_key 365 440   # C#4: key number 41
click_key 91 430    # A#0: key number 2
# Space stops the recording before Escape closes: the X server keeps their order.
e2e_key space Escape
e2e_wait_exit 10

e2e_expect_files Clavora.hsc song.001
e2e_expect_hex Clavora.hsc "$E2E_DEFAULT_RECORDS"

# Records of 8 bytes: key number and velocity (16-bit), tick (32-bit), little-endian.
python3 - "$E2E_DIR/song.001" <<'PY' || e2e_fail "song.001 is not the song played"
import struct, sys
data = open(sys.argv[1], "rb").read()
if len(data) % 8:
    sys.exit(f"{len(data)} bytes: not whole records")
records = [struct.unpack_from("<hhi", data, i) for i in range(0, len(data), 8)]
print("e2e: song.001:", records, file=sys.stderr)
keys = [(k, v) for k, v, _ in records]
expected = [(40, 100), (40, 0), (41, 100), (41, 0), (2, 100), (2, 0), (-100, -100)]
if keys != expected:
    sys.exit(f"keys and velocities {keys}, expected {expected}")
ticks = [t for _, _, t in records]
if ticks[0] != 0:
    sys.exit(f"the first event is at tick {ticks[0]}, not 0")
if ticks != sorted(ticks):
    sys.exit(f"ticks out of order: {ticks}")
for press in (0, 2, 4):
    if ticks[press + 1] - ticks[press] != 30:
        sys.exit(f"press at {ticks[press]}, release at {ticks[press + 1]}: not 30 frames")
PY
e2e_log "preset marker moved; song.001 holds the three keys clicked, each released 30 frames after its press"
