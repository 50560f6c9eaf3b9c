#!/usr/bin/env bash
# Killed while saving: the program starts in a directory of 128 song files and a
# records file that it rewrites whole at close (songs with bytes after their end
# marker, songs cut off in the middle of a record, a records file of 20 bytes), is
# closed with Escape and killed with SIGKILL at a random moment of its saving, many
# times over. After every kill each song file and "Clavora.hsc" holds either its old
# bytes or exactly the new ones, never a mix; and a run started from what a kill left
# loads it all and saves everything new, leaving no temporary file behind.
#
# Every other run goes at a slower pace: a small library loaded into the program
# (LD_PRELOAD) makes each opening of a file in the working directory, each write to a
# file and each rename wait half a millisecond first, so that a kill can fall between
# any two of them (at full speed a write of a whole file is one system call that no
# kill can split, and a save that truncates its file and then writes it would pass).
# CLAVORA_CRASH_SLOWED=0 leaves it out.
#
# CLAVORA_CRASH_RUNS (default 30) and CLAVORA_CRASH_SECONDS (default 60) bound the
# number of kills and the time spent on them.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"

RUNS="${CLAVORA_CRASH_RUNS:-30}"
BUDGET="${CLAVORA_CRASH_SECONDS:-60}"
FILES="$(mktemp -d "${TMPDIR:-/tmp}/clavora-crash.XXXXXX")"
e2e_on_exit "rm -rf '$FILES'"
mkdir "$FILES/old" "$FILES/new"

# The old files and the new bytes the program must write for each. Records of 8
# bytes: key number, velocity (16-bit each), tick (32-bit), little-endian; an end
# marker has key and velocity -100.
python3 - "$FILES" <<'EOF'
import os, random, struct, sys
out = sys.argv[1]
rnd = random.Random(8)
END = -100

def rec(key, velocity, tick):
    return struct.pack('<hhi', key, velocity, tick)

