// MIDI input on a JACK server, through one client of our own, "Clavora" (or the name
// the server gave it beside another instance, read back from the server), with two
// input ports: "Clavora", that the user connects any source to, and "device 0", that we
// connect device 0 to. Its process callback only packs and queues what arrives.
//
// A watching thread keeps device 0 (on every notice of a port or connection that came
// or went, and every few seconds in case a notice was lost) and keeps the client alive:
// when the server shuts down it closes the client, releases what was held and opens
// it again once a server runs; when the server runs but our process callback has not
// run for a second (the server then waits for us in every cycle, and every other JACK
// program glitches), it closes the client and opens it again, and says so on standard
// error. The connections the user made to our own port are made again after that.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/midi/MidiSource.h"

struct _jack_client;
struct _jack_port;

namespace clavora {

class JackSource final : public MidiSource {
public:
    // How often the watching thread wakes: it looks after the client this often, so a
    // stalled client is noticed kStallSeconds to kStallSeconds + this after its last
    // cycle. (Waking twice as often doubles what the idle program costs.)
    static constexpr std::chrono::milliseconds kTendPeriod{500};
    // How often it looks at the ports when no notice has come.
    static constexpr std::chrono::milliseconds kLookPeriod{5000};
    // How long our cycle may not have run while the server's did.
    static constexpr double kStallSeconds = 1.0;
    // How often a client that is gone is tried again.
    static constexpr std::chrono::milliseconds kRetryPeriod{1000};

    JackSource() = default;
    ~JackSource() override { Close(); }
    JackSource(const JackSource&) = delete;
    JackSource& operator=(const JackSource&) = delete;

    bool Open(MidiSink& sink) override;
    void Close() override;

private:
    using Clock = std::chrono::steady_clock;

    // The client (JackSource.cpp).
    bool OpenClient();
    void DropClient(bool serverGone);
    static int Process(uint32_t frames, void* self);
    static void Shutdown(void* self);
    static void ThreadStarted(void* self);
    static void PortsChanged(void* self);
    void Watch();
    void Tend(bool portsChanged);
    bool Stalled(double& seconds) const;
    void WaitCycles(uint64_t count);

    // Device 0 (JackDevice.cpp).
    std::vector<std::string> SourcePorts() const;
    std::vector<std::string> Connections(_jack_port* port) const;
    void LookAtPorts();
    void TakeDevice(const std::vector<std::string>& names);
    void LetDeviceGo(bool handedOver, bool linked);
    void Relink(const std::vector<std::string>& sources);

    MidiSink* m_sink = nullptr;
    _jack_client* m_client = nullptr;
    _jack_port* m_ownPort = nullptr;
    _jack_port* m_devicePort = nullptr;
    // Our names as the server has them ("Clavora", "Clavora:Clavora", "Clavora:device 0").
    std::string m_clientName, m_ownName, m_deviceName;
    uint32_t m_rate = 48000;
    bool m_notified = false;  // the server tells us of ports and connections
    // The sources the user had connected to our own port when the client was dropped.
    std::vector<std::string> m_ownLinks;

    // Device 0: its full port name (empty while there is none), when it was taken and
    // whether our connection to it was seen since (the server shows a connection only
    // a cycle or so after it was made).
    static constexpr std::chrono::milliseconds kLinkGrace{1000};
    std::string m_taken;
    Clock::time_point m_takenAt;
    bool m_linked = false;
    Clock::time_point m_lastLook;
    Clock::time_point m_nextTry;

    // Shared with the process callback and the server's notices.
    std::atomic<bool> m_forward{false};  // the device port's messages go to the sink
    std::atomic<uint32_t> m_cycleFrame{0};  // the server's frame at our last cycle
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<bool> m_serverGone{false};

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_portsChanged = false;
    std::thread m_watcher;
};

}  // namespace clavora
