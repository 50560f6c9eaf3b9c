// MIDI messages on their way from the window's and the MIDI input's threads to the
// audio thread, which alone touches the synthesizer while it sounds. Senders take a
// lock among themselves, held only while a message goes in, and never wait for the
// audio thread: when the queue is full (the output has stopped asking for sound), a
// message folds into a backlog kept as the state the messages leave, and so does every
// one after it until the audio thread, running again, has caught the synthesizer up
// with it. A release is never lost that way, however long the output stands still.
// The audio thread takes no lock it could wait on, so an ordinary thread preempted
// while it sends can never hold the real-time audio thread up.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/audio/SynthBacklog.h"
#include "platform/midi/MidiMessage.h"

namespace clavora {

class SynthQueue {
public:
    // A second of a MIDI cable at its fastest, far more than a burst between two buffers.
    static constexpr uint32_t kCapacity = 1024;

    // Any thread but the audio thread. False when the message went into the backlog.
    bool Push(const SynthEvent& event) {
        std::lock_guard<std::mutex> hold(m_senders);
        const uint32_t head = m_head.load(std::memory_order_relaxed);
        if (m_folding.load(std::memory_order_relaxed) ||
            head - m_tail.load(std::memory_order_acquire) == kCapacity) {
            FoldLocked(event);
            return false;
        }
        m_events[head % kCapacity] = event;
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    // Into the backlog at once, whatever room the queue has: while the synthesizer is
    // not there yet, what it would sound is the state, not the stream.
    void Fold(const SynthEvent& event) {
        std::lock_guard<std::mutex> hold(m_senders);
        FoldLocked(event);
    }

    // The audio thread: hands every queued message to apply, oldest first, then the
    // backlog's catching up, unless a sender is just adding to it (then it waits for the
    // next buffer).
    template <typename Apply>
    void Drain(Apply&& apply) {
        uint32_t tail = m_tail.load(std::memory_order_relaxed);
        const uint32_t head = m_head.load(std::memory_order_acquire);
        for (; tail != head; ++tail) apply(m_events[tail % kCapacity]);
        m_tail.store(tail, std::memory_order_release);
        if (!m_folding.load(std::memory_order_acquire) || !m_senders.try_lock()) return;
        // Folding began with the queue full: everything queued came before it. The
        // backlog is copied out, so that senders wait for no synthesizer call.
        m_taken = m_backlog;
        m_backlog.Clear();
        m_folding.store(false, std::memory_order_relaxed);
        m_senders.unlock();
        m_taken.CatchUp(apply);
    }

    // Before the audio thread drains: the backlog onto a synthesizer that has sounded
    // nothing yet; afterwards the queue takes messages again.
    template <typename Apply>
    void ReplayBacklog(Apply&& apply) {
        std::lock_guard<std::mutex> hold(m_senders);
        m_backlog.Replay(apply);
        m_backlog.Clear();
        m_folding.store(false, std::memory_order_relaxed);
    }

    void DiscardBacklog() {
        std::lock_guard<std::mutex> hold(m_senders);
        m_backlog.Clear();
    }

    // Messages that went into the backlog so far.
    uint64_t Folded() const { return m_folded.load(std::memory_order_relaxed); }

private:
    void FoldLocked(const SynthEvent& event) {
        m_backlog.Add(event);
        m_folding.store(true, std::memory_order_release);
        m_folded.fetch_add(1, std::memory_order_relaxed);
    }

    std::mutex m_senders;
    std::array<SynthEvent, kCapacity> m_events{};
    std::atomic<uint32_t> m_head{0};
    std::atomic<uint32_t> m_tail{0};
    // Under m_senders (read without it by the audio thread first).
    std::atomic<bool> m_folding{false};
    SynthBacklog m_backlog;
    SynthBacklog m_taken;  // the audio thread's
    std::atomic<uint64_t> m_folded{0};
};

}  // namespace clavora
