#!/usr/bin/env bash
# MIDI hot-plug figures beside their goals (see bench/hotplug.py), under an X server of
# its own.
#
# Usage: bench/hotplug.sh PATH_TO_CLAVORA [--runs N] [--idle SECONDS]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PATH_TO_CLAVORA [--runs N] [--idle S]" >&2; exit 2; }
exec xvfb-run -a -s "-screen 0 1024x768x24" python3 "$(dirname "$0")/hotplug.py" "$@"
