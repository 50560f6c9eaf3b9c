// MIDI input: device 0 and our own port "Clavora" on the first MIDI source of the table
// that opens (the ALSA sequencer, then a JACK server). Every message of 1 to 3 bytes
// from either goes to the program's callback under the window lock, in the order of
// arrival, packed once by the source and handed on as it was packed.
//
// The sources' threads never wait for that lock: on JACK the messages arrive in the
// server's real-time cycle, and a client that does not finish its cycle in time loses
// the messages of the next one. So they only queue each message; a delivery thread of
// ours takes them out, waits for the window and calls the callback itself.
//
// When device 0 goes, the source queues a notice behind the last of its messages; the
// delivery thread then releases every key that device 0 left held, as that key's own
// release would. A device 0 that the user connects by hand to our own port as well is
// let go too, without releases: it plays through there.
//
// A message that finds the queue full is lost, and it may be a release: once the queue
// has drained, every key that MIDI input holds is released, and the loss is counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/midi/HeldNotes.h"
#include "platform/midi/MidiQueue.h"
#include "platform/midi/MidiSource.h"

namespace clavora {

class MidiInput : private MidiSink {
public:
    MidiInput();
    ~MidiInput() override;
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Called under the window lock just before each message reaches the callback (the
    // window wakes a held frame clock with it). Set before Open.
    void SetWake(void (*wake)(void*), void* arg) {
        m_wake = wake;
        m_wakeArg = arg;
    }

    // Opens the first source of the table that opens, or only the one that
    // CLAVORA_MIDI names; true when one did. Callable with the window lock held:
    // messages that arrive meanwhile wait for it.
    bool Open(const MidiSourceKind* table, size_t count, MidiInCallback callback, uintptr_t instance);
    // The name of the source that opened; empty when none did.
    const char* SourceName() const { return m_sourceName; }
    // Must be called with the window lock held: no message reaches the callback after it.
    void Disable();
    // Closes the source. Must be called WITHOUT the window lock, since closing waits for
    // the source's threads, which may be waiting for that lock.
    void Close();

    // For measurements and tests without a MIDI system: delivers to the callback as
    // Open does, but from no source; Inject hands in the bytes of one message the way a
    // source does (packed, queued, then delivered by our thread under the window lock).
    void OpenWithoutPorts(MidiInCallback callback, uintptr_t instance);
    void Inject(const std::vector<unsigned char>& bytes);

    // How many times messages were lost to a full queue (each time, the keys that MIDI
    // input held were released once it had drained).
    uint64_t Overflows() const { return m_overflows.load(); }

private:
    // Queue entries: a message in the low 24 bits, marked when it came from device 0;
    // or a notice.
    static constexpr uint32_t kFromDevice = 1u << 24;
    static constexpr uint32_t kDeviceGone = 1u << 25;
    static constexpr uint32_t kDeviceHandedOver = 1u << 26;
    static constexpr uint32_t kSourceLost = 1u << 27;

    void DeviceMessage(uint32_t msg) override { Push(msg | kFromDevice); }
    void OwnMessage(uint32_t msg) override { Push(msg); }
    void DeviceTaken() override;
    void DeviceGone(bool handedOver) override;
    void Overflow() override;
    void SourceLost() override { QueueNotice(kSourceLost); }

    void Push(uint32_t entry);
    void QueueNotice(uint32_t notice);
    void StartDelivery(MidiInCallback callback, uintptr_t instance);
    void DeliverQueued();
    void DeliverOne(uint32_t entry);
    void Hand(uint32_t msg);
    void ReleaseHeld();
    void ReleaseAfterOverflow();

    std::unique_ptr<MidiSource> m_source;
    const char* m_sourceName = "";
    MidiInCallback m_callback = nullptr;
    uintptr_t m_instance = 0;
    void (*m_wake)(void*) = nullptr;
    void* m_wakeArg = nullptr;
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_firstNoteMarked{true};

    MidiQueue m_queue;
    std::counting_semaphore<> m_arrived{0};
    std::atomic<bool> m_quit{false};
    std::thread m_delivery;
    HeldNotes m_held;     // device 0's keys down; the delivery thread's alone
    HeldNotes m_heldOwn;  // those of the sources of our own port; likewise
    std::atomic<bool> m_overflowed{false};
    std::atomic<uint64_t> m_overflows{0};
};

}  // namespace clavora
