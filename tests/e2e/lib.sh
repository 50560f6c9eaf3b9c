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
#   e2e_poll 10 CMD...           # runs CMD until it succeeds, for at most 10 s
#   e2e_watch 360,480 372,480    # logs every change of colour of these pixels
#   e2e_stop PID                 # SIGTERM, and SIGKILL only if it is not gone in 10 s
#   e2e_user NAME; e2e_as_user RUNTIME -- CMD   # CMD as a system user of the test's own
#   e2e_jack_init NAME; e2e_jackd_start; e2e_sender_start   # JACK and a MIDI sender
#
# Nothing is checked right after a start or a command: every wait polls for what can be
# seen (a window, the pointer, pixels, a file, a port) until a deadline, so a slow start
# on a loaded machine only takes longer, and a hung program fails the test instead of
# hanging ctest.
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

# Microseconds since the epoch, cheaply (no process), for deadlines.
e2e_usec() { echo "${EPOCHREALTIME/[.,]/}"; }

# e2e_poll SECONDS CMD...: runs CMD until it succeeds, every 50 ms, for at most SECONDS
# (whole seconds); returns 1 when the deadline passed without success.
e2e_poll() {
    local end=$(( $(e2e_usec) + $1 * 1000000 ))
    shift
    while :; do
        "$@" && return 0
        [ "$(e2e_usec)" -lt "$end" ] || return 1
        sleep 0.05
    done
}

E2E_LIB="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

e2e_gone() { ! kill -0 "$1" 2>/dev/null; }

# e2e_stop PID [SECONDS]: SIGTERM, so that a server gives back what it holds (jackd its
# slot in the machine's table of servers), and SIGKILL only after SECONDS (10).
e2e_stop() {
    [ -n "$1" ] && kill "$1" 2>/dev/null && { e2e_poll "${2:-10}" e2e_gone "$1" || kill -KILL "$1" 2>/dev/null; }
    wait "$1" 2>/dev/null || true
}

# e2e_user NAME: E2E_USER is NAME, a system user of the test's own (lib_proc.py), where
# the test runs as root, which some programs refuse; the caller otherwise.
e2e_user() {
    E2E_USER="$(id -un)"
    [ "$(id -u)" -ne 0 ] || { /usr/bin/python3 "$E2E_LIB/lib_proc.py" user "$1" && E2E_USER="$1"; }
}

# e2e_as_user RUNTIME [VAR=value ...] -- CMD...: CMD as E2E_USER with only PATH, the VARs,
# and HOME and XDG_RUNTIME_DIR in RUNTIME ("-" for none). Started with & it takes its
# subshell's place, so that $! is CMD's.
e2e_as_user() {
    local cmd=(/usr/bin/python3 "$E2E_LIB/lib_proc.py" as-user "$E2E_USER" "$@")
    [ "$BASHPID" = "$$" ] || exec "${cmd[@]}"
    "${cmd[@]}"
}

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
    e2e_window_shown() {
        kill -0 "$E2E_PID" 2>/dev/null || e2e_fail "the program ended before its window showed"
        E2E_WIN="$(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null | head -n 1 || true)"
        [ -n "$E2E_WIN" ]
    }
    e2e_poll "$1" e2e_window_shown || e2e_fail "no window within $1 s"
}

# e2e_pointer_inside: the X server has the pointer in the program's window.
e2e_pointer_inside() {
    local WINDOW=""
    eval "$(xdotool getmouselocation --shell 2>/dev/null | grep '^WINDOW=')"
    [ "$WINDOW" = "$E2E_WIN" ]
}

# Moves the pointer into the window, away from every control, and waits until the
# server has it there: without a window manager the keyboard focus follows the pointer.
e2e_focus() {
    xdotool mousemove --window "$E2E_WIN" 790 510 || e2e_fail "cannot move the pointer"
    e2e_poll 10 e2e_pointer_inside || e2e_fail "the pointer did not reach the window within 10 s"
}

# e2e_grab WxH+X+Y FILE: a picture of a rectangle of the window, in client coordinates.
e2e_grab() {
    import -window "$E2E_WIN" -crop "$1" +repage -depth 8 "$2" || e2e_fail "cannot capture the window"
}

# e2e_same A B: two pictures hold the same pixels.
e2e_same() {
    local diff
    diff="$(compare -metric AE "$1" "$2" null: 2>&1 || true)"
    [ "${diff%% *}" = "0" ]
}

