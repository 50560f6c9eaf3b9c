// The practice history as clavora-progress reads it: the games it holds, each with the
// 29 notes it asked, read from "Clavora-history.csv".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace progress {

constexpr int kQuizNotes = 29;   // the white keys C2 to C6, staff steps 0 to 28
enum Mode { kLetter = 0, kPiano = 1, kModes = 2 };
const char* ModeName(int mode);

struct NoteRow {
    int8_t step = -1;           // staff step 0..28 (C2 = 0, C4 = 14, C6 = 28)
    int32_t hundredths = 0;     // from the note shown to the right answer
    int32_t wrong = 0;          // wrong answers before the right one
};

// A game, or a drill of the mode's weak notes (mode "letter-drill" or "piano-drill").
struct Game {
    int mode = kLetter;
    bool drill = false;
    int64_t start = 0;          // seconds since the epoch
    int32_t day = 0;            // the local calendar day it was played on, days since 1970-01-01
    int32_t secondOfDay = 0;    // local time of day
    int32_t hundredths = 0;     // the sum of its notes' times
    int32_t wrong = 0;          // the sum of its wrong answers
    int rows = 0;               // notes read; a whole game has 29
    NoteRow notes[kQuizNotes];
};

struct History {
    std::vector<Game> games;    // in file order, whole games only
    long partialGames = 0;      // games with rows missing, left out
};

// Reads the history file. On success returns true; lines that are not rows of a game
// are skipped, each kind reported on one line of standard error (a torn last line, a
// line with the wrong columns or values, a game dated after now). Returns false with
// one line on standard error when the file cannot be read or is not a history at all.
bool ReadHistory(const std::string& path, int64_t now, History& history);

// "2026-12-08" from a day count.
std::string DayText(int32_t day);

}  // namespace progress
