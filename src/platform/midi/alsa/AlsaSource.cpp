// MIDI input on the ALSA sequencer: our own port "Clavora" (client "Clavora") through
// RtMidi, and device 0 watched and connected by a client of our own, "Clavora device",
// that the sequencer tells of every port and connection that comes or goes.
#include <unistd.h>

#include <memory>

#include "platform/midi/MidiSources.h"
#include "platform/midi/alsa/AlsaWatcher.h"
#include "platform/midi/rtmidi/RtMidiPort.h"

namespace clavora {

namespace {

constexpr const char* kOwnClient = "Clavora";
constexpr const char* kOwnPort = "Clavora";

class AlsaSource final : public MidiSource {
public:
    ~AlsaSource() override { Close(); }

    bool Open(MidiSink& sink) override {
        // A machine without the sequencer's device has no sequencer to open; asking
        // RtMidi anyway would print ALSA's complaint on the terminal.
        if (access("/dev/snd/seq", R_OK | W_OK) != 0) return false;
        const bool own = m_own.Open(kOwnClient, kOwnPort, sink);
        const bool device = m_watcher.Open(&sink, kOwnClient);
        return own || device;
    }

    void Close() override {
        m_watcher.Close();
        m_own.Close();
    }

private:
    RtMidiPort m_own;
    AlsaWatcher m_watcher;
};

}  // namespace

std::unique_ptr<MidiSource> MakeAlsaMidiSource() { return std::make_unique<AlsaSource>(); }

}  // namespace clavora
