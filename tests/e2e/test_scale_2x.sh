#!/usr/bin/env bash
# The window at a desktop scale of 200 %: with "Xft.dpi: 192" in the root window's
# resources it opens at 1600 x 1040, its picture is drawn from the 2x art (text is not
# made of 2 x 2 blocks), and every control answers at twice its place: a preset, the
# voice arrow, the slot arrow, and keys clicked while recording, saved as song.001.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
if [ -z "${E2E_XVFB:-}" ]; then
    command -v xvfb-run >/dev/null || e2e_fail "xvfb-run is not installed"
    command -v xrdb >/dev/null || e2e_fail "xrdb is not installed"
    # -noreset: the server keeps the resources after xrdb, its first client, leaves.
    E2E_XVFB=1 exec xvfb-run -a -s "-screen 0 2000x1200x24 -nolisten tcp -noreset" "$0" "$@"
fi
e2e_init "$1"
echo "Xft.dpi: 192" | xrdb -nocpp -merge || e2e_fail "xrdb could not load the resources"

E2E_WINDOW_TIMEOUT=30 e2e_start
e2e_wait_painted
size_is_2x() { xdotool getwindowgeometry "$E2E_WIN" | grep -q "Geometry: 1600x1040"; }
e2e_poll 10 size_is_2x || e2e_fail "the window is not 1600 x 1040: $(xdotool getwindowgeometry "$E2E_WIN")"

# At2x X Y: the middle of the 2 x 2 device pixels of a window pixel.
at2x() { echo "$(( 2 * $1 + 1 )) $(( 2 * $2 + 1 ))"; }

# "Current Game" on the panel: drawn at 2x, it is not its own half enlarged.
e2e_grab 180x40+60+60 "$E2E_DIR/title.png"
convert "$E2E_DIR/title.png" -sample 50% -sample 200% "$E2E_DIR/blocks.png"
e2e_same "$E2E_DIR/title.png" "$E2E_DIR/blocks.png" && e2e_fail "the text is made of 2 x 2 blocks"

# The third preset of the lower row (48,385 at 1x) takes the marker from the first.
e2e_grab 32x24+28+744 "$E2E_DIR/marker.png"
# shellcheck disable=SC2046
e2e_click $(at2x 56 390)
marker_on_third() {
    e2e_grab 32x24+96+770 "$E2E_DIR/third.png"
    e2e_same "$E2E_DIR/marker.png" "$E2E_DIR/third.png"
}
e2e_poll 10 marker_on_third || e2e_fail "the preset marker did not move"

# The voice arrow (up, at 160,372) counts the voice counter (106,373) up.
e2e_grab 96x48+212+746 "$E2E_DIR/voice.png"
# shellcheck disable=SC2046
e2e_click $(at2x 166 377)
voice_changed() {
    e2e_grab 96x48+212+746 "$E2E_DIR/voice-now.png"
    ! e2e_same "$E2E_DIR/voice.png" "$E2E_DIR/voice-now.png"
}
e2e_poll 10 voice_changed || e2e_fail "the voice counter did not change"

# Slot up to 1 (arrow at 776,372), then R records, once the record light is on.
e2e_watch 721,961 731,881 1457,819
for at in "721 961" "731 881" "1457 819"; do
    # shellcheck disable=SC2086
    e2e_poll 10 e2e_watch_ready $at || e2e_fail "the pixel watcher did not start"
done
RECORD_REST="$(e2e_watch_now 1457 819)"
RECORD_MARK="$(e2e_watch_mark)"
# shellcheck disable=SC2046
e2e_click $(at2x 783 378)
e2e_key r
e2e_poll 10 e2e_watch_left "$RECORD_MARK" 1457 819 "$RECORD_REST" || e2e_fail "the record light did not come on"

# click_key X Y: a key clicked at its 2x place is shown pressed and up again.
click_key() {
    local mark rest
    rest="$(e2e_watch_now "$1" "$2")"
    mark="$(e2e_watch_mark)"
    e2e_click "$1" "$2"
    e2e_poll 15 e2e_watch_blinked "$mark" "$1" "$2" "$rest" || e2e_fail "the key at $1,$2 did not answer"
}
rm -f "$E2E_DIR"/*.png
click_key 721 961   # C4 (360,480 at 1x): key number 40
click_key 731 881   # C#4 (365,440 at 1x): key number 41
e2e_key space Escape
e2e_wait_exit 10

e2e_expect_files Clavora.hsc song.001
python3 - "$E2E_DIR/song.001" <<'PY' || e2e_fail "song.001 is not the song played"
import struct, sys
data = open(sys.argv[1], "rb").read()
keys = [struct.unpack_from("<hhi", data, i)[:2] for i in range(0, len(data) - len(data) % 8, 8)]
expected = [(40, 100), (40, 0), (41, 100), (41, 0), (-100, -100)]
if keys != expected:
    sys.exit(f"keys and velocities {keys}, expected {expected}")
PY
e2e_log "1600 x 1040 from Xft.dpi 192; 2x text; preset, voice and slot arrows, R and keys answer at 2x"
