#!/usr/bin/env bash
# A program built without its sound-server outputs (-DCLAVORA_PULSE=OFF
# -DCLAVORA_PIPEWIRE=OFF, as scripts/test builds it): it links neither library and plays
# through SDL. On SDL's disk driver, the song in slot 0 (middle C from its first frame)
# must reach the file, and the timing log must name SDL's output.
#
# Usage: sdl_only.sh PATH_TO_CLAVORA   (not run by ctest: it needs that other build)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

if readelf -d "$E2E_BIN" | grep -E 'NEEDED.*(libpulse|libpipewire)'; then
    e2e_fail "the program links a sound server's library"
fi
# Key number 40 pressed at tick 0, released at tick 200; the end marker.
printf '\x28\x00\x64\x00\x00\x00\x00\x00\x28\x00\x00\x00\xc8\x00\x00\x00\x9c\xff\x9c\xff\xcb\x00\x00\x00' \
    >"$E2E_DIR/song.000"
E2E_AUDIODRIVER=disk E2E_WINDOW_TIMEOUT=30 e2e_start SDL_DISKAUDIOFILE="$E2E_DIR/out.raw" \
    CLAVORA_TIMING="$E2E_DIR/timing"
audible() {
    [ -s "$E2E_DIR/out.raw" ] && python3 - "$E2E_DIR/out.raw" <<'PY'
import array, sys
data = open(sys.argv[1], "rb").read()
samples = array.array("h", data[:len(data) // 2 * 2])
sys.exit(0 if any(abs(v) > 1 for v in samples) else 1)
PY
}
e2e_poll 30 audible || e2e_fail "the song never reached SDL's disk output"
grep -q '^audio-output-sdl ' "$E2E_DIR/timing" || e2e_fail "the timing log names no SDL output"
e2e_key Escape
e2e_wait_exit 10
e2e_log "built without PulseAudio and PipeWire: the song played through SDL's disk driver" \
    "($(stat -c %s "$E2E_DIR/out.raw") bytes)"
