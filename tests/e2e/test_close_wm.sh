#!/usr/bin/env bash
# The window manager's close request (WM_DELETE_WINDOW) closes the program like
# Escape: exit 0 within 10 s, only the default best-records file left behind.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

e2e_start
e2e_wm_close
e2e_wait_exit 10
e2e_expect_files Clavora.hsc
e2e_expect_hex Clavora.hsc "$E2E_DEFAULT_RECORDS"
e2e_log "closed by the window manager after $E2E_EXIT_TIME s"
