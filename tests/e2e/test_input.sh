#!/usr/bin/env bash
# The mouse and the keyboard drive the real program: a click on a preset moves its
# marker, the slot arrow moves recording to slot 1, R records, clicks on white and
# black keys are recorded as presses and, 30 frames later, releases, Space stops, and
# Escape closes the window, which saves exactly that song as "song.001".
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

# e2e_presets_shot NAME: a screenshot of the window's preset buttons (x 14..97, y 372..396).
e2e_presets_shot() {
    import -window "$E2E_WIN" -crop 84x25+14+372 +repage "$E2E_DIR/$1.png" ||
        e2e_fail "cannot take a screenshot"
}

E2E_WINDOW_TIMEOUT=30 e2e_start
xdotool sleep 0.5
e2e_presets_shot before

# The third preset of the lower row, looked at after its flash has gone.
e2e_click 56 390
xdotool sleep 1
e2e_presets_shot after
changed="$(compare -metric AE "$E2E_DIR/before.png" "$E2E_DIR/after.png" null: 2>&1 || true)"
rm -f "$E2E_DIR/before.png" "$E2E_DIR/after.png"
[ "${changed%% *}" != "0" ] || e2e_fail "the preset marker did not move"

# Slot up to 1, then record three keys one after another. Each key sounds for 30
# frames (0.9 s at 30 ms a frame); 2 s between clicks keeps the releases in order.
e2e_click 783 378
xdotool sleep 0.3
e2e_key r
xdotool sleep 0.3
e2e_click 360 480   # C4, white, lower part: key number 40
xdotool sleep 2
e2e_click 365 440   # C#4, black: key number 41
xdotool sleep 2
e2e_click 91 430    # A#0, the lone black key at the left end: key number 2
xdotool sleep 2
e2e_key space
xdotool sleep 0.3
e2e_key Escape
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
