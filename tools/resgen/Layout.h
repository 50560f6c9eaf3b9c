// Where things stand on the 800 x 520 window: the places the program draws over and
// clicks on, which the art has to match to the pixel.
#pragma once

#include <vector>

#include "Image.h"

namespace resgen {

constexpr int kWidth = 800;
constexpr int kHeight = 520;

struct Rect {
    int x, y, w, h;
};

// Colours the program's pictures share with each other.
constexpr uint32_t kPanelBlue = Rgb(192, 208, 240);   // the game panel's face
constexpr uint32_t kStaffBlue = Rgb(0, 28, 168);      // staff and ledger lines
constexpr uint32_t kStaffShadow = Rgb(178, 184, 204); // the row under each line
constexpr uint32_t kCardWhite = Rgb(253, 253, 250);
constexpr uint32_t kBandCyan = Rgb(218, 242, 250);
constexpr uint32_t kButtonRing = Rgb(34, 14, 8);      // the dark bezel of every button
constexpr uint32_t kLabelYellow = Rgb(255, 214, 40);

// The game panel and the staff card.
constexpr Rect kGamePanel{6, 7, 186, 185};
constexpr Rect kStaffCard{224, 15, 449, 330};
constexpr int kStaffLeft = 266, kStaffRight = 663;
constexpr int kTrebleRows[5] = {63, 79, 95, 111, 127};
constexpr int kBassRows[5] = {232, 248, 264, 280, 296};
constexpr int kBandLeft = 350, kBandRight = 368;
constexpr int kConsoleTop = 351;

// 16 x 12 buttons.
constexpr int kButtonW = 16, kButtonH = 12;
enum class Symbol { None, ArrowUp, ArrowDown, Dot, Square, Triangle };
struct Button {
    int x, y;
    Symbol symbol;
};
std::vector<Button> Buttons();

// Seven-segment displays: black windows with three digit cells of 16 x 24.
constexpr Rect kProgramWindow{104, 371, 50, 27};
constexpr Rect kSlotWindow{720, 371, 50, 27};
constexpr int kProgramCells[3] = {106, 122, 138};
constexpr int kSlotCells[3] = {722, 738, 754};
constexpr int kCounterCellY = 373;

// The drill's mark in the game panel, between the Time and Oops labels; the drill's
// button is the fourth of the game buttons, beside JAM SESSION.
constexpr Rect kDrillMark{64, 42, 26, 11};
constexpr int kDrillButtonX = 296, kDrillButtonY = 396;

// The slot light.
constexpr Rect kSlotLight{774, 405, 8, 8};

// The keyboard: 52 white keys of 12 px from x 79, 79 rows from y 420; black keys 8 x 46.
constexpr int kKeysLeft = 79, kKeysTop = 420, kWhiteW = 12, kWhiteH = 79;
constexpr int kBlackW = 8, kBlackH = 46;
constexpr int kKeysLine = 499;  // the black line under the keys
struct KeyPlace {
    int x;        // left column
    int outline;  // white-key outline 0..9, or 10 for a black key
};
// All 88 keys from A0, in order.
std::vector<KeyPlace> KeyPlaces();
// Columns of the key cell that belong to a white key of this outline in its upper rows.
void OutlineColumns(int outline, int& first, int& last);

// Game panel cells for clock digits (16 x 25).
constexpr int kClockW = 16, kClockH = 25, kClockInk = 13;

}  // namespace resgen
