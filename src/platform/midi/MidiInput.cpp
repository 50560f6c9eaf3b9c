#include "platform/midi/MidiInput.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/common/Timing.h"
#include "platform/midi/MidiMessage.h"
#include "platform/window/WindowLock.h"

namespace clavora {

MidiInput::MidiInput() = default;

MidiInput::~MidiInput() {
    m_enabled.store(false);
    Close();
}

bool MidiInput::Open(const MidiSourceKind* table, size_t count, MidiInCallback callback,
                     uintptr_t instance) {
    if (m_source) return true;
    const char* wanted = std::getenv("CLAVORA_MIDI");
    if (wanted && *wanted) {
        bool known = false;
        for (size_t i = 0; i < count; ++i) known = known || std::strcmp(table[i].name, wanted) == 0;
        if (!known) {
            std::fprintf(stderr, "clavora: CLAVORA_MIDI=%s is no MIDI system this build has; trying each\n", wanted);
            wanted = nullptr;
        }
    }
    StartDelivery(callback, instance);
    for (size_t i = 0; i < count; ++i) {
        if (wanted && *wanted && std::strcmp(table[i].name, wanted) != 0) continue;
        std::unique_ptr<MidiSource> source = table[i].make();
        if (!source || !source->Open(*this)) continue;
        m_source = std::move(source);
        m_sourceName = table[i].name;
        return true;
    }
    m_enabled.store(false, std::memory_order_release);
    return false;
}

void MidiInput::OpenWithoutPorts(MidiInCallback callback, uintptr_t instance) {
    if (m_source) return;
    StartDelivery(callback, instance);
}

void MidiInput::StartDelivery(MidiInCallback callback, uintptr_t instance) {
    m_callback = callback;
    m_instance = instance;
    m_enabled.store(true, std::memory_order_release);
    if (m_delivery.joinable()) return;
    m_delivery = std::thread(&MidiInput::DeliverQueued, this);
    pthread_setname_np(m_delivery.native_handle(), "midi-deliver");
}

void MidiInput::Inject(const std::vector<unsigned char>& bytes) {
    if (const auto msg = PackMidiBytes(bytes.data(), bytes.size())) OwnMessage(*msg);
}

// On a source's thread: queue and go.
void MidiInput::Push(uint32_t entry) {
    if (!m_enabled.load(std::memory_order_acquire)) return;
    if (!m_queue.Push(entry)) {
        // Lost, perhaps a release: the delivery thread makes up for it once it has
        // emptied the queue, which is full, so it is busy and will look.
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

// A notice waits for room rather than be lost: the threads that send them are not
// real-time ones.
void MidiInput::QueueNotice(uint32_t notice) {
    while (!m_queue.Push(notice)) {
        if (m_quit.load(std::memory_order_acquire)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
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

// The one hop: the message as the source packed it, to the callback.
void MidiInput::Hand(uint32_t msg) {
    std::lock_guard<std::mutex> hold(WindowLock());
    // Under the window lock, so the check and the call are one step with respect to
    // Disable.
    if (!m_enabled.load(std::memory_order_acquire) || !m_callback) return;
    if (m_wake) m_wake(m_wakeArg);
    m_callback(nullptr, MIM_DATA, m_instance, msg, 0);
}

void MidiInput::ReleaseHeld() {
    auto release = [&](uint32_t msg) { Hand(msg); };
    m_held.ReleaseAll(release);
    m_heldOwn.ReleaseAll(release);
}

// Messages were lost, releases perhaps: every key that MIDI input holds comes up, as
// if its release had arrived.
void MidiInput::ReleaseAfterOverflow() {
    ReleaseHeld();
    const uint64_t count = m_overflows.fetch_add(1) + 1;
    // Said once, then every thousandth time: a flood must not flood the terminal too.
    if (count == 1 || count % 1000 == 0)
        std::fprintf(stderr, "clavora: MIDI input fell behind and lost messages (%llu times); held keys released\n",
                     static_cast<unsigned long long>(count));
}

void MidiInput::DeliverOne(uint32_t entry) {
    if (entry == kDeviceGone) {
        // Every message of device 0 came before this notice: what it still holds, it
        // will never release.
        m_held.ReleaseAll([&](uint32_t release) { Hand(release); });
        TimingLog().Mark("midi-device-released");
        return;
    }
    if (entry == kDeviceHandedOver) {
        // Its releases come through our own port now.
        m_held.ReleaseAll([](uint32_t) {});
        return;
    }
    if (entry == kSourceLost) {
        ReleaseHeld();
        TimingLog().Mark("midi-device-released");
        return;
    }
    const uint32_t msg = entry & 0xFFFFFF;
    if (entry & kFromDevice) {
        m_held.Track(msg);
        TimingLog().MarkOnce("midi-device-first-message", m_firstNoteMarked);
    } else {
        m_heldOwn.Track(msg);
    }
    Hand(msg);
}

void MidiInput::Disable() { m_enabled.store(false, std::memory_order_release); }

void MidiInput::Close() {
    // The source first: closing it joins its threads, so nothing is queued after it;
    // then the delivery thread can go.
    if (m_source) {
        m_source->Close();
        m_source.reset();
    }
    if (m_delivery.joinable()) {
        m_quit.store(true, std::memory_order_release);
        m_arrived.release();
        m_delivery.join();
    }
}

}  // namespace clavora
