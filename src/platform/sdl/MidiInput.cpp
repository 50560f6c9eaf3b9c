#include "platform/sdl/MidiInput.h"

#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include "platform/common/MidiMessage.h"
#include "platform/common/WindowLock.h"
#include "platform/sdl/Quiet.h"

namespace clavora {

namespace {

// Our port for any source: client "Clavora", port "Clavora". The port that device 0 is
// connected to belongs to a client of its own, so that "Clavora" names one client.
constexpr const char* kClientName = "Clavora";
constexpr const char* kOwnPortName = "Clavora";
constexpr const char* kDeviceClientName = "Clavora device";
constexpr const char* kDeviceLinkName = "device 0";

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
    auto* input = static_cast<MidiInput*>(self);
    if (!bytes || !input->m_enabled.load(std::memory_order_acquire)) return;
    const auto msg = PackMidiBytes(bytes->data(), bytes->size());
    if (!msg || !input->m_queue.Push(*msg)) return;
    input->m_arrived.release();
}

// On the delivery thread: each message to the program in turn, under the window lock.
void MidiInput::DeliverQueued() {
    for (;;) {
        m_arrived.acquire();
        if (m_quit.load(std::memory_order_acquire)) return;
        uint32_t msg = 0;
        while (m_queue.Pop(msg))
            DeliverMidiIn(&MidiInput::Deliver, reinterpret_cast<uintptr_t>(this), msg);
    }
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
    if (!own && !device) m_enabled.store(false, std::memory_order_release);
    return own || device;
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

bool MidiInput::OpenDevicePort(int api) {
    try {
        m_failed.store(false);
        auto in = MakeInput(static_cast<RtMidi::Api>(api), kDeviceClientName, m_failed);
        std::vector<std::string> names;
        const unsigned count = in->getPortCount();
        for (unsigned i = 0; i < count; ++i) names.push_back(in->getPortName(i));
        const int index = ChooseMidiInPort(names, kClientName);
        if (index < 0 || m_failed.load()) return false;
        in->setCallback(&MidiInput::OnMessage, this);
        in->openPort(static_cast<unsigned>(index), kDeviceLinkName);
        if (m_failed.load() || !in->isPortOpen()) return false;
        m_deviceName = names[static_cast<size_t>(index)];
        m_device = std::move(in);
        return true;
    } catch (const RtMidiError&) {
        return false;
    }
}

void MidiInput::Disable() { m_enabled.store(false, std::memory_order_release); }

void MidiInput::Close() {
    // Destroying the inputs closes their ports and joins their threads; then nothing
    // is queued any more and the delivery thread can go.
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
