#include "platform/midi/rtmidi/RtMidiPort.h"

#include <rtmidi/RtMidi.h>

#include "platform/midi/MidiMessage.h"

namespace clavora {

namespace {

// Errors and warnings after construction come here instead of the terminal; the flag
// tells the opening code that a step failed.
void NoteError(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        static_cast<std::atomic<bool>*>(failed)->store(true);
}

}  // namespace

RtMidiPort::RtMidiPort() = default;

RtMidiPort::~RtMidiPort() { Close(); }

// On RtMidi's thread: packed once, and handed on.
void RtMidiPort::OnMessage(double, std::vector<unsigned char>* bytes, void* self) {
    if (!bytes) return;
    if (const auto msg = PackMidiBytes(bytes->data(), bytes->size()))
        static_cast<RtMidiPort*>(self)->m_sink->OwnMessage(*msg);
}

bool RtMidiPort::Open(const char* client, const char* port, MidiSink& sink) {
    if (m_in) return true;
    m_sink = &sink;
    try {
        m_failed.store(false);
        auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, client);
        in->setErrorCallback(&NoteError, &m_failed);
        in->ignoreTypes(true, true, true);  // system exclusive, timing and active sensing
        in->setCallback(&RtMidiPort::OnMessage, this);
        in->openVirtualPort(port);
        // isPortOpen() knows nothing of virtual ports; the error flag does.
        if (m_failed.load()) return false;
        m_in = std::move(in);
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

void RtMidiPort::Close() {
    try {
        m_in.reset();
    } catch (const RtMidiError&) {
    }
}

}  // namespace clavora
