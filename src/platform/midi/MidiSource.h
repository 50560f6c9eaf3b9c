// One MIDI system that MIDI input can listen on (the ALSA sequencer, a JACK server).
// A source offers two inputs: "device 0", the first port that is neither a through
// port nor one of our own, which it finds and connects by itself and lets go when it
// goes; and a port of our own, "Clavora", that the user connects any source to. It
// hands what arrives, packed once (status in the lowest byte), to a sink, on threads
// of its own that must never wait for the window.
#pragma once

#include <cstdint>
#include <memory>

namespace clavora {

// What a source reports, on its own threads. None of these waits for long.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    // One packed message of device 0, or of a source connected to our own port.
    virtual void DeviceMessage(uint32_t msg) = 0;
    virtual void OwnMessage(uint32_t msg) = 0;
    // A new device 0 is connected.
    virtual void DeviceTaken() = 0;
    // Device 0 went (its port, or our connection to it), after the last of its
    // messages: what it held is to be released. handedOver: it plays through our own
    // port now, and what it held will be released through there.
    virtual void DeviceGone(bool handedOver) = 0;
    // Messages meant for us were dropped: what MIDI input holds is to be released.
    virtual void Overflow() = 0;
    // The MIDI system went (a JACK server that shut down), after the last of its
    // messages: what MIDI input holds is to be released, device 0's and our port's.
    virtual void SourceLost() = 0;
};

class MidiSource {
public:
    virtual ~MidiSource() = default;
    // Opens our ports, takes device 0 if there is one now, and starts watching; false
    // when this MIDI system is not there (then nothing was left open).
    virtual bool Open(MidiSink& sink) = 0;
    // Closes everything: nothing reaches the sink after it. Waits for the source's
    // threads, so never called under the window lock.
    virtual void Close() = 0;
};

// One entry of the table of sources, in order of preference: the first that opens is
// the one MIDI input listens on.
struct MidiSourceKind {
    const char* name;  // as CLAVORA_MIDI names it
    std::unique_ptr<MidiSource> (*make)();
};

}  // namespace clavora
