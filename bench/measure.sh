#!/usr/bin/env bash
# Whole-program figures beside their goals: start-up, idle processor use, peak memory.
# Runs the program under an Xvfb of its own with SDL's dummy audio driver.
#
# Usage: bench/measure.sh PATH_TO_CLAVORA [--runs N] [--idle SECONDS] [--use SECONDS]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PATH_TO_CLAVORA [--runs N] [--idle S] [--use S]" >&2; exit 2; }
exec python3 "$(dirname "$0")/measure.py" "$@"
