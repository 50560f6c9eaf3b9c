// The notes that one MIDI source holds down, as the program sees them: a Note On on the
// first channel with a velocity presses its note, one with velocity 0 or a Note Off lifts
// it, and the sustain pedal (controller 64 of the first channel) is down from 64 up;
// nothing else changes either (the program uses nothing else). When the source goes
// away, ReleaseAll hands the releases that the source itself never sent, so that no key
// it left down stays lit and sounding. Fixed size; it never allocates.
#pragma once

#include <cstdint>

namespace clavora {

class HeldNotes {
public:
    // Takes note of one packed message of the source (status in the lowest byte).
    void Track(uint32_t msg) {
        const uint32_t status = msg & 0xFF;
        if (status == 0xB0 && ((msg >> 8) & 0xFF) == 64) m_pedal = ((msg >> 16) & 0xFF) >= 64;
        if (status != 0x90 && status != 0x80) return;
        const uint32_t note = (msg >> 8) & 0xFF;
        m_down[note] = status == 0x90 && ((msg >> 16) & 0xFF) != 0;
    }

    // Hands, lowest note first, the packed release (Note On, velocity 0) of every note
    // still down, then the pedal's lift if it is down, and forgets them.
    template <class Fn>
    void ReleaseAll(Fn&& deliver) {
        for (uint32_t note = 0; note < 256; ++note) {
            if (!m_down[note]) continue;
            m_down[note] = false;
            deliver(0x90u | (note << 8));
        }
        if (m_pedal) deliver(0xB0u | (64u << 8));
        m_pedal = false;
    }

private:
    bool m_down[256] = {};
    bool m_pedal = false;
};

}  // namespace clavora
