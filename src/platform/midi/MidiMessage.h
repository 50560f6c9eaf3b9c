// MIDI short messages as the program packs them (status in the lowest byte, first data
// byte above it, second above that), and the choice of the MIDI input port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace clavora {

// Packs the bytes of one incoming message (1 to 3 bytes; status byte first). Longer
// messages (system exclusive) and empty ones give nothing.
std::optional<uint32_t> PackMidiBytes(const uint8_t* bytes, size_t count);

// What a packed short message asks the synthesizer to do.
struct SynthEvent {
    enum Kind : uint8_t {
        kNone,          // not a channel message, or one the synthesizer has no use for
        kNoteOn,        // key, value = velocity 1..127
        kNoteOff,       // key (a Note On with velocity 0 is one too)
        kProgram,       // value = program
        kControl,       // key = controller number, value = controller value
        kPitchBend,     // value = 0..16383, centre 8192
        kChannelPressure,  // value
        kKeyPressure,   // key, value
    };
    Kind kind = kNone;
    uint8_t channel = 0;
    uint8_t key = 0;
    uint16_t value = 0;
};

SynthEvent DecodeShortMessage(uint32_t msg);

// Index of "device 0" among the names of the MIDI input ports: the first port that is
// neither a through port (a port that only echoes what others send it), nor a port of
// one of our own clients, named ownClient or ownClient, a space and more, nor one of
// connectedByHand (the sources that the user has connected to our own port: they
// already play, and taking them as device 0 too would sound each of their notes twice).
// -1 when there is none.
int ChooseMidiInPort(const std::vector<std::string>& names, std::string_view ownClient,
                     const std::vector<std::string>& connectedByHand = {});

// The messages the synthesizer missed while it was not yet there, kept as the state they
// leave behind: the last program of every channel, its sustain pedal when down, and the
// notes still held. Fixed size; it never allocates.
class SynthBacklog {
public:
    void Add(const SynthEvent& event);
    void Clear();
    bool Empty() const;

    // Hands the state to apply, in this order: per channel its program (if one was
    // chosen), its sustain pedal (if down), then each held note with its velocity.
    template <class Fn>
    void Replay(Fn&& apply) const {
        for (int ch = 0; ch < 16; ++ch) {
            if (m_program[ch] >= 0) {
                apply(SynthEvent{SynthEvent::kProgram, static_cast<uint8_t>(ch), 0,
                                 static_cast<uint16_t>(m_program[ch])});
            }
            if (m_sustain[ch] >= 64)
                apply(SynthEvent{SynthEvent::kControl, static_cast<uint8_t>(ch), 64, m_sustain[ch]});
            for (int key = 0; key < 128; ++key) {
                if (m_velocity[ch][key] != 0) {
                    apply(SynthEvent{SynthEvent::kNoteOn, static_cast<uint8_t>(ch),
                                     static_cast<uint8_t>(key), m_velocity[ch][key]});
                }
            }
        }
    }

private:
    int16_t m_program[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    uint8_t m_velocity[16][128] = {};
    uint8_t m_sustain[16] = {};
};

}  // namespace clavora
