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
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/common/MidiQueue.h"

class RtMidiIn;

namespace clavora {

class MidiInput {
public:
    MidiInput();
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    // Opens both ports; true when at least one is open. Callable with the window lock
    // held: messages that arrive meanwhile wait for it.
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

    // The name device 0 was opened under, empty when none was (for diagnostics).
    const std::string& DeviceName() const { return m_deviceName; }

private:
    static void OnMessage(double stamp, std::vector<unsigned char>* bytes, void* self);
    void DeliverQueued();
    static void Deliver(void* hMidiIn, uint32_t wMsg, uintptr_t self, uintptr_t msg,
                        uintptr_t unused);
    bool OpenOwnPort(int api);
    bool OpenDevicePort(int api);

    std::unique_ptr<RtMidiIn> m_own;
    std::unique_ptr<RtMidiIn> m_device;
    std::string m_deviceName;
    MidiInCallback m_callback = nullptr;
    uintptr_t m_instance = 0;
    std::atomic<bool> m_enabled{false};
    std::atomic<bool> m_failed{false};

    MidiQueue m_queue;
    std::counting_semaphore<> m_arrived{0};
    std::atomic<bool> m_quit{false};
    std::thread m_delivery;
};

}  // namespace clavora
