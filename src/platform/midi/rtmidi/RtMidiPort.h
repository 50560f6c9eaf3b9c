// Our own input port "Clavora" on the ALSA sequencer, through RtMidi: a port that any
// MIDI source can be connected to. Each message of 1 to 3 bytes goes to the sink packed,
// on RtMidi's thread; system exclusive, timing and active sensing are left out.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/midi/MidiSource.h"

class RtMidiIn;

namespace clavora {

class RtMidiPort {
public:
    RtMidiPort();
    ~RtMidiPort();
    RtMidiPort(const RtMidiPort&) = delete;
    RtMidiPort& operator=(const RtMidiPort&) = delete;

    // Opens client `client` with port `port` on the sequencer; false when it cannot.
    bool Open(const char* client, const char* port, MidiSink& sink);
    // Closes the port and joins RtMidi's thread: nothing reaches the sink after it.
    void Close();

private:
    static void OnMessage(double stamp, std::vector<unsigned char>* bytes, void* self);

    std::unique_ptr<RtMidiIn> m_in;
    MidiSink* m_sink = nullptr;
    std::atomic<bool> m_failed{false};
};

}  // namespace clavora
