// MIDI input from an external keyboard: Note On and Note Off on the first channel play
// the piano, and its sustain pedal holds the notes.
#include "app/PianoDlg.h"

namespace clavora {

// Called for every incoming message, one at a time, under the window lock.
void MidiInProc(void* /*hMidiIn*/, uint32_t wMsg, uintptr_t /*dwInstance*/, uintptr_t dwParam1,
                uintptr_t /*dwParam2*/) {
    if (wMsg != MIM_DATA) return;
    CPianoDlg* dlg = g_pMainDlg;
    // Once the window has started closing nothing may touch its state.
    if (!dlg || dlg->IsClosing()) return;
    const uint32_t status = dwParam1 & 0xFF;
    if (status == 0xB0 && ((dwParam1 >> 8) & 0xFF) == 64) {
        // The sustain pedal: down from half way.
        dlg->SustainPedal(((dwParam1 >> 16) & 0xFF) >= 64 ? 1 : 0);
        return;
    }
    if (status != 0x90 && status != 0x80) return;
    const auto note = static_cast<int16_t>((dwParam1 >> 8) & 0xFF);
    // Note Off, whatever its velocity, ends its note as Note On with velocity 0 does.
    const auto velocity = static_cast<int16_t>(status == 0x80 ? 0 : (dwParam1 >> 16) & 0xFF);
    // A note outside A0..C8 has no key, note 20 (key index -1) included: it changes
    // no key state, but is still judged, recorded and sent.
    const auto key = static_cast<int16_t>(note - 21);
    const auto keyNumber = static_cast<int16_t>(note - 20);
    if (velocity != 0) {
        dlg->SetKeyOfNote(key, KEY_HELD);
        dlg->NoteOn(keyNumber);
    } else {
        dlg->SetKeyOfNote(key, 0);
        dlg->NoteOff(keyNumber);
    }
}

}  // namespace clavora