for slot in range(128):
    n = rnd.randrange(2000, 4000)
    events = b''.join(rec(1 + (slot + i // 2) % 88, 0 if i % 2 else 100, 3 * (i // 2))
                      for i in range(n))
    if slot % 2:
        # After its end marker come bytes that nothing reads: dropped at close.
        end = rec(END, END, 3 * n)
        old, new = events + end + bytes(rnd.randrange(1, 256) for _ in range(50)), events + end
    else:
        # Cut off in its last record: closed by an end marker at its last event's tick.
        old, new = events + b'\x2a\x00\x64', events + rec(END, END, 3 * ((n - 1) // 2))
    for kind, data in (('old', old), ('new', new)):
        with open(os.path.join(out, kind, 'song.%03d' % slot), 'wb') as f:
            f.write(data)

records = struct.pack('<ihih', 75, 3, 88, 7)
with open(os.path.join(out, 'old', 'Clavora.hsc'), 'wb') as f:
    f.write(records + b'\xff' * 8)
with open(os.path.join(out, 'new', 'Clavora.hsc'), 'wb') as f:
    f.write(records)
EOF

# check: every file is old or new, and nothing else is there but temporary files of
# an interrupted save. Sets OLD, NEW and TEMP to the counts.
cat >"$FILES/check.py" <<'EOF'
import os, sys
files, work = sys.argv[1], sys.argv[2]
old = new = temp = 0
for name in sorted(os.listdir(work)):
    if name.endswith('.tmp'):
        temp += 1
        continue
    if not os.path.exists(os.path.join(files, 'old', name)):
        sys.exit('unexpected file %s' % name)
    data = open(os.path.join(work, name), 'rb').read()
    # Old and new differ in size, so the size says which one to compare with.
    if len(data) == os.path.getsize(os.path.join(files, 'old', name)) and \
            data == open(os.path.join(files, 'old', name), 'rb').read():
        old += 1
    elif len(data) == os.path.getsize(os.path.join(files, 'new', name)) and \
            data == open(os.path.join(files, 'new', name), 'rb').read():
        new += 1
    else:
        sys.exit('%s is neither the old file nor the new one (%d bytes)' % (name, len(data)))
if old + new != 129:
    sys.exit('files are missing: %d old, %d new' % (old, new))
print(old, new, temp)
EOF
check() {
    local counts
    counts="$(python3 "$FILES/check.py" "$FILES" "$E2E_DIR" 2>&1)" || e2e_fail "$counts"
    read -r OLD NEW TEMP <<<"$counts"
}

start_with() {
    rm -f "$E2E_DIR"/*
    cp "$FILES/$1"/* "$E2E_DIR"/
}

# The slowing library, built here with the C compiler.
cat >"$FILES/slow.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static void slow(void) {
    struct timespec t = {0, 500000};
    nanosleep(&t, 0);
}
/* The program names its files relative to its working directory. */
static int own(const char* path) { return path && path[0] != '/'; }

#define OPEN(name)                                                        \
    int name(const char* path, int flags, ...) {                          \
        static int (*real)(const char*, int, ...);                        \
        mode_t mode = 0;                                                  \
        if (flags & (O_CREAT | O_TMPFILE)) {                              \
            va_list a;                                                    \
            va_start(a, flags);                                           \
            mode = va_arg(a, mode_t);                                     \
            va_end(a);                                                    \
        }                                                                 \
        if (!real) real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, #name); \
        if (own(path)) slow();                                            \
        return real(path, flags, mode);                                   \
    }
OPEN(open)
OPEN(open64)

ssize_t write(int fd, const void* data, size_t size) {
    static ssize_t (*real)(int, const void*, size_t);
    struct stat st;
    if (!real) real = (ssize_t (*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) slow();
    return real(fd, data, size);
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (!real) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    if (own(from)) slow();
    return real(from, to);
}
EOF
PACES=(full)
if [ "${CLAVORA_CRASH_SLOWED:-1}" != 0 ]; then
    cc -O2 -shared -fPIC -o "$FILES/slow.so" "$FILES/slow.c" -ldl || e2e_fail "cannot build the slowing library"
    PACES+=(slowed)
fi

# start PACE [FILES]: starts the program, at full speed or slowed, and waits for its
# window; again if it could not reach the X server: a server busy with the connections
# of a killed program may refuse a new one for a moment (EAGAIN), and then the program
# ends without a window. FILES, if given, are put back before each attempt.
start() {
    local attempt i preload=""
    [ "$1" = slowed ] && preload="$FILES/slow.so"
    for attempt in 1 2 3; do
        [ -z "${2:-}" ] || start_with "$2"
        E2E_START_TIME="$(e2e_now)"
        (cd "$E2E_DIR" && exec env ${preload:+LD_PRELOAD="$preload"} SDL_AUDIODRIVER=dummy "$E2E_BIN") \
            >"$E2E_LOG" 2>&1 &
        E2E_PID=$!
        for ((i = 0; i < 1500; i++)); do
            E2E_WIN="$(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null | head -n 1 || true)"
            if [ -n "$E2E_WIN" ]; then
                e2e_focus
                return 0
            fi
            kill -0 "$E2E_PID" 2>/dev/null || break
            sleep 0.02
        done
        kill -0 "$E2E_PID" 2>/dev/null && e2e_fail "no window within 30 s"
        reap
        grep -q "cannot open the window" "$E2E_LOG" || e2e_fail "the program ended before its window showed"
        e2e_log "the program found no display (attempt $attempt), starting it again"
        sleep 0.2
    done
    e2e_fail "the program found no display three times"
}

# reap: waits, at most 10 s, for the program to be gone.
reap() {
    e2e_poll 10 e2e_gone "$E2E_PID" || e2e_fail "the program ${E2E_PID} is still there 10 s after its end"
    wait "$E2E_PID" 2>/dev/null || true
    E2E_PID=""
}

# close: waits for the program to end by itself, and checks that all is new.
close() {
    e2e_poll 30 e2e_gone "$E2E_PID" || e2e_fail "the program did not end within 30 s"
    reap
    check
    [ "$NEW" -eq 129 ] && [ "$TEMP" -eq 0 ] || e2e_fail "$1 left $OLD old files and $TEMP temporary"
}

# escape: Escape pressed and released at once; ESCAPED is the time it was sent.
escape() {
    xdotool key --delay 0 Escape || e2e_fail "xdotool key Escape"
    ESCAPED="$(e2e_now)"
}

# mtime FILE: the time the file was last written, in seconds with fractions.
mtime() { stat -c %.9Y "$E2E_DIR/$1"; }

# One undisturbed close at each pace first: it writes exactly the new files, and when
# it wrote the first and the last of them bounds the moments to kill at.
declare -A FIRST_MS WINDOW_MS
for pace in "${PACES[@]}"; do
    start "$pace" old
    escape
    close "a clean close"
    read -r first last < <(awk -v e="$ESCAPED" -v f="$(mtime song.000)" -v l="$(mtime Clavora.hsc)" \
        'BEGIN { f = (f - e) * 1000; l = (l - e) * 1000; if (f < 0) f = 0; if (l < f) l = f;
                 printf "%d %d\n", f, l }')
    e2e_log "a clean close at $pace speed wrote its files from $first to $last ms after Escape"
    # Kills from a little before the first file to a little after the last.
    FIRST_MS[$pace]=$((first - 10))
    WINDOW_MS[$pace]=$((last - first + 20))
done

began="$(e2e_now)"
runs=0 mixed=0 untouched=0 complete=0
while [ "$runs" -lt "$RUNS" ]; do
    elapsed="$(e2e_elapsed "$began")"
    awk -v e="$elapsed" -v b="$BUDGET" 'BEGIN { exit !(e < b) }' || break
    pace="${PACES[$((runs % ${#PACES[@]}))]}"
    start "$pace" old
    delay_ms=$((RANDOM * 32768 + RANDOM))
    delay_ms=$((FIRST_MS[$pace] + delay_ms % WINDOW_MS[$pace]))
    [ "$delay_ms" -ge 0 ] || delay_ms=0
    escape
    sleep "$(awk -v d="$delay_ms" -v e="$ESCAPED" -v n="$(e2e_now)" \
        'BEGIN { s = d / 1000 - (n - e); if (s < 0) s = 0; printf "%.3f", s }')"
    kill -KILL "$E2E_PID" 2>/dev/null || true
    reap
    check
    runs=$((runs + 1))
    e2e_log "kill $runs at ${delay_ms} ms ($pace speed): $OLD old, $NEW new, $TEMP temporary"
    if [ "$NEW" -eq 0 ]; then
        untouched=$((untouched + 1))
    elif [ "$OLD" -eq 0 ]; then
        complete=$((complete + 1))
    else
        mixed=$((mixed + 1))
        if [ "$mixed" -eq 1 ]; then
            start full
            escape
            close "a clean close after a killed save"
        fi
    fi
done
[ "$runs" -ge 5 ] || [ "$runs" -ge "$RUNS" ] || e2e_fail "only $runs kills within ${BUDGET} s"
# A save lasts long enough to be hit: at least one kill fell inside a save.
[ "$mixed" -gt 0 ] || [ "$runs" -lt 4 ] || e2e_fail "no kill fell inside a save"
e2e_log "$runs kills: $mixed in the middle of saving, $untouched before it, $complete after it; no torn file"
