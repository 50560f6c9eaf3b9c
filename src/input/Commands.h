// The commands that the mouse and the computer keyboard share, and the window
// regions and key hit test of the mouse.
#pragma once

#include <cstdint>

#include "app/PianoDlg.h"

namespace clavora {

// A rectangle of the client area; both ends of each range belong to it.
struct HitRect {
    int x0, x1, y0, y1;
    constexpr bool Contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// The regions of the window, in the order in which a click tests them.
constexpr HitRect kCloseRect{335, 368, 35, 68};
constexpr HitRect kLetterModeRect{193, 208, 370, 381};
constexpr HitRect kPianoModeRect{193, 208, 383, 394};
constexpr HitRect kFreePlayRect{193, 208, 396, 407};
// The weak-note drill, beside JAM SESSION.
constexpr HitRect kDrillRect{296, 311, 396, 407};
constexpr HitRect kRecordRect{720, 735, 403, 414};
constexpr HitRect kStopRect{737, 752, 403, 414};
constexpr HitRect kPlayRect{754, 769, 403, 414};
constexpr HitRect kPresetsRect{14, 97, 372, 396};
constexpr HitRect kProgramArrowsRect{160, 175, 372, 396};
constexpr HitRect kSlotArrowsRect{776, 791, 372, 396};
constexpr HitRect kKeyboardRect{79, 702, 421, 498};

// Presets and arrows: y below this is the upper half (upper row, arrow up).
constexpr int kLowerHalfY = 385;

// The game is asking a note: the one test every command uses.
inline bool IsGameAsking(const CPianoDlg& d) { return d.m_nQuestion >= 0 && d.m_nQuestion < QUIZ_NOTES; }

// Record: release all keys, light the button and start recording the current slot.
void PressRecord(CPianoDlg& d);
// Play: light the button and play the current slot from its beginning.
void PressPlay(CPianoDlg& d);
// Free play: drop any game, and light the mode marker.
void PressFreePlay(CPianoDlg& d);

// Marks preset 0..9 and selects its program.
void SelectPreset(CPianoDlg& d, int16_t preset);
// Steps the program by +1 or -1, wrapping within 0..127, and marks a preset on it.
void StepProgram(CPianoDlg& d, int delta);
// Stops a running recorder, then steps the slot by +1 or -1, wrapping within 0..127.
void StepSlot(CPianoDlg& d, int delta);

// The key index under a point of the keyboard, or -1 outside it.
int16_t KeyAtPoint(int x, int y);

}  // namespace clavora
