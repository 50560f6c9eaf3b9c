#include "platform/midi/rtmidi/MidiInput.h"

#include <rtmidi/RtMidi.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/midi/MidiMessage.h"
#include "platform/window/WindowLock.h"
#include "platform/common/Quiet.h"
#include "platform/common/Timing.h"

namespace clavora {

namespace {

// Our port for any source: client "Clavora", port "Clavora". The port that device 0 is
// connected to belongs to a client of its own, so that "Clavora" names one client.
constexpr const char* kOwnPortName = "Clavora";

// The MIDI system to use: the ALSA sequencer when this machine has one, else a JACK
// server when one is running, else none (RtMidi::UNSPECIFIED).
RtMidi::Api ChooseApi() {
    if (access("/dev/snd/seq", R_OK | W_OK) == 0) return RtMidi::LINUX_ALSA;
    if (JackServerRunning()) return RtMidi::UNIX_JACK;
    return RtMidi::UNSPECIFIED;
}

}  // namespace

MidiInput::MidiInput() = default;

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
    if (!msg) return;
    if (!m_queue.Push(*msg | mark)) {
        // Lost, perhaps a release: the delivery thread makes up for it once it has
        // emptied the queue, which is full, so it is busy and will look.
        m_overflowed.store(true, std::memory_order_release);
        return;
    }
    m_arrived.release();
}

void MidiInput::DeviceMessage(uint32_t msg) {
    if (!m_enabled.load(std::memory_order_acquire)) return;
    if (!m_queue.Push(msg | kFromDevice)) {
        m_overflowed.store(true, std::memory_order_release);
        return;
    }
    m_arrived.release();
}

void MidiInput::DeviceTaken() {
    m_firstNoteMarked.store(false);
    TimingLog().Mark("midi-device-taken");
}

void MidiInput::DeviceGone(bool handedOver) { QueueNotice(handedOver ? kDeviceHandedOver : kDeviceGone); }

void MidiInput::Overflow() {
    m_overflowed.store(true, std::memory_order_release);
    m_arrived.release();
}

// A notice waits for room rather than be lost: the watcher's threads are not real-time.
void MidiInput::QueueNotice(uint32_t notice) {
    while (!m_queue.Push(notice)) {
        std::unique_lock<std::mutex> hold(m_watchMutex);
        if (m_watchWake.wait_for(hold, std::chrono::milliseconds(5), [&] { return m_watchQuit; })) return;
    }
    m_arrived.release();
}

// On the delivery thread: each message to the program in turn, under the window lock.
void MidiInput::DeliverQueued() {
    for (;;) {
        m_arrived.acquire();
        if (m_quit.load(std::memory_order_acquire)) return;
        uint32_t entry = 0;
        while (m_queue.Pop(entry)) DeliverOne(entry);
        if (m_overflowed.exchange(false, std::memory_order_acq_rel)) ReleaseAfterOverflow();
    }
}

// Messages were lost, releases perhaps: every key that MIDI input holds comes up, as
// if its release had arrived.
void MidiInput::ReleaseAfterOverflow() {
    const auto self = reinterpret_cast<uintptr_t>(this);
    auto release = [&](uint32_t msg) { DeliverMidiIn(&MidiInput::Deliver, self, msg); };
    m_held.ReleaseAll(release);
    m_heldOwn.ReleaseAll(release);
    const uint64_t count = m_overflows.fetch_add(1) + 1;
    // Said once, then every thousandth time: a flood must not flood the terminal too.
    if (count == 1 || count % 1000 == 0)
        std::fprintf(stderr, "clavora: MIDI input fell behind and lost messages (%llu times); held keys released\n",
                     static_cast<unsigned long long>(count));
}

void MidiInput::DeliverOne(uint32_t entry) {
    const auto self = reinterpret_cast<uintptr_t>(this);
    if (entry == kDeviceGone) {
        // Every message of device 0 came before this notice: what it still holds, it
        // will never release.
        m_held.ReleaseAll([&](uint32_t release) { DeliverMidiIn(&MidiInput::Deliver, self, release); });
        TimingLog().Mark("midi-device-released");
        return;
    }
    if (entry == kDeviceHandedOver) {
        // Its releases come through our own port now.
        m_held.ReleaseAll([](uint32_t) {});
        return;
    }
    const uint32_t msg = entry & 0xFFFFFF;
    if (entry & kFromDevice) {
        m_held.Track(msg);
        TimingLog().MarkOnce("midi-device-first-message", m_firstNoteMarked);
    } else {
        m_heldOwn.Track(msg);
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
    if (m_own || m_device || m_alsa.IsOpen()) return true;
    m_callback = callback;
    m_instance = instance;
    RtMidi::Api api = ChooseApi();
    if (api == RtMidi::UNSPECIFIED) return false;
    m_enabled.store(true, std::memory_order_release);
    if (!m_delivery.joinable()) m_delivery = std::thread(&MidiInput::DeliverQueued, this);
    bool own = OpenOwnPort(api);
    // On the ALSA sequencer device 0 is watched by being told; where that cannot be
    // had, by looking at the ports as on JACK.
    bool device = api == RtMidi::LINUX_ALSA && m_alsa.Open(this, kOwnClient);
    if (device) {
        m_api = api;
        return true;
    }
    device = OpenDevicePort(api);
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

}  // namespace

std::unique_ptr<RtMidiIn> MidiInput::MakeInput(int api, const char* client, std::atomic<bool>& failed) {
    auto in = std::make_unique<RtMidiIn>(static_cast<RtMidi::Api>(api), client);
    in->setErrorCallback(&NoteError, &failed);
    in->ignoreTypes(true, true, true);  // system exclusive, timing and active sensing
    return in;
}

bool MidiInput::OpenOwnPort(int api) {
    try {
        m_failed.store(false);
        auto in = MakeInput(api, kOwnClient, m_failed);
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
    m_alsa.Close();
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
