#!/usr/bin/env bash
# A whole piano game played in the real program: K, then clicks on the keys on screen.
exec "$(dirname "$0")/test_game_letter.sh" "$1" piano
