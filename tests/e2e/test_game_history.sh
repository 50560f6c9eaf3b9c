#!/usr/bin/env bash
# Two whole games of each mode played in the real program, then one dropped by a reset
# and one left by closing the window: "Clavora-history.csv" must hold exactly the rows
# of the four finished games. The games are answered blind and fast: letter games by
# typing C, D, E, F, G, A, B over and over, piano games by clicking the 29 white keys
# from C2 to C6 over and over. Each answer is judged against the note asked, so the
# rows' order of notes and their wrong answers can be replayed against what was sent.
#
# Usage: test_game_history.sh PATH_TO_CLAVORA
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"
HISTORY="$E2E_DIR/Clavora-history.csv"

rows() { [ -f "$HISTORY" ] && wc -l <"$HISTORY" || echo 0; }
# Every white key from C2 to C6 is answered within one round, so 29 rounds finish a game.
letter_game() {
    e2e_key n
    local keys=() r
    for ((r = 0; r < 29; r++)); do keys+=(c d e f g a b); done
    xdotool key --delay 2 "${keys[@]}" || e2e_fail "xdotool key"
}
piano_game() {
    e2e_key k
    e2e_click_c2_to_c6
}
# play MODE N: one game, then waits for its 29 rows after the N rows already there.
play() {
    local want=$(( $2 + 29 + ($2 == 0) ))
    "$1_game"
    has_rows() { [ "$(rows)" -eq "$want" ]; }
    e2e_poll 20 has_rows || e2e_fail "after a $1 game the history holds $(rows) lines, not $want"
}

e2e_start
e2e_wait_painted
BEFORE="$(date +%s)"
T0=$(date +%s.%N); play letter 0; e2e_log "letter game $(e2e_elapsed $T0) s"
play letter 30
T0=$(date +%s.%N); play piano 59; e2e_log "piano game $(e2e_elapsed $T0) s"
play piano 88
# A dropped game and a game left by closing the window write nothing.
e2e_key n c d j n e
e2e_key Escape
e2e_wait_exit
AFTER="$(date +%s)"

python3 - "$HISTORY" "$BEFORE" "$AFTER" <<'PY' || e2e_fail "the history's rows are not those of the games played"
import datetime, sys
lines = open(sys.argv[1]).read().split('\n')
before, after = int(sys.argv[2]), int(sys.argv[3])
assert lines[0] == 'start,mode,note,clef,seconds,wrong' and lines[-1] == '', lines[:1] + lines[-1:]
rows = [l.split(',') for l in lines[1:-1]]
assert len(rows) == 4 * 29, f'{len(rows)} rows'
whites = [l + str(o) for o in range(2, 7) for l in 'CDEFGAB'][:29]
sent = {'letter': 'CDEFGAB', 'piano': whites}
starts = []
for g in range(4):
    game = rows[29 * g:29 * g + 29]
    mode = 'letter' if g < 2 else 'piano'
    start = game[0][0]
    starts.append(datetime.datetime.fromisoformat(start).timestamp())
    assert start[10] == 'T' and start[-6] in '+-' and start[-3] == ':', start
    assert all(r[0] == start and r[1] == mode for r in game), f'game {g}: {game}'
    assert sorted(r[2] for r in game) == sorted(whites), f'game {g} notes {[r[2] for r in game]}'
    cycle, at = sent[mode], 0
    for start_, _, note, clef, seconds, wrong in game:
        step = whites.index(note)
        assert clef == ('bass' if step < 14 else 'treble' if step > 14 else clef) and clef in ('bass', 'treble'), (note, clef)
        assert round(float(seconds) * 100) % 3 == 0, seconds
        # Replay: the answers sent, from where the last right one left off.
        want = note[0] if mode == 'letter' else note
        n = 0
        while cycle[at % len(cycle)] != want:
            at, n = at + 1, n + 1
        at += 1
        assert int(wrong) == n, f'game {g} {note}: {wrong} wrong, {n} sent'
    total = sum(float(r[4]) for r in game)
    assert total <= after - before + 1, f'game {g} took {total} s'
assert before - 1 <= starts[0] <= starts[1] <= starts[2] <= starts[3] <= after, starts
print(f'e2e: four games kept, {sum(int(r[5]) for r in rows)} wrong answers replayed', file=sys.stderr)
PY
echo "PASS: game history"
