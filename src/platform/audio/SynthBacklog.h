// The messages the synthesizer has not taken yet, kept as the state they leave behind
// rather than as a stream: per channel its program, its controllers (the sustain pedal
// among them), pitch bend and pressure, and each key's last word, held with its
// velocity or released. Fixed size; it never allocates, however many messages fold in.
#pragma once

#include <cstdint>

#include "platform/midi/MidiMessage.h"

namespace clavora {

class SynthBacklog {
public:
    void Add(const SynthEvent& event);
    void Clear();
    // Nothing added since the last Clear.
    bool Empty() const { return !m_touched; }

    // Onto a synthesizer that has sounded nothing yet: per channel its program (if one
    // was chosen), its controllers (a sustain pedal only when down), then each held note
    // with its velocity.
    template <class Fn>
    void Replay(Fn&& apply) const {
        for (uint8_t ch = 0; ch < 16; ++ch) {
            if (m_program[ch] >= 0) apply(Event(SynthEvent::kProgram, ch, 0, m_program[ch]));
            for (uint8_t c = 0; c < 120; ++c) {
                if (m_control[ch][c] >= 0 && (c != kSustain || m_control[ch][c] >= 64))
                    apply(Event(SynthEvent::kControl, ch, c, m_control[ch][c]));
            }
            ReplayKeys(ch, false, apply);
        }
    }

    // Onto a synthesizer that sounds: everything that changed, so that it ends where the
    // messages would have left it. Per channel a reset of its controllers or an end of
    // all its notes first (when one came), then program, controllers, bend, pressure,
    // and last each key touched: released keys end, held ones sound.
    template <class Fn>
    void CatchUp(Fn&& apply) const {
        for (uint8_t ch = 0; ch < 16; ++ch) {
            if (m_resetControls[ch]) apply(Event(SynthEvent::kControl, ch, 121, 0));
            if (m_allOff[ch] != 0) apply(Event(SynthEvent::kControl, ch, m_allOff[ch], 0));
            if (m_program[ch] >= 0) apply(Event(SynthEvent::kProgram, ch, 0, m_program[ch]));
            for (uint8_t c = 0; c < 120; ++c) {
                if (m_control[ch][c] >= 0) apply(Event(SynthEvent::kControl, ch, c, m_control[ch][c]));
            }
            if (m_bend[ch] >= 0) apply(Event(SynthEvent::kPitchBend, ch, 0, m_bend[ch]));
            if (m_pressure[ch] >= 0)
                apply(Event(SynthEvent::kChannelPressure, ch, 0, m_pressure[ch]));
            ReplayKeys(ch, true, apply);
        }
    }

private:
    static constexpr uint8_t kSustain = 64;
    static constexpr uint8_t kReleased = 0x80;  // a key's state: released

    static SynthEvent Event(SynthEvent::Kind kind, uint8_t ch, uint8_t key, int value) {
        return SynthEvent{kind, ch, key, static_cast<uint16_t>(value)};
    }
    template <class Fn>
    void ReplayKeys(uint8_t ch, bool releases, Fn&& apply) const {
        for (uint8_t key = 0; key < 128; ++key) {
            const uint8_t state = m_key[ch][key];
            if (state == kReleased && releases) apply(Event(SynthEvent::kNoteOff, ch, key, 0));
            if (state != 0 && state != kReleased)
                apply(Event(SynthEvent::kNoteOn, ch, key, state));
        }
    }

    bool m_touched = false;
    int16_t m_program[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    int16_t m_control[16][120];   // -1: untouched; set in Clear
    int16_t m_bend[16];           // -1: untouched
    int16_t m_pressure[16];       // -1: untouched
    uint8_t m_key[16][128] = {};  // 0 untouched, kReleased, or the velocity it sounds with
    uint8_t m_allOff[16] = {};    // 0, or All Notes Off (123) or All Sound Off (120)
    bool m_resetControls[16] = {};

public:
    SynthBacklog() { Clear(); }
};

}  // namespace clavora
