#include "platform/midi/MidiMessage.h"

#include <algorithm>
#include <cctype>

namespace clavora {

std::optional<uint32_t> PackMidiBytes(const uint8_t* bytes, size_t count) {
    if (count < 1 || count > 3) return std::nullopt;
    uint32_t msg = 0;
    for (size_t i = 0; i < count; ++i) msg |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return msg;
}

SynthEvent DecodeShortMessage(uint32_t msg) {
    const uint8_t status = msg & 0xFF;
    const uint8_t d1 = (msg >> 8) & 0x7F;
    const uint8_t d2 = (msg >> 16) & 0x7F;
    SynthEvent e;
    if (status < 0x80 || status >= 0xF0) return e;  // data or system bytes
    e.channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        e.kind = SynthEvent::kNoteOff;
        e.key = d1;
        break;
    case 0x90:
        e.kind = d2 == 0 ? SynthEvent::kNoteOff : SynthEvent::kNoteOn;
        e.key = d1;
        e.value = d2;
        break;
    case 0xA0:
        e.kind = SynthEvent::kKeyPressure;
        e.key = d1;
        e.value = d2;
        break;
    case 0xB0:
        e.kind = SynthEvent::kControl;
        e.key = d1;
        e.value = d2;
        break;
    case 0xC0:
        e.kind = SynthEvent::kProgram;
        e.value = d1;
        break;
    case 0xD0:
        e.kind = SynthEvent::kChannelPressure;
        e.value = d1;
        break;
    default:  // 0xE0
        e.kind = SynthEvent::kPitchBend;
        e.value = static_cast<uint16_t>(d1 | (d2 << 7));
        break;
    }
    return e;
}

namespace {

bool ContainsNoCase(std::string_view text, std::string_view word) {
    auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end();
}

bool StartsWith(std::string_view text, std::string_view head) {
    return text.size() >= head.size() && text.compare(0, head.size(), head) == 0;
}

// Ports that carry no one's playing: the ALSA sequencer's own client 0 ("System:Timer
// 0:0", "System:Announce 0:1", the notices of ports coming and going) and the sequencer
// clients of the PipeWire sound server ("PipeWire-System", "PipeWire-RT-Event"). JACK's
// "system:midi_capture_1" is a hardware port and stays a choice.
bool IsServicePort(std::string_view name) {
    return StartsWith(name, "System:") || StartsWith(name, "PipeWire-");
}

}  // namespace

int ChooseMidiInPort(const std::vector<std::string>& names, std::string_view ownClient,
                     const std::vector<std::string>& connectedByHand) {
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (ContainsNoCase(name, "through") || IsServicePort(name)) continue;
        if (std::find(connectedByHand.begin(), connectedByHand.end(), name) !=
            connectedByHand.end())
            continue;
        // Port names read "client:port ..." on both the ALSA sequencer and JACK; our
        // clients are named ownClient or ownClient and a word ("Clavora device").
        if (!ownClient.empty() && name.size() > ownClient.size() &&
            name.compare(0, ownClient.size(), ownClient) == 0 &&
            (name[ownClient.size()] == ':' || name[ownClient.size()] == ' '))
            continue;
        return static_cast<int>(i);
    }
    return -1;
}

}  // namespace clavora
