#include "platform/midi/jack/JackSource.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <pthread.h>

#include <cstdio>
#include <memory>

#include "platform/midi/MidiMessage.h"
#include "platform/midi/MidiSources.h"

namespace clavora {

namespace {

constexpr const char* kClientName = "Clavora";
constexpr const char* kOwnPort = "Clavora";
constexpr const char* kDevicePort = "device 0";

// The next event of a port's buffer that the server filled in; false when none is left.
bool NextEvent(void* buffer, uint32_t count, uint32_t& index, jack_midi_event_t& event) {
    while (buffer && index < count) {
        if (jack_midi_event_get(&event, buffer, index++) == 0 && event.buffer) return true;
    }
    return false;
}

// What the program takes: messages of 1 to 3 bytes, without system exclusive, time
// code, clock or active sensing (they come many a second and are of no use here).
bool Wanted(const jack_midi_event_t& event) {
    if (event.size < 1 || event.size > 3) return false;
    const uint8_t status = event.buffer[0];
    return status != 0xF0 && status != 0xF1 && status != 0xF8 && status != 0xFE;
}

}  // namespace

bool JackSource::Open(MidiSink& sink) {
    if (m_client) return true;
    m_sink = &sink;
    if (!OpenClient()) return false;
    m_quit = false;
    m_watcher = std::thread(&JackSource::Watch, this);
    pthread_setname_np(m_watcher.native_handle(), "midi-watch");
    return true;
}

void JackSource::Close() {
    if (m_watcher.joinable()) {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_watcher.join();
    }
    if (!m_client) return;
    // Deactivated, the process callback runs no more: nothing reaches the sink after it.
    jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
}

// Opens the client, registers both ports and the callbacks and activates it, each step
// checked; on any failure nothing is left open.
bool JackSource::OpenClient() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
    if (!client) return false;
    jack_port_t* own = jack_port_register(client, kOwnPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_port_t* device = jack_port_register(client, kDevicePort, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    const bool ready = own && device && jack_set_process_callback(client, &JackSource::Process, this) == 0 &&
                       jack_set_thread_init_callback(client, &JackSource::ThreadStarted, this) == 0;
    if (!ready) {
        jack_client_close(client);
        return false;
    }
    jack_on_shutdown(client, &JackSource::Shutdown, this);
    // Without these notices the look at the ports comes as often as the watcher wakes.
    m_notified = jack_set_port_registration_callback(
                     client, [](jack_port_id_t, int, void* self) { PortsChanged(self); }, this) == 0 &&
                 jack_set_port_connect_callback(
                     client, [](jack_port_id_t, jack_port_id_t, int, void* self) { PortsChanged(self); },
                     this) == 0;
    m_client = client;
    m_ownPort = own;
    m_devicePort = device;
    m_clientName = jack_get_client_name(client);
    m_ownName = jack_port_name(own);
    m_deviceName = jack_port_name(device);
    m_rate = jack_get_sample_rate(client);
    m_serverGone.store(false);
    m_forward.store(false);
    m_cycleFrame.store(jack_last_frame_time(client));
    if (jack_activate(client) != 0) {
        jack_client_close(client);
        m_client = nullptr;
        m_ownPort = m_devicePort = nullptr;
        return false;
    }
    Relink(m_ownLinks);
    m_ownLinks.clear();
    m_lastLook = Clock::now();
    LookAtPorts();
    return true;
}

// Lets the client go: device 0 released, everything held released, the client closed.
void JackSource::DropClient(bool serverGone) {
    m_forward.store(false);
    if (!serverGone) m_ownLinks = Connections(m_ownPort);
    const bool hadDevice = !m_taken.empty();
    m_taken.clear();
    // A client that has stalled is taken out of the server's graph first, so that the
    // server no longer waits for it; its thread is then stopped and joined.
    if (!serverGone) jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
    m_ownPort = m_devicePort = nullptr;
    if (hadDevice) m_sink->DeviceGone(false);
    m_sink->SourceLost();
    m_nextTry = Clock::now() + kRetryPeriod;
}

// In the server's real-time cycle: the messages of both ports, in the order of their
// times within the cycle, packed and queued. Never waits, never allocates.
int JackSource::Process(uint32_t frames, void* arg) {
    auto* self = static_cast<JackSource*>(arg);
    // The server's library names its threads after ours: this one is told apart, once.
    thread_local bool named = false;
    if (!named) {
        pthread_setname_np(pthread_self(), "midi-jack-cycle");
        named = true;
    }
    self->m_cycleFrame.store(jack_last_frame_time(self->m_client), std::memory_order_relaxed);
    void* own = jack_port_get_buffer(self->m_ownPort, frames);
    void* device = self->m_forward.load(std::memory_order_seq_cst)
                       ? jack_port_get_buffer(self->m_devicePort, frames)
                       : nullptr;
    const uint32_t ownCount = own ? jack_midi_get_event_count(own) : 0;
    const uint32_t deviceCount = device ? jack_midi_get_event_count(device) : 0;
    uint32_t i = 0, j = 0;
    jack_midi_event_t a{}, b{};
    bool haveA = NextEvent(own, ownCount, i, a);
    bool haveB = NextEvent(device, deviceCount, j, b);
    while (haveA || haveB) {
        const bool fromOwn = haveA && (!haveB || a.time <= b.time);
        const jack_midi_event_t& e = fromOwn ? a : b;
        if (Wanted(e)) {
            if (const auto msg = PackMidiBytes(e.buffer, e.size))
                fromOwn ? self->m_sink->OwnMessage(*msg) : self->m_sink->DeviceMessage(*msg);
        }
        if (fromOwn)
            haveA = NextEvent(own, ownCount, i, a);
        else
            haveB = NextEvent(device, deviceCount, j, b);
    }
    self->m_cycles.fetch_add(1, std::memory_order_seq_cst);
    return 0;
}

// On a thread of the server's library when the server goes: only noted here.
void JackSource::Shutdown(void* self) {
    static_cast<JackSource*>(self)->m_serverGone.store(true);
    PortsChanged(self);
}

// The threads the server's library starts for our client.
void JackSource::ThreadStarted(void*) { pthread_setname_np(pthread_self(), "midi-jack"); }

// On JACK's notification thread: never waits for more than the watcher's brief hold.
void JackSource::PortsChanged(void* arg) {
    auto* self = static_cast<JackSource*>(arg);
    {
        std::lock_guard<std::mutex> hold(self->m_mutex);
        self->m_portsChanged = true;
    }
    self->m_wake.notify_one();
}

// True when the server's clock has gone on for more than kStallSeconds since our
// process callback last ran. A server that does not run (stopped, or without a
// driver's cycles) advances no frames, so it stalls nobody.
bool JackSource::Stalled(double& seconds) const {
    const uint32_t now = jack_last_frame_time(m_client);
    const auto behind = static_cast<int32_t>(now - m_cycleFrame.load(std::memory_order_relaxed));
    seconds = static_cast<double>(behind) / m_rate;
    return seconds > kStallSeconds;
}

// Until our process callback has run count more times, for at most a fifth of a second.
void JackSource::WaitCycles(uint64_t count) {
    const uint64_t until = m_cycles.load(std::memory_order_acquire) + count;
    for (int i = 0; i < 100 && m_cycles.load(std::memory_order_acquire) < until; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void JackSource::Watch() {
    std::unique_lock<std::mutex> hold(m_mutex);
    for (;;) {
        m_wake.wait_for(hold, kTendPeriod, [&] { return m_quit || m_portsChanged; });
        if (m_quit) return;
        const bool changed = m_portsChanged;
        m_portsChanged = false;
        hold.unlock();
        Tend(changed);
        hold.lock();
    }
}

void JackSource::Tend(bool portsChanged) {
    double behind = 0;
    if (m_client && m_serverGone.load()) {
        std::fprintf(stderr, "clavora: the JACK server has gone; MIDI input waits for one to run again\n");
        DropClient(true);
    } else if (m_client && Stalled(behind)) {
        std::fprintf(stderr,
                     "clavora: JACK MIDI client %s stalled: its cycle has not run for %.1f s while the "
                     "server's did; reopening it\n",
                     m_clientName.c_str(), behind);
        DropClient(false);
        m_nextTry = Clock::now();
    }
    if (!m_client) {
        if (Clock::now() < m_nextTry) return;
        m_nextTry = Clock::now() + kRetryPeriod;
        if (OpenClient()) std::fprintf(stderr, "clavora: JACK MIDI input open again as %s\n", m_clientName.c_str());
        return;
    }
    const auto now = Clock::now();
    if (portsChanged || now - m_lastLook >= (m_notified ? kLookPeriod : kTendPeriod) || (!m_taken.empty() && !m_linked)) {
        m_lastLook = now;
        LookAtPorts();
    }
}

std::unique_ptr<MidiSource> MakeJackMidiSource() { return std::make_unique<JackSource>(); }

}  // namespace clavora
