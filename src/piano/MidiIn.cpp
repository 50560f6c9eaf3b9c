// MIDI input from an external keyboard: Note On on the first channel plays the piano.
#include "app/PianoDlg.h"

namespace clavora {

void MidiInProc(void* /*hMidiIn*/, uint32_t wMsg, uintptr_t /*dwInstance*/, uintptr_t dwParam1,
                uintptr_t /*dwParam2*/) {
    if (wMsg != MIM_DATA) return;
    CPianoDlg* dlg = g_pMainDlg;
    if (!dlg || dlg->IsClosing()) return;
    if ((dwParam1 & 0xFF) != 0x90) return;
    const auto note = static_cast<int16_t>((dwParam1 >> 8) & 0xFF);
    const auto velocity = static_cast<int16_t>((dwParam1 >> 16) & 0xFF);
    if (velocity != 0) {
        dlg->SetKey(static_cast<int16_t>(note - 21), KEY_HELD);
        dlg->NoteOn(static_cast<int16_t>(note - 20));
    } else {
        dlg->SetKey(static_cast<int16_t>(note - 21), 0);
        dlg->NoteOff(static_cast<int16_t>(note - 20));
    }
}

}  // namespace clavora
