#include "platform/sdl/MidiInput.h"

#include <rtmidi/RtMidi.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>

#include "platform/common/MidiMessage.h"
#include "platform/common/WindowLock.h"
#include "platform/sdl/Quiet.h"
#include "platform/sdl/Timing.h"

namespace clavora {

namespace {

// Our port for any source: client "Clavora", port "Clavora". The port that device 0 is
// connected to belongs to a client of its own, so that "Clavora" names one client.
constexpr const char* kClientName = "Clavora";
constexpr const char* kOwnPortName = "Clavora";
constexpr const char* kDeviceClientName = "Clavora device";
constexpr const char* kDeviceLinkName = "device 0";
// Our own port by its full JACK name, to find the sources a user connected to it.
constexpr const char* kOwnJackPort = "Clavora:Clavora";

// The MIDI system to use: the ALSA sequencer when this machine has one, else a JACK
// server when one is running, else none (RtMidi::UNSPECIFIED).
RtMidi::Api ChooseApi() {
    if (access("/dev/snd/seq", R_OK | W_OK) == 0) return RtMidi::LINUX_ALSA;
    if (JackServerRunning()) return RtMidi::UNIX_JACK;
    return RtMidi::UNSPECIFIED;
}

}  // namespace

MidiInput::MidiInput(Timing* timing) : m_timing(timing) {}

MidiInput::~MidiInput() {
    m_enabled.store(false);
    Close();
}

// On the MIDI system's thread: queue and go.
void MidiInput::OnMessage(double, std::vector<unsigned char>* bytes, void* self) {
    static_cast<MidiInput*>(self)->Queue(bytes, 0);
}

void MidiInput::OnDeviceMessage(double, std::vector<unsigned char>* bytes, void* self) {
    static_cast<MidiInput*>(self)->Queue(bytes, kFromDevice);
}

void MidiInput::Queue(std::vector<unsigned char>* bytes, uint32_t mark) {
    if (!bytes || !m_enabled.load(std::memory_order_acquire)) return;
    const auto msg = PackMidiBytes(bytes->data(), bytes->size());
    if (!msg || !m_queue.Push(*msg | mark)) return;
    m_arrived.release();
}

// On the delivery thread: each message to the program in turn, under the window lock.
void MidiInput::DeliverQueued() {
    for (;;) {
        m_arrived.acquire();
        if (m_quit.load(std::memory_order_acquire)) return;
        uint32_t entry = 0;
        while (m_queue.Pop(entry)) DeliverOne(entry);
    }
}

void MidiInput::DeliverOne(uint32_t entry) {
    const auto self = reinterpret_cast<uintptr_t>(this);
    if (entry == kDeviceGone) {
        // Every message of device 0 came before this notice: what it still holds, it
        // will never release.
        m_held.ReleaseAll([&](uint32_t release) { DeliverMidiIn(&MidiInput::Deliver, self, release); });
        if (m_timing) m_timing->Mark("midi-device-released");
        return;
    }
    const uint32_t msg = entry & 0xFFFFFF;
    if (entry & kFromDevice) {
        m_held.Track(msg);
        if (m_timing) m_timing->MarkOnce("midi-device-first-message", m_firstNoteMarked);
    }
    DeliverMidiIn(&MidiInput::Deliver, self, msg);
}

// Runs under the window lock, so the check of m_enabled and the call are one step with
// respect to Disable.
void MidiInput::Deliver(void*, uint32_t wMsg, uintptr_t self, uintptr_t msg, uintptr_t) {
    auto* input = reinterpret_cast<MidiInput*>(self);
    if (!input->m_enabled.load(std::memory_order_acquire) || !input->m_callback) return;
    input->m_callback(nullptr, wMsg, input->m_instance, msg, 0);
}

bool MidiInput::Open(MidiInCallback callback, uintptr_t instance) {
    if (m_own || m_device) return true;
    m_callback = callback;
    m_instance = instance;
    RtMidi::Api api = ChooseApi();
    if (api == RtMidi::UNSPECIFIED) return false;
    m_enabled.store(true, std::memory_order_release);
    if (!m_delivery.joinable()) m_delivery = std::thread(&MidiInput::DeliverQueued, this);
    bool own = OpenOwnPort(api);
    bool device = OpenDevicePort(api);
    if (!own && !device && api == RtMidi::LINUX_ALSA && JackServerRunning()) {
        // A sequencer that would not open, but a JACK server that runs: use that.
        api = RtMidi::UNIX_JACK;
        own = OpenOwnPort(api);
        device = OpenDevicePort(api);
    }
    if (!own && !device) {
        m_enabled.store(false, std::memory_order_release);
        return false;
    }
    m_api = api;
    if (m_device) {
        if (api == RtMidi::UNIX_JACK && m_links.NotifyPortChanges(&MidiInput::PortsChanged, this))
            m_lookPeriod = kJackLookPeriod;
        m_watcher = std::thread(&MidiInput::Watch, this);
        pthread_setname_np(m_watcher.native_handle(), "midi-watch");
    }
    return true;
}

void MidiInput::OpenWithoutPorts(MidiInCallback callback, uintptr_t instance) {
    if (m_own || m_device || m_delivery.joinable()) return;
    m_callback = callback;
    m_instance = instance;
    m_enabled.store(true, std::memory_order_release);
    m_delivery = std::thread(&MidiInput::DeliverQueued, this);
}

namespace {

// Errors and warnings after construction come here instead of the terminal; the flag
// tells the opening code that a step failed.
void NoteError(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        static_cast<std::atomic<bool>*>(failed)->store(true);
}

std::unique_ptr<RtMidiIn> MakeInput(RtMidi::Api api, const char* client,
                                    std::atomic<bool>& failed) {
    auto in = std::make_unique<RtMidiIn>(api, client);
    in->setErrorCallback(&NoteError, &failed);
    in->ignoreTypes(true, true, true);  // system exclusive, timing and active sensing
    return in;
}

}  // namespace

bool MidiInput::OpenOwnPort(int api) {
    try {
        m_failed.store(false);
        auto in = MakeInput(static_cast<RtMidi::Api>(api), kClientName, m_failed);
        in->setCallback(&MidiInput::OnMessage, this);
        in->openVirtualPort(kOwnPortName);
        // isPortOpen() knows nothing of virtual ports; the error flag does.
        if (m_failed.load()) return false;
        m_own = std::move(in);
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

// Makes device 0's input and takes device 0 if there is one now; true when the input
// could be made, with or without a device.
bool MidiInput::OpenDevicePort(int api) {
    try {
        m_failed.store(false);
        auto in = MakeInput(static_cast<RtMidi::Api>(api), kDeviceClientName, m_failed);
        if (m_failed.load()) return false;
        in->setCallback(&MidiInput::OnDeviceMessage, this);
        m_device = std::move(in);
    } catch (const RtMidiError&) {
        return false;
    }
    m_api = api;
    LookAtPorts();
    return true;
}

// The watching thread: a look at the ports whenever they change or a period has gone
// by, until Close.
void MidiInput::Watch() {
    std::unique_lock<std::mutex> hold(m_watchMutex);
    for (;;) {
        m_watchWake.wait_for(hold, m_lookPeriod, [&] { return m_watchQuit || m_portsChanged; });
        if (m_watchQuit) return;
        m_portsChanged = false;
        hold.unlock();
        LookAtPorts();
        hold.lock();
    }
}

// On JACK's notification thread: never waits for more than the watcher's brief hold.
void MidiInput::PortsChanged(void* self) {
    auto* input = static_cast<MidiInput*>(self);
    {
        std::lock_guard<std::mutex> hold(input->m_watchMutex);
        input->m_portsChanged = true;
    }
    input->m_watchWake.notify_one();
}

void MidiInput::LookAtPorts() {
    std::vector<std::string> names;
    try {
        const unsigned count = m_device->getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(m_device->getPortName(i));
    } catch (const RtMidiError&) {
        return;
    }
    if (!m_deviceName.empty()) {
        if (std::find(names.begin(), names.end(), m_deviceName) != names.end()) return;
        LetDeviceGo();
    }
    TakeDevice(names);
}

bool MidiInput::TakeDevice(const std::vector<std::string>& names) {
    if (names.empty()) return false;
    std::vector<std::string> byHand;
    if (m_api == RtMidi::UNIX_JACK) byHand = m_links.ConnectedTo(kOwnJackPort);
    const int index = ChooseMidiInPort(names, kClientName, byHand);
    if (index < 0) return false;
    try {
        m_failed.store(false);
        m_device->openPort(static_cast<unsigned>(index), kDeviceLinkName);
        if (m_failed.load() || !m_device->isPortOpen()) {
            m_device->closePort();
            return false;
        }
    } catch (const RtMidiError&) {
        return false;
    }
    m_deviceName = names[static_cast<size_t>(index)];
    m_firstNoteMarked.store(false);
    if (m_timing) m_timing->Mark("midi-device-taken");
    return true;
}

// Device 0's port has gone: no message of it arrives after closePort, so the notice
// queued then comes after the last of them.
void MidiInput::LetDeviceGo() {
    try {
        m_device->closePort();
    } catch (const RtMidiError&) {
    }
    m_deviceName.clear();
    while (!m_queue.Push(kDeviceGone)) {
        // The queue is full: the delivery thread is emptying it.
        std::unique_lock<std::mutex> hold(m_watchMutex);
        if (m_watchWake.wait_for(hold, std::chrono::milliseconds(5), [&] { return m_watchQuit; }))
            return;
    }
    m_arrived.release();
}

void MidiInput::Disable() { m_enabled.store(false, std::memory_order_release); }

void MidiInput::Close() {
    // The watcher first, so that nothing opens a port behind us, then JACK's notices
    // of ports (they only wake the watcher); then destroying the inputs closes their
    // ports and joins their threads; then nothing is queued any more and the delivery
    // thread can go.
    if (m_watcher.joinable()) {
        {
            std::lock_guard<std::mutex> hold(m_watchMutex);
            m_watchQuit = true;
        }
        m_watchWake.notify_all();
        m_watcher.join();
    }
    m_links.Close();
    try {
        m_device.reset();
        m_own.reset();
    } catch (const RtMidiError&) {
    }
    if (m_delivery.joinable()) {
        m_quit.store(true, std::memory_order_release);
        m_arrived.release();
        m_delivery.join();
    }
}

}  // namespace clavora