# e2e_pixel X Y: the colour of one pixel of the window now, as #RRGGBB.
e2e_pixel() {
    import -window "$E2E_WIN" -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/.* \(#[0-9A-Fa-f]\{6\}\).*/\1/p'
}

# e2e_pixel_is X Y COLOUR / e2e_pixel_not X Y COLOUR: for polling a pixel.
e2e_pixel_is() { [ "$(e2e_pixel "$1" "$2")" = "$3" ]; }
e2e_pixel_not() {
    local c
    c="$(e2e_pixel "$1" "$2")"
    [ -n "$c" ] && [ "$c" != "$3" ]
}

# e2e_watch X,Y...: watches these pixels of the window from now on (lib_watch_pixels.py):
# E2E_WATCH is its log, one "X,Y #RRGGBB SECONDS" line per change of colour.
e2e_watch() {
    E2E_WATCH="$E2E_DIR.watch"
    : >"$E2E_WATCH"
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/lib_watch_pixels.py" "$E2E_WIN" "$@" \
        >"$E2E_WATCH" 2>&1 &
    E2E_WATCH_PID=$!
    e2e_on_exit 'kill "$E2E_WATCH_PID" 2>/dev/null; wait "$E2E_WATCH_PID" 2>/dev/null; rm -f "$E2E_WATCH"'
}

# e2e_watch_mark: the number of changes logged so far, for e2e_watch_since.
e2e_watch_mark() { wc -l <"$E2E_WATCH"; }

# e2e_watch_blinked MARK X Y COLOUR: since MARK the pixel turned from COLOUR to another
# and back to COLOUR (a key pressed and up again, a light on and off).
e2e_watch_blinked() {
    awk -v m="$1" -v p="$2,$3" -v c="$4" '
        NR > m && $1 == p { if ($2 != c) away = 1; else if (away) back = 1 }
        END { exit !back }' "$E2E_WATCH"
}

# e2e_watch_left MARK X Y COLOUR: since MARK the pixel has shown another colour.
e2e_watch_left() {
    awk -v m="$1" -v p="$2,$3" -v c="$4" 'NR > m && $1 == p && $2 != c { f = 1 } END { exit !f }' "$E2E_WATCH"
}

# e2e_watch_ready X Y: the watcher has logged this pixel at least once.
e2e_watch_ready() { grep -q "^$1,$2 " "$E2E_WATCH"; }

# e2e_watch_now X Y: the pixel's colour as last logged.
e2e_watch_now() { awk -v p="$1,$2" '$1 == p { c = $2 } END { print c }' "$E2E_WATCH"; }

# e2e_painted: the window shows a picture, not one flat colour (as before its first frame).
e2e_painted() {
    local colours
    colours="$(import -window "$E2E_WIN" -depth 8 miff:- 2>/dev/null | convert - -format %k info: 2>/dev/null)"
    [ -n "$colours" ] && [ "$colours" -gt 16 ]
}

# e2e_wait_painted [SECONDS]: waits until the window shows its first frame (default 30 s).
e2e_wait_painted() {
    e2e_poll "${1:-30}" e2e_painted || e2e_fail "the window showed no picture within ${1:-30} s"
}

# e2e_key KEY...: presses and releases each key (xdotool key names: Escape, Return, r, space).
e2e_key() {
    xdotool key --delay 30 "$@" || e2e_fail "xdotool key $*"
}

# e2e_click X Y: one left click at client coordinates of the window.
e2e_click() {
    xdotool mousemove --window "$E2E_WIN" "$1" "$2" click 1 || e2e_fail "click at $1,$2"
}

# e2e_click_c2_to_c6: the 29 white keys from C2 to C6 clicked in turn, 29 times over, in
# one xdotool call.
e2e_click_c2_to_c6() {
    local args=() r s
    for ((r = 0; r < 29; r++)); do
        for ((s = 0; s < 29; s++)); do
            args+=(mousemove --window "$E2E_WIN" $((79 + 12 * (9 + s) + 6)) 490 mousedown 1 mouseup 1)
        done
    done
    xdotool "${args[@]}" || e2e_fail "xdotool clicks"
}

# e2e_wm_close: the window manager's close request (WM_DELETE_WINDOW).
e2e_wm_close() {
    /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/lib_wm_close.py" "$E2E_WIN" ||
        e2e_fail "cannot send WM_DELETE_WINDOW"
}

# e2e_wait_exit [SECONDS]: waits for the program to end (default 10 s) and fails
# unless it ended with status 0. Sets E2E_EXIT_TIME (seconds since e2e_start).
e2e_wait_exit() {
    e2e_poll "${1:-10}" e2e_gone "$E2E_PID" || e2e_fail "the program did not end within ${1:-10} s"
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

# e2e_asked_step: the staff step 0..28 of the note at rest in the asked column (x 349), or -1 when no
# note stands there. A note's head is centred 1.5 rows below its step's row, across
# columns 359..362 whichever way its stem points, and is the only ink there that is
# not staff blue: dark while plain, gold while lit. Treble rows are 255 - 8 step,
# bass rows 328 - 8 step.
e2e_asked_step() {
    import -window "$E2E_WIN" -crop 4x325+359+16 +repage -depth 8 txt:- 2>/dev/null | awk -F'[(,)]' '
        NR > 1 && $5 + 0 < 110 { ink[$2 + 16] = 1 }
        END {
            # The longest run of ink rows, gaps of up to 2 rows bridged, is the head.
            best = -1
            for (y = 16; y <= 340; y++) {
                if (!(y in ink)) continue
                if (start == "" || y - last > 3) start = y
                last = y
                if (last - start > best) { best = last - start; lo = start; hi = last }
            }
            if (best < 0) { print -1; exit }
            row = (lo + hi) / 2 - 1.5
            step = row > 180 ? (328 - row) / 8 : (255 - row) / 8
            step = int(step + 0.5)
            print (step >= 0 && step <= 28) ? step : -1
        }'
}

# e2e_next_step PREVIOUS: the step of the next asked note once it has come to rest in the
# asked column (the same reading twice, 150 ms apart: a head still easing in can be
# cut off by the columns looked at), or -1 after 10 s. No game or drill asks a note twice
# in a row, so the next one never has the previous step.
e2e_next_step() {
    local end=$(( $(e2e_usec) + 10000000 )) a seen=-1
    while :; do
        a="$(e2e_asked_step)"
        if [ "$a" -ge 0 ] && [ "$a" -ne "$1" ] && [ "$a" -eq "$seen" ]; then
            echo "$a"
            return
        fi
        seen="$a"
        [ "$(e2e_usec)" -lt "$end" ] || break
        sleep 0.15
    done
    echo -1
}


# e2e_jack_init NAME: a JACK server of the test's own, named NAME and a number of this
# checkout, so that a server of another is left alone, and so that a slot in the
# machine's table of 8 that a killed run of ours leaked is taken back by the next (JACK
# does so only for the same name); MIDISEND, the sender beside the program; E2E_WORK
# for their files. Both are ended when the test ends.
e2e_jack_init() {
    MIDISEND="$(dirname "$E2E_BIN")/midisend"
    [ -x "$MIDISEND" ] || e2e_fail "no midisend beside the program"
    command -v jackd >/dev/null || e2e_fail "jackd is not installed"
    export JACK_DEFAULT_SERVER="$1-$(cksum <<<"$E2E_LIB" | cut -d' ' -f1)" JACK_NO_AUDIO_RESERVATION=1
    E2E_WORK="$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")" JACKD_PID="" SENDER_PID=""
    e2e_on_exit 'e2e_sender_stop; e2e_stop "$JACKD_PID"; rm -rf "$E2E_WORK"'
}

# e2e_jackd_start: real-time where the machine allows it (jackd carries on without): on
# a busy machine a client that misses its cycle loses that cycle's events.
e2e_jackd_start() {
    jackd -R -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 1024 >"$E2E_WORK/jackd.log" 2>&1 &
    JACKD_PID=$!
    e2e_jackd_up() {
        jack_lsp >/dev/null 2>&1 || { kill -0 "$JACKD_PID" 2>/dev/null || { cat "$E2E_WORK/jackd.log" >&2; e2e_fail "jackd ended"; }; false; }
    }
    e2e_poll 10 e2e_jackd_up || e2e_fail "jackd did not come up within 10 s"
}

# e2e_sender_start [N]: a sender reading from a pipe kept open on descriptor 3, saying
# what it does in SENDER_OUT; returns once it is ready, at SENDER_READY.
e2e_sender_start() {
    SENDER_OUT="$E2E_WORK/sender${1:-}.out"
    rm -f "$E2E_WORK/commands" "$SENDER_OUT"
    mkfifo "$E2E_WORK/commands"
    "$MIDISEND" <"$E2E_WORK/commands" >"$SENDER_OUT" 2>&1 &
    SENDER_PID=$!
    exec 3>"$E2E_WORK/commands"
    e2e_sender_said ready
    SENDER_READY="$(e2e_now)"
}
e2e_sender_stop() { exec 3>&- || true; e2e_stop "$SENDER_PID"; SENDER_PID=""; }

# e2e_sender_said LINE [SECONDS]: waits (10 s) until the sender has said LINE.
e2e_sender_said() {
    e2e_said_line() {
        grep -qx "$1" "$SENDER_OUT" || { kill -0 "$SENDER_PID" 2>/dev/null || e2e_fail "the sender ended: $(cat "$SENDER_OUT")"; false; }
    }
    e2e_poll "${2:-10}" e2e_said_line "$1" || e2e_fail "the sender did not say '$1': $(cat "$SENDER_OUT")"
}

# The program's own port is there; nothing is linked to its device-0 port.
e2e_jack_own_port() { jack_lsp 2>/dev/null | grep -qx "Clavora:Clavora"; }
e2e_jack_unlinked() { ! jack_lsp -c 2>/dev/null | awk '/^Clavora:device 0$/ { s = 1; next } /^[^ \t]/ { s = 0 } s { f = 1 } END { exit !f }'; }

# e2e_expect_song FILE "KEY:VELOCITY ...": the song file holds these records and nothing
# else (the end marker -100:-100 among them), their ticks in order.
e2e_expect_song() {
    [ -f "$E2E_DIR/$1" ] || e2e_fail "nothing was recorded in $1"
    local got ticks  # records of 8 bytes: key number, velocity (16 bits each), tick (32)
    got="$(od -An -v -w8 -td2 "$E2E_DIR/$1" | awk '{ printf "%d:%d ", $1, $2 }')"
    ticks="$(od -An -v -w8 -td4 "$E2E_DIR/$1" | awk '{ print $2 }')"
    [ "$got" = "$2" ] || e2e_fail "$1 holds '$got', expected '$2'"
    sort -n -c <<<"$ticks" || e2e_fail "ticks out of order in $1: $ticks"
}
