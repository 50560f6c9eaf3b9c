#!/usr/bin/env bash
# The weak-note drill in the real program, from a history in which C2, F4 and A5 were
# slow in letter mode. W (no game yet this run) starts a letter drill: each asked note
# is read off the staff and answered by its letter; C2, F4 and A5 must be asked at least
# three times each and no note twice within four questions, and the button and the
# mark beside the clock must show the drill. Then K and J (a piano game started and
# dropped) make the next drill a piano drill, answered blind on the keys. The history
# must end with the two drills' rows, in the order read, and "Clavora.hsc" must be
# left exactly as it was, though both drills were faster than its records.
#
# Usage: test_drill.sh PATH_TO_CLAVORA   (DRILL_SHOT=FILE keeps a picture of the drill)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"
HISTORY="$E2E_DIR/Clavora-history.csv"
RECORDS=2d00000003002d0000000300   # 45 s and 3 mistakes in both modes

python3 - "$HISTORY" <<'PY'
import datetime, random, sys
rng = random.Random(28)
notes = [l + str(o) for o in range(2, 7) for l in 'CDEFGAB'][:29]
slow = {'C2', 'F4', 'A5'}
day = datetime.datetime.now().astimezone() - datetime.timedelta(days=1)
rows = ['start,mode,note,clef,seconds,wrong\n']
for g, mode in enumerate(['letter'] * 5 + ['piano'] * 3):
    stamp = (day + datetime.timedelta(minutes=5 * g)).isoformat(timespec='seconds')
    for note in rng.sample(notes, 29):
        step = notes.index(note)
        seconds = rng.uniform(6, 8) if note in slow else rng.uniform(1.0, 1.5)
        rows.append(f'{stamp},{mode},{note},{"bass" if step < 14 else "treble"},{seconds:.2f},0\n')
open(sys.argv[1], 'w').write(''.join(rows))
PY
printf "$(echo "$RECORDS" | sed 's/../\\x&/g')" >"$E2E_DIR/Clavora.hsc"
RECORDS_STAT="$(stat -c '%i %Y' "$E2E_DIR/Clavora.hsc")"
rows() { wc -l <"$HISTORY"; }
ROWS="$(rows)"

e2e_start
e2e_wait_painted
UNLIT="$(e2e_pixel 304 402)"
e2e_key w
# The drill's button lit as the mode's marker (NAME), and the DRILL plate on the panel.
# lit Y: the button shows the mode marker's lit face, the marker at row Y (NAME 370, KEY 383).
lit() { [ "$(e2e_pixel 304 402)" = "$(e2e_pixel 201 $(($1 + 6)))" ] && [ "$(e2e_pixel 304 402)" != "$UNLIT" ]; }
e2e_poll 10 lit 370 || e2e_fail "the drill's button is not lit"
marked() { e2e_pixel_not 66 47 '#C0D0F0'; }
e2e_poll 10 marked || e2e_fail "no mark beside the clock"

LETTERS=(c d e f g a b)
step=-1
READ=()
for ((q = 0; q < 29; q++)); do
    step="$(e2e_next_step "$step")"
    [ "$step" -ge 0 ] || e2e_fail "drill: no note read at question $q (read so far: ${READ[*]})"
    READ+=("$step")
    if [ "$q" -eq 6 ] && [ -n "${DRILL_SHOT:-}" ]; then
        import -window root "$DRILL_SHOT.root.png" &&
            eval "$(xdotool getwindowgeometry --shell "$E2E_WIN")" &&
            convert "$DRILL_SHOT.root.png" -crop "800x520+$X+$Y" +repage "$DRILL_SHOT" &&
            rm -f "$DRILL_SHOT.root.png"
    fi
    e2e_key "${LETTERS[$((step % 7))]}"
done
e2e_log "letter drill: steps read ${READ[*]}"
has_rows() { [ "$(rows)" -eq "$1" ]; }
e2e_poll 20 has_rows $((ROWS + 29)) || e2e_fail "after the letter drill the history holds $(rows) lines"

# A piano game started and dropped: the next drill is a piano drill, answered blind by
# clicking the 29 white keys from C2 to C6 over and over.
e2e_key k j w
e2e_poll 10 lit 383 || e2e_fail "the piano drill's button is not lit"
e2e_click_c2_to_c6
e2e_poll 20 has_rows $((ROWS + 58)) || e2e_fail "after the piano drill the history holds $(rows) lines"
e2e_key Escape
e2e_wait_exit

e2e_expect_hex Clavora.hsc "$RECORDS"
[ "$(stat -c '%i %Y' "$E2E_DIR/Clavora.hsc")" = "$RECORDS_STAT" ] || e2e_fail "Clavora.hsc was rewritten"
python3 - "$HISTORY" "$ROWS" "${READ[*]}" <<'PY' || e2e_fail "the drills' rows are not those of the drills played"
import collections, sys
lines = open(sys.argv[1]).read().split('\n')
before, read = int(sys.argv[2]), [int(s) for s in sys.argv[3].split()]
notes = [l + str(o) for o in range(2, 7) for l in 'CDEFGAB'][:29]
rows = [l.split(',') for l in lines[before:-1]]
assert lines[-1] == '' and len(rows) == 58, len(rows)
letter, piano = rows[:29], rows[29:]
assert all(r[1] == 'letter-drill' for r in letter) and all(r[1] == 'piano-drill' for r in piano), \
    sorted({r[1] for r in rows})
for name, drill in (('letter', letter), ('piano', piano)):
    asked = [notes.index(r[2]) for r in drill]
    for q in range(29):
        assert asked[q] not in asked[max(0, q - 3):q], f'{name} drill: {notes[asked[q]]} again at {q}: {asked}'
assert [notes.index(r[2]) for r in letter] == read, 'the rows are not the notes read off the staff'
count = collections.Counter(r[2] for r in letter)
assert all(count[n] >= 3 for n in ('C2', 'F4', 'A5')), count
print(f"e2e: letter drill asked {dict(count.most_common(5))}; piano drill "
      f"{dict(collections.Counter(r[2] for r in piano).most_common(3))}", file=sys.stderr)
PY
echo "PASS: drill"
