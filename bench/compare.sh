#!/usr/bin/env bash
# Clavora beside other piano programs: window, memory, idle and busy processor use.
#
# Usage: bench/compare.sh PATH_TO_CLAVORA [OTHER_PROGRAM ...] [--runs N] [--seconds S]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PATH_TO_CLAVORA [OTHER ...] [--runs N] [--seconds S]" >&2; exit 2; }
exec /usr/bin/python3 "$(dirname "$0")/compare.py" "$@"
