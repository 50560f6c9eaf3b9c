#!/usr/bin/env bash
# Escape closes the program: it exits 0 within 10 s and leaves only the default
# best-records file in its empty working directory.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

e2e_start
e2e_key Escape
e2e_wait_exit 10
e2e_expect_files Clavora.hsc
e2e_expect_hex Clavora.hsc "$E2E_DEFAULT_RECORDS"
e2e_log "closed with Escape after $E2E_EXIT_TIME s"
