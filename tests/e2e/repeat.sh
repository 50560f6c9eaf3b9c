#!/usr/bin/env bash
# Runs one end-to-end test many times in a row and counts how it went: for tests whose
# faults show only now and then (MIDI hot-plugging on JACK). Not part of every test
# run: 50 runs of test_midi_hotplug.sh take about five minutes.
#
#   tests/e2e/repeat.sh [--busy] COUNT TEST PROGRAM [ARGS...]
#
# --busy keeps a busy loop running beside the runs, for a machine under load. Each
# failed run's output is kept in a temporary folder, named in the summary. Exit status
# 0 only when every run passed.
set -uo pipefail

BUSY=""
if [ "${1:-}" = "--busy" ]; then BUSY=1; shift; fi
[ $# -ge 3 ] || { sed -n '2,10p' "$0" >&2; exit 2; }
COUNT="$1" TEST="$2"
shift 2
case "$TEST" in */*) ;; *) TEST="$(dirname "$0")/$TEST" ;; esac
[ -x "$TEST" ] || { echo "repeat: no test $TEST" >&2; exit 2; }

KEEP="$(mktemp -d "${TMPDIR:-/tmp}/clavora-repeat.XXXXXX")"
BUSY_PID=""
stop_busy() { [ -n "$BUSY_PID" ] && kill "$BUSY_PID" 2>/dev/null && wait "$BUSY_PID" 2>/dev/null; BUSY_PID=""; }
trap stop_busy EXIT
if [ -n "$BUSY" ]; then
    bash -c 'while :; do :; done' &
    BUSY_PID=$!
fi

passed=0 failed=0 crashed=0 skipped=0
start=$(date +%s.%N)
for i in $(seq 1 "$COUNT"); do
    out="$KEEP/run$i.log"
    "$TEST" "$@" >"$out" 2>&1
    status=$?
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
        rm -f "$out"
    elif [ "$status" -eq 77 ]; then
        skipped=$((skipped + 1))
    else
        failed=$((failed + 1))
        # A program that died of a signal says so in the test's output (or the test
        # itself died of one).
        if [ "$status" -gt 128 ] || grep -qiE "signal|segmentation|core dumped|exit status (1[3-9][0-9]|2[0-9][0-9])" "$out"; then
            crashed=$((crashed + 1))
        fi
        echo "repeat: run $i failed (status $status): $(grep -m1 'FAIL' "$out" || tail -n1 "$out")" >&2
    fi
done
stop_busy
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }')
echo "repeat: $(basename "$TEST") ${BUSY:+beside a busy loop }$passed of $COUNT passed, $failed failed ($crashed crashed), $skipped skipped, in $seconds s"
[ "$failed" -eq 0 ] || echo "repeat: the failed runs' output is in $KEEP" >&2
[ "$failed" -eq 0 ] && rmdir "$KEEP" 2>/dev/null
[ "$failed" -eq 0 ] && [ "$passed" -eq "$COUNT" ]
