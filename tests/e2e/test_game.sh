#!/usr/bin/env bash
# A whole note-reading game played in the real program: a letter game typed on the
# keyboard (N, then letters), or with "piano" as second argument a piano game (K, then
# clicks on the keys on screen). Each asked note is read off the staff in the window.
# The window is closed with Escape; "Clavora.hsc" must hold the new record and the
# other mode's default, and the next start must show the record in the records panel.
#
# Usage: test_game.sh PATH_TO_CLAVORA [letter|piano]
#        (GAME_SHOTS=DIR keeps screenshots of the game's end and of the restart)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
e2e_under_xvfb "$@"
e2e_init "$1"
MODE="${2:-letter}"
WRONG=2

# grab WxH+X+Y: the pixels of a rectangle of the window, one "x,y: (r,g,b)" line each.
grab() {
    import -window "$E2E_WIN" -crop "$1" +repage -depth 8 txt:- ||
        e2e_fail "cannot capture the window"
}

# The records panel's high scores, as text.
panel() { grab 176x72+12+112; }

# Keeps a full screenshot when asked to.
keep_shot() {
    [ -n "${GAME_SHOTS:-}" ] || return 0
    mkdir -p "$GAME_SHOTS"
    import -window "$E2E_WIN" "$GAME_SHOTS/$MODE-$1.png" || true
}

LETTERS=(c d e f g a b)

# answer STEP: the letter of the step, or a click on the lower half of its white key
# (white keys are 12 px wide from x 79; C2, step 0, is the tenth white key).
answer() {
    if [ "$MODE" = letter ]; then
        e2e_key "${LETTERS[$(($1 % 7))]}"
    else
        e2e_click $((79 + 12 * (9 + $1) + 6)) 490
    fi
}

# A wrong answer to a step: the next letter, or the same key an octave away.
wrong_of() {
    if [ "$MODE" = letter ]; then echo $(($1 + 1))
    elif [ "$1" -lt 21 ]; then echo $(($1 + 7))
    else echo $(($1 - 7)); fi
}

le32() { echo $((16#${1:$2+6:2}${1:$2+4:2}${1:$2+2:2}${1:$2:2})); }
le16() { echo $((16#${1:$2+2:2}${1:$2:2})); }

case "$MODE" in
    letter) START_KEY=n TIME_AT=0 MISTAKES_AT=8 OTHER_AT=12 ;;
    piano) START_KEY=k TIME_AT=12 MISTAKES_AT=20 OTHER_AT=0 ;;
    *) e2e_fail "unknown mode $MODE" ;;
esac

e2e_start
e2e_wait_painted
PANEL_DEFAULTS="$(panel)"
GAME_START="$(e2e_now)"
e2e_key "$START_KEY"
step=-1
READ=()
for ((q = 0; q < 29; q++)); do
    step="$(e2e_next_step "$step")"
    READ+=("$step")
    [ "$step" -ge 0 ] || e2e_fail "$MODE game: no note read at question $q (read so far: ${READ[*]})"
    if [ "$q" -eq 0 ]; then
        for ((n = 0; n < WRONG; n++)); do answer "$(wrong_of "$step")"; done
    fi
    answer "$step"
done
e2e_log "$MODE game: steps read ${READ[*]}"
SECONDS_TAKEN="$(e2e_elapsed "$GAME_START")"
no_note_asked() { [ "$(e2e_asked_step)" -eq -1 ]; }
e2e_poll 10 no_note_asked || e2e_fail "$MODE game: a note is still asked after 29 answers"
panel_changed() { PANEL_END="$(panel)"; [ "$PANEL_END" != "$PANEL_DEFAULTS" ]; }
e2e_poll 10 panel_changed || e2e_fail "the records panel did not change"
keep_shot end
e2e_key Escape
e2e_wait_exit

hex="$(e2e_hex Clavora.hsc)"
[ "${#hex}" -eq 24 ] || e2e_fail "Clavora.hsc holds $hex"
t="$(le32 "$hex" "$TIME_AT")"
m="$(le16 "$hex" "$MISTAKES_AT")"
e2e_log "$MODE game of $SECONDS_TAKEN s: record $t s, $m mistakes: $hex"
awk -v t="$t" -v s="$SECONDS_TAKEN" 'BEGIN { exit !(t >= 1 && t <= s + 1) }' ||
    e2e_fail "a record of $t s for a game of $SECONDS_TAKEN s"
[ "$m" -eq "$WRONG" ] || e2e_fail "the record holds $m mistakes, not $WRONG"
[ "${hex:$OTHER_AT:12}" = "${E2E_DEFAULT_RECORDS:$OTHER_AT:12}" ] ||
    e2e_fail "the other mode's record changed: $hex"

# The next run starts with the record on screen and writes it back unchanged.
e2e_start
panel_as_at_end() { [ "$(panel)" = "$PANEL_END" ]; }
e2e_poll 30 panel_as_at_end || e2e_fail "after a restart the records panel differs from the game's end"
keep_shot restart
e2e_key Escape
e2e_wait_exit
e2e_expect_hex Clavora.hsc "$hex"
echo "PASS: $MODE game"
