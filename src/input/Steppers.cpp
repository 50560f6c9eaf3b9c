// The instrument presets and the program and slot arrows.
#include "input/Commands.h"

namespace clavora {

namespace {
constexpr int16_t kLastProgram = 127;
constexpr int16_t kLastSlot = 127;
}  // namespace

void SelectPreset(CPianoDlg& d, int16_t preset) {
    d.m_nPreset = preset;
    d.SelectProgram(d.m_nPresets[preset]);
    d.m_nFlashMarker = 5;
}

void StepProgram(CPianoDlg& d, int delta) {
    if (delta > 0) {
        d.m_nProgram = static_cast<int16_t>(d.m_nProgram + 1);
        d.m_nFlashProgUp = 5;
        if (d.m_nProgram > kLastProgram) d.m_nProgram = 0;
    } else {
        d.m_nProgram = static_cast<int16_t>(d.m_nProgram - 1);
        d.m_nFlashProgDown = 5;
        if (d.m_nProgram < 0) d.m_nProgram = kLastProgram;
    }
    // The preset that holds this program is marked; none when no preset does.
    d.m_nPreset = -1;
    for (int16_t i = 0; i < 10; ++i)
        if (d.m_nPresets[i] == d.m_nProgram) d.m_nPreset = i;
    d.SelectProgram(d.m_nProgram);
}

void StepSlot(CPianoDlg& d, int delta) {
    // A recording is always closed in the slot it was made in.
    if (d.m_bPlaying == 1 || d.m_bRecording == 1) d.StopTransport();
    if (delta > 0) {
        d.m_nSlot = static_cast<int16_t>(d.m_nSlot + 1);
        d.m_nFlashSlotUp = 5;
        if (d.m_nSlot > kLastSlot) d.m_nSlot = 0;
    } else {
        d.m_nSlot = static_cast<int16_t>(d.m_nSlot - 1);
        d.m_nFlashSlotDown = 5;
        if (d.m_nSlot < 0) d.m_nSlot = kLastSlot;
    }
}

}  // namespace clavora
