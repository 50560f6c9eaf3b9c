// MIDI input: "device 0", the first MIDI input port that is neither a through port nor
// one of our own, on the ALSA sequencer or, where there is no sequencer, on a running
// JACK server; and beside it an input port of our own named "Clavora" that any other
// MIDI source can be connected to. Every message of 1 to 3 bytes from either goes to
// the program's callback under the window lock, in the order of arrival.
//
// The MIDI system's threads never wait for that lock: on JACK the messages arrive in
// the server's real-time cycle, and a client that does not finish its cycle in time
// loses the messages of the next one. So they only queue each message; a delivery
// thread of ours takes them out and waits for the window.
//
// Keyboards come and go while the program runs. On the ALSA sequencer the AlsaWatcher
// is told of every port and connection that comes or goes; on JACK a watching thread of
// ours looks at the ports whenever the server says a port or a connection changed.
// While there is no device 0 they take the first port the rule chooses; when device
// 0's port or our connection to it has gone they let it go and queue a notice behind
// the last of its messages; the delivery thread then releases every key that device 0
// left held, as that key's own release would. A device 0 that the user connects by
// hand to our own port as well is let go too, without releases: it plays through there.
//
// A message that finds the queue full is lost, and it may be a release: once the queue
// has drained, every key that MIDI input holds is released, and the loss is counted.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/midi/HeldNotes.h"
#include "platform/midi/MidiQueue.h"
#include "platform/midi/alsa/AlsaWatcher.h"
#include "platform/midi/jack/JackLinks.h"

class RtMidiIn;

namespace clavora {


class MidiInput : private AlsaWatcher::Sink {
public:
    // The client of our own port for any source; "Clavora device" is the other one.
    static constexpr const char* kOwnClient = "Clavora";
    // How often the watching thread looks at the ports on the ALSA sequencer, and on
    // JACK when nothing has been said (in case a notice is lost).
    static constexpr std::chrono::milliseconds kLookPeriod{250};
    static constexpr std::chrono::milliseconds kJackLookPeriod{5000};

    // timing, when given, gets a mark when the first message of each new device 0
    // arrives (for the benchmarks).
    MidiInput();
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Opens our own port and device 0 if there is one, and starts watching the ports;
    // true when a MIDI system is there. Callable with the window lock held: messages
    // that arrive meanwhile wait for it.
    bool Open(MidiInCallback callback, uintptr_t instance);
    // Must be called with the window lock held: no message reaches the callback after it.
    void Disable();
    // Closes the ports. Must be called WITHOUT the window lock, since closing waits for
    // the MIDI threads, which may be waiting for that lock.
    void Close();

    // For measurements and tests without a MIDI system: delivers to the callback as
    // Open does, but from no port; Inject hands in one message the way a port's thread
    // does (queued, then delivered by our delivery thread under the window lock).
    void OpenWithoutPorts(MidiInCallback callback, uintptr_t instance);
    void Inject(std::vector<unsigned char>& bytes) { OnMessage(0.0, &bytes, this); }

    // How many times messages were lost to a full queue (each time, the keys that MIDI
    // input held were released once it had drained).
    uint64_t Overflows() const { return m_overflows.load(); }

private:
    // Queue entries: a message in the low 24 bits, marked when it came from device 0;
    // or the notice that device 0 has gone.
    static constexpr uint32_t kFromDevice = 1u << 24;
    static constexpr uint32_t kDeviceGone = 1u << 25;
    static constexpr uint32_t kDeviceHandedOver = 1u << 26;

    // What the ALSA watcher reports, on its thread.
    void DeviceMessage(uint32_t msg) override;
    void DeviceTaken() override;
    void DeviceGone(bool handedOver) override;
    void Overflow() override;
    void QueueNotice(uint32_t notice);
    void ReleaseAfterOverflow();

    static void OnMessage(double stamp, std::vector<unsigned char>* bytes, void* self);
    static void OnDeviceMessage(double stamp, std::vector<unsigned char>* bytes, void* self);
    void Queue(std::vector<unsigned char>* bytes, uint32_t mark);
    void DeliverQueued();
    void DeliverOne(uint32_t entry);
    static void Deliver(void* hMidiIn, uint32_t wMsg, uintptr_t self, uintptr_t msg,
                        uintptr_t unused);
    static std::unique_ptr<RtMidiIn> MakeInput(int api, const char* client, std::atomic<bool>& failed);
    bool OpenOwnPort(int api);
    bool OpenDevicePort(int api);
    void Watch();
    static void PortsChanged(void* self);
    void LookAtPorts();
    bool TakeDevice(const std::vector<std::string>& names);
    void LetDeviceGo(bool handedOver);

    std::unique_ptr<RtMidiIn> m_own;
    // Device 0's input, kept while the program runs: it lists the ports, and its port
    // is connected to device 0 while there is one.
    std::unique_ptr<RtMidiIn> m_device;
    std::string m_deviceName;  // empty while there is no device 0
    // On JACK: when device 0 was taken, and whether our connection to it was seen since.
    static constexpr std::chrono::milliseconds kLinkGrace{1000};
    std::chrono::steady_clock::time_point m_deviceTakenAt;
    bool m_deviceLinked = false;
    int m_api = 0;
    std::atomic<bool> m_firstNoteMarked{true};
    JackLinks m_links;
    AlsaWatcher m_alsa;
    MidiInCallback m_callback = nullptr;
    uintptr_t m_instance = 0;
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_failed{false};

    MidiQueue m_queue;
    std::counting_semaphore<> m_arrived{0};
    std::atomic<bool> m_quit{false};
    std::thread m_delivery;
    HeldNotes m_held;     // device 0's keys down; the delivery thread's alone
    HeldNotes m_heldOwn;  // those of the sources of our own port; likewise
    std::atomic<bool> m_overflowed{false};
    std::atomic<uint64_t> m_overflows{0};

    std::mutex m_watchMutex;
    std::condition_variable m_watchWake;
    bool m_watchQuit = false;
    bool m_portsChanged = false;
    std::chrono::milliseconds m_lookPeriod = kLookPeriod;
    std::thread m_watcher;
};

}  // namespace clavora
