#!/usr/bin/env bash
# Without any display the program says so on standard error and ends with status 1,
# a failure its caller can see, after keeping its records as ever.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_init "$1"

(cd "$E2E_DIR" && exec env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy "$E2E_BIN") \
    >"$E2E_LOG" 2>&1 &
E2E_PID=$!
e2e_poll 10 e2e_gone "$E2E_PID" || e2e_fail "the program did not end within 10 s without a display"
status=0
wait "$E2E_PID" || status=$?
E2E_PID=""
[ "$status" -eq 1 ] || e2e_fail "exit status $status without a display, expected 1"
grep -q "clavora: cannot open the window" "$E2E_LOG" || e2e_fail "no message about the window"
e2e_expect_files Clavora.hsc
e2e_log "no display: status 1 with a message"
