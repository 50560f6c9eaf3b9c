#!/usr/bin/env bash
# Every way of closing the program closes it like the others: Escape, Enter (the main
# key and the keypad's) and the window manager's close request (WM_DELETE_WINDOW) each
# end it with exit 0 within 10 s, leaving only the default best-records file in its
# empty working directory.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

for way in Escape Return KP_Enter wm-close; do
    rm -f "$E2E_DIR"/*
    e2e_start
    if [ "$way" = wm-close ]; then e2e_wm_close; else e2e_key "$way"; fi
    e2e_wait_exit 10
    e2e_expect_files Clavora.hsc
    e2e_expect_hex Clavora.hsc "$E2E_DEFAULT_RECORDS"
    e2e_log "closed with $way after $E2E_EXIT_TIME s"
done
