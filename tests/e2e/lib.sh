# Helpers for end-to-end tests of the real program under Xvfb. Source it from a
# test script that gets the clavora binary as $1:
#
#   . "$(dirname "$0")/lib.sh"
#   e2e_under_xvfb "$@"          # re-runs the script under xvfb-run (once)
#   e2e_init "$1"                # empty temp dir E2E_DIR, cleanup on exit
#   e2e_start                    # starts the program there; E2E_PID, E2E_WIN
#   e2e_key Escape               # keys go to the window (pointer moved into it)
#   e2e_click 335 35             # a left click at client coordinates
#   e2e_wait_exit                # waits for the exit; fails unless status 0
#   e2e_expect_hex Clavora.hsc 930200006300930200006300
#
# Every wait has a time-out, so a hung program fails the test instead of hanging ctest.
# The program runs with SDL's dummy audio driver unless E2E_AUDIODRIVER says otherwise.

E2E_DEFAULT_RECORDS=930200006300930200006300

e2e_fail() {
    echo "FAIL: $*" >&2
    if [ -n "${E2E_LOG:-}" ] && [ -s "$E2E_LOG" ]; then
        echo "--- program output:" >&2
        cat "$E2E_LOG" >&2
    fi
    exit 1
}

e2e_log() { echo "e2e: $*" >&2; }

# Re-executes the calling script under its own X server, unless it already has one of
# ours. Needs the script's own path in $0 and its arguments.
e2e_under_xvfb() {
    if [ -z "${E2E_XVFB:-}" ]; then
        command -v xvfb-run >/dev/null || e2e_fail "xvfb-run is not installed"
        E2E_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
    fi
}

# Seconds since the epoch with fractions, for time-outs and measurements.
e2e_now() { date +%s.%N; }

# e2e_elapsed START: seconds since START (from e2e_now), as a decimal.
e2e_elapsed() { awk -v a="$1" -v b="$(e2e_now)" 'BEGIN { printf "%.3f", b - a }'; }

e2e_init() {
    E2E_BIN="$(readlink -f "$1")"
    [ -x "$E2E_BIN" ] || e2e_fail "no program at '$1'"
    E2E_DIR="$(mktemp -d "${TMPDIR:-/tmp}/clavora-e2e.XXXXXX")"
    E2E_LOG="$(mktemp "${TMPDIR:-/tmp}/clavora-e2e-log.XXXXXX")"
    E2E_PID=""
    E2E_WIN=""
    E2E_CLEANUP_HOOKS=()
    trap e2e_cleanup EXIT
}

# e2e_on_exit CMD...: runs CMD when the test ends, before the temp dir goes.
e2e_on_exit() { E2E_CLEANUP_HOOKS+=("$*"); }

e2e_cleanup() {
    local status=$?
    set +e
    if [ -n "${E2E_PID:-}" ] && kill -0 "$E2E_PID" 2>/dev/null; then
        kill -KILL "$E2E_PID" 2>/dev/null
        wait "$E2E_PID" 2>/dev/null
    fi
    local hook
    for hook in "${E2E_CLEANUP_HOOKS[@]}"; do eval "$hook" || true; done
    [ -n "${E2E_DIR:-}" ] && rm -rf "$E2E_DIR"
    [ -n "${E2E_LOG:-}" ] && rm -f "$E2E_LOG"
    exit "$status"
}

# e2e_start [VAR=value ...]: starts the program in E2E_DIR with extra environment,
# waits until its window is mapped and moves the pointer into it (without a window
# manager the keyboard focus follows the pointer).
e2e_start() {
    E2E_START_TIME="$(e2e_now)"
    (cd "$E2E_DIR" && exec env SDL_AUDIODRIVER="${E2E_AUDIODRIVER:-dummy}" "$@" "$E2E_BIN") \
        >"$E2E_LOG" 2>&1 &
    E2E_PID=$!
    e2e_wait_window "${E2E_WINDOW_TIMEOUT:-10}"
    e2e_focus
}

# e2e_wait_window SECONDS: sets E2E_WIN to the program's visible window.
e2e_wait_window() {
    local limit=$(( $1 * 50 )) i=0 win
    while [ "$i" -lt "$limit" ]; do
        kill -0 "$E2E_PID" 2>/dev/null || e2e_fail "the program ended before its window showed"
        win="$(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null | head -n 1 || true)"
        if [ -n "$win" ]; then
            E2E_WIN="$win"
            return 0
        fi
        sleep 0.02
        i=$(( i + 1 ))
    done
    e2e_fail "no window within $1 s"
}

# Moves the pointer into the window, away from every control.
e2e_focus() {
    xdotool mousemove --window "$E2E_WIN" 790 510 || e2e_fail "cannot move the pointer"
    # Let the server deliver the crossing (and so the focus) before any key.
    xdotool sleep 0.05
}

# e2e_key KEY...: presses and releases each key (xdotool key names: Escape, Return, r, space).
e2e_key() {
    xdotool key --delay 30 "$@" || e2e_fail "xdotool key $*"
}

# e2e_click X Y: one left click at client coordinates of the window.
e2e_click() {
    xdotool mousemove --window "$E2E_WIN" "$1" "$2" click 1 || e2e_fail "click at $1,$2"
}

# e2e_wm_close: the window manager's close request (WM_DELETE_WINDOW).
e2e_wm_close() {
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/lib_wm_close.py" "$E2E_WIN" ||
        e2e_fail "cannot send WM_DELETE_WINDOW"
}

# e2e_wait_exit [SECONDS]: waits for the program to end (default 10 s) and fails
# unless it ended with status 0. Sets E2E_EXIT_TIME (seconds since e2e_start).
e2e_wait_exit() {
    local limit=$(( ${1:-10} * 50 )) i=0
    while kill -0 "$E2E_PID" 2>/dev/null; do
        if [ "$i" -ge "$limit" ]; then
            e2e_fail "the program did not end within ${1:-10} s"
        fi
        sleep 0.02
        i=$(( i + 1 ))
    done
    local status=0
    wait "$E2E_PID" || status=$?
    E2E_PID=""
    E2E_EXIT_TIME="$(e2e_elapsed "$E2E_START_TIME")"
    [ "$status" -eq 0 ] || e2e_fail "exit status $status"
}

# e2e_hex FILE: the file's bytes as one lower-case hex string.
e2e_hex() { od -An -v -tx1 "$E2E_DIR/$1" | tr -d ' \n'; }

# e2e_expect_hex FILE HEX: the file in E2E_DIR holds exactly these bytes.
e2e_expect_hex() {
    [ -f "$E2E_DIR/$1" ] || e2e_fail "no file $1"
    local got
    got="$(e2e_hex "$1")"
    [ "$got" = "$2" ] || e2e_fail "$1 holds $got, expected $2"
}

# e2e_expect_files NAME...: E2E_DIR holds exactly these files.
e2e_expect_files() {
    local got want
    got="$(cd "$E2E_DIR" && ls -A | sort | tr '\n' ' ')"
    want="$(printf '%s\n' "$@" | sort | tr '\n' ' ')"
    [ "$got" = "$want" ] || e2e_fail "files left: '$got', expected '$want'"
}
