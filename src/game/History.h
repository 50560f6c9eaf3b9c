// The practice history: every note asked in a finished game, one row each, appended to
// "Clavora-history.csv" beside the best records once the game has ended. A dropped game
// leaves no row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clavora {

constexpr const char* kHistoryFile = "Clavora-history.csv";
// The columns, as the header row names them.
constexpr const char kHistoryHeader[] = "start,mode,note,clef,seconds,wrong\n";
// One frame-clock tick, in hundredths of a second: the unit of a note's time.
constexpr int kHistoryTickHundredths = 3;

// Game events, in the order a game makes them; none touches a file or allocates.
// A drill's rows name its mode "letter-drill" or "piano-drill".
void HistoryNewGame(int32_t start, int16_t mode, int16_t middleCClef, bool drill = false);
void HistoryTick();                       // one frame-clock tick while the game asks
void HistoryWrong(int16_t question);      // a wrong answer to the asked note
void HistoryRight(int16_t question, int16_t key);  // the right answer to it
void HistoryFinished();                   // the last right answer: the game is kept

// Forgets any game not yet written: a new window starts with none.
void ForgetPendingHistory();

// Appends the rows of a kept game not yet written, in one write, and forgets them.
// Runs on the window's thread between frames; false when the file could not be written
// (the rows are then dropped, and the failure has been reported on standard error).
bool WritePendingHistory();

// The rows of the kept game as text, into out; returns their length (0 when none is
// pending). Allocates nothing.
size_t FormatPendingHistory(char* out, size_t capacity);

}  // namespace clavora
