// MIDI messages on their way from the window's and the MIDI input's threads to the
// audio thread, which alone touches the synthesizer while it sounds. Senders take a
// lock among themselves; the audio thread takes none, so an ordinary thread that is
// preempted while it sends can never hold the real-time audio thread up.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/midi/MidiMessage.h"

namespace clavora {

class SynthQueue {
public:
    // Far more than a burst of messages between two buffers.
    static constexpr uint32_t kCapacity = 4096;

    // Any thread but the audio thread. False when the queue is full.
    bool Push(const SynthEvent& event) {
        std::lock_guard<std::mutex> hold(m_senders);
        const uint32_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) == kCapacity) return false;
        m_events[head % kCapacity] = event;
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    // The audio thread: hands every queued message to apply, oldest first.
    template <typename Apply>
    void Drain(Apply&& apply) {
        uint32_t tail = m_tail.load(std::memory_order_relaxed);
        const uint32_t head = m_head.load(std::memory_order_acquire);
        for (; tail != head; ++tail) apply(m_events[tail % kCapacity]);
        m_tail.store(tail, std::memory_order_release);
    }

private:
    std::mutex m_senders;
    std::array<SynthEvent, kCapacity> m_events{};
    std::atomic<uint32_t> m_head{0};
    std::atomic<uint32_t> m_tail{0};
};

}  // namespace clavora
