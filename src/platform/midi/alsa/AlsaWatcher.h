// Device 0 on the ALSA sequencer, told rather than asked. A sequencer client of our own,
// "Clavora device", has one port that takes device 0's messages and the sequencer's
// announcements (client 0, port 1) of ports and connections that come and go, in one
// stream in the order they happened: the notice that device 0's port has gone comes
// after the last of its messages. Nothing runs while nothing is played or plugged.
//
// Device 0 is known by its address (client:port), never by its name alone, so a port
// that goes and a namesake that comes back at the same address between two looks is
// seen as the two events it is. A source that the user connected by hand to our port
// "Clavora" already plays through it, so it is never device 0 as well, also when the
// connection is made after it was taken.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/MidiSource.h"

namespace clavora {

class AlsaWatcher {
public:
    AlsaWatcher() = default;
    ~AlsaWatcher() { Close(); }
    AlsaWatcher(const AlsaWatcher&) = delete;
    AlsaWatcher& operator=(const AlsaWatcher&) = delete;

    // Opens our client, takes device 0 if there is one now, and starts listening.
    // ownClient names the client of our port for any source ("Clavora"). False when
    // the sequencer cannot be had.
    bool Open(MidiSink* sink, const char* ownClient);
    // Stops listening and closes our client: nothing is reported after it.
    void Close();
    bool IsOpen() const { return m_seq != nullptr; }

private:
    struct Addr {
        int client = -1;
        int port = -1;
        bool operator==(const Addr&) const = default;
    };

    // One port of the sequencer as one look sees it.
    struct Port {
        int client;
        int port;
        std::string clientName;
        std::string portName;
        unsigned caps;
        unsigned type;
        int pid;
        std::string FullName() const;
        bool IsSource() const;
    };

    void Run();
    void ReadEvents();
    std::vector<Port> ListPorts();
    std::vector<Addr> ConnectedByHand(const std::vector<Port>& ports);
    void Look();
    bool Take(const Addr& addr);
    void Let(bool handedOver);

    void* m_seq = nullptr;  // snd_seq_t
    int m_port = -1;
    MidiSink* m_sink = nullptr;
    const char* m_ownClient = "";
    Addr m_device;
    int m_quitPipe[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace clavora
