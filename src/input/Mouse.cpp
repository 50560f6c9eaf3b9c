// Mouse commands: a left click acts on the first region of the window it falls in.
#include "input/Commands.h"

namespace clavora {

void CPianoDlg::OnLButtonDown(int x, int y) {
    const bool upper = y < kLowerHalfY;
    if (kCloseRect.Contains(x, y) && !IsGameAsking(*this)) {
        // The close region lies over the staff's asked column: closed only between games.
        OnCancel();
    } else if (kLetterModeRect.Contains(x, y)) {
        SetGameMode(MODE_LETTER);
    } else if (kPianoModeRect.Contains(x, y)) {
        SetGameMode(MODE_PIANO);
    } else if (kDrillRect.Contains(x, y)) {
        StartDrill();
    } else if (kFreePlayRect.Contains(x, y)) {
        PressFreePlay(*this);
    } else if (kRecordRect.Contains(x, y)) {
        PressRecord(*this);
    } else if (kStopRect.Contains(x, y)) {
        StopTransport();
    } else if (kPlayRect.Contains(x, y)) {
        PressPlay(*this);
    } else if (kPresetsRect.Contains(x, y)) {
        // Two rows of five presets, 17 pixels apart.
        SelectPreset(*this, static_cast<int16_t>((x - kPresetsRect.x0) / 17 + (upper ? 0 : 5)));
    } else if (kProgramArrowsRect.Contains(x, y)) {
        StepProgram(*this, upper ? 1 : -1);
    } else if (kSlotArrowsRect.Contains(x, y)) {
        StepSlot(*this, upper ? 1 : -1);
    } else if (kKeyboardRect.Contains(x, y)) {
        const int16_t key = KeyAtPoint(x, y);
        SetKey(key, KEY_CLICK);
        NoteOn(static_cast<int16_t>(key + 1));
    }
    // Every click shows its effect at once, also one that hit nothing.
    Redraw();
}

// The second press of a double-click is a click of its own.
void CPianoDlg::OnLButtonDblClk(int x, int y) { OnLButtonDown(x, y); }

}  // namespace clavora
