// The picture of the practice history: for each mode played, the time and the mistakes
// of every game over the days, and the 29 notes on a grand staff coloured by how slow
// they were and marked with how often they were answered wrongly over the last games.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "History.h"

namespace progress {

// Sessions the table follows the weakest notes over.
constexpr int kTrendSessions = 10;

// One of the weakest notes of a mode by the drill's rule, and how it moved.
struct WeakNote {
    int step = 0;
    double share = 0;                      // of the next drill's draws, 0..1
    int rankBefore = 0, rank = 0;          // 1 = weakest, kTrendSessions sessions ago and now
    std::vector<double> scores;            // its score after each of the last sessions, oldest first
};

// What the picture and the table show of one mode.
struct ModeSummary {
    int mode = kLetter;
    std::vector<const Game*> games;        // games and drills, in file order
    int drills = 0;                        // of them, drills
    int lastGames = 0;                     // sessions the note figures cover
    bool drillsInLast = false;             // a drill among them
    std::array<double, kQuizNotes> seconds{};  // mean time of each note over them
    std::array<int, kQuizNotes> wrong{};       // wrong answers to each note over them
    std::array<int, kQuizNotes> asked{};       // times each note was asked in them
    std::vector<WeakNote> weakest;         // the five weakest notes now, weakest first
};

// The five weakest notes of a mode by the drill's own rule, and their scores over the
// last sessions.
std::vector<WeakNote> WeakestNotes(const std::vector<const Game*>& sessions);

// The modes that have games, with their figures over the last `last` games each.
std::vector<ModeSummary> Summarize(const History& history, int last);

// Draws the picture as PNG or SVG (by svg) into bytes. False when cairo fails.
bool DrawPicture(const std::vector<ModeSummary>& modes, bool svg, std::string& bytes);

}  // namespace progress
