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

}  // namespace clavora
