// The picture of the practice history: for each mode played, the time and the mistakes
// of every game over the days, and the 29 notes on a grand staff coloured by how slow
// they were and marked with how often they were answered wrongly over the last games.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "History.h"

namespace progress {

// What the picture and the table show of one mode.
struct ModeSummary {
    int mode = kLetter;
    std::vector<const Game*> games;        // in file order
    int lastGames = 0;                     // games the note figures cover
    std::array<double, kQuizNotes> seconds{};  // mean time of each note over them
    std::array<int, kQuizNotes> wrong{};       // wrong answers to each note over them
};

// The modes that have games, with their figures over the last `last` games each.
std::vector<ModeSummary> Summarize(const History& history, int last);

// Draws the picture as PNG or SVG (by svg) into bytes. False when cairo fails.
bool DrawPicture(const std::vector<ModeSummary>& modes, bool svg, std::string& bytes);

}  // namespace progress
