#!/usr/bin/env bash
# Key to ear through a real sound server (a PulseAudio daemon or PipeWire of its own, null sink).
#
# Usage: bench/latency.sh PATH_TO_CLAVORA [--server pulseaudio|pipewire] [--clicks N] [--long N] [--silence S]
#                         [--pulse-latency-msec MS] [--server-raised]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PATH_TO_CLAVORA [--clicks N] [--long N] [--silence S]" >&2; exit 2; }
exec /usr/bin/python3 "$(dirname "$0")/latency.py" "$@"
