// MIDI messages on their way from the window's and the MIDI input's threads to the
// synthesizer. The senders hand each message to the synthesizer themselves, one at a
// time under the senders' lock (the synthesizer queues what it does for its rendering,
// and whatever a message makes it read from disk is read on the sender's thread), and
// never wait for the audio thread. But the synthesizer's own queue to its rendering is
// finite: once kCapacity messages have gone in since the audio thread last rendered
// (the output has stopped asking for sound), a message folds into a backlog kept as the
// state the messages leave, and so does every one after it, until the audio thread,
// running again, has caught the synthesizer up with it. A release is never lost that
// way, however long the output stands still. The audio thread only tries the lock, so
// a sender preempted while it sends can never hold the real-time audio thread up.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/audio/SynthBacklog.h"
#include "platform/midi/MidiMessage.h"

namespace clavora {

class SynthQueue {
public:
    // Far more than a burst between two buffers, and far less than the synthesizer's
    // own queue holds.
    static constexpr uint32_t kCapacity = 256;

    // The senders' lock: held around every call into the synthesizer but the rendering.
    std::mutex& Senders() const { return m_senders; }

    // Any thread but the audio thread, with Senders() held: true when the message is to
    // be handed to the synthesizer now, false when it went into the backlog.
    bool Admit(const SynthEvent& event) {
        if (m_folding.load(std::memory_order_relaxed) ||
            m_unrendered.load(std::memory_order_acquire) >= kCapacity) {
            m_backlog.Add(event);
            m_folding.store(true, std::memory_order_release);
            m_folded.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        m_unrendered.fetch_add(1, std::memory_order_acq_rel);
        return true;
    }

    // The audio thread, before it renders: everything admitted so far is rendered now;
    // and the backlog's catching up, unless a sender holds the lock (then it waits for
    // the next buffer).
    template <typename Apply>
    void Rendering(Apply&& apply) {
        m_unrendered.store(0, std::memory_order_release);
        if (!m_folding.load(std::memory_order_acquire) || !m_senders.try_lock()) return;
        m_backlog.CatchUp(apply);
        m_backlog.Clear();
        m_folding.store(false, std::memory_order_relaxed);
        m_senders.unlock();
    }

    // With Senders() held: the backlog is forgotten (a new synthesizer took over with
    // the whole state, or every note was ended).
    void Discard() {
        m_backlog.Clear();
        m_folding.store(false, std::memory_order_relaxed);
    }

    // Messages that went into the backlog so far.
    uint64_t Folded() const { return m_folded.load(std::memory_order_relaxed); }

private:
    mutable std::mutex m_senders;
    std::atomic<uint32_t> m_unrendered{0};
    // Under m_senders (read without it by the audio thread first).
    std::atomic<bool> m_folding{false};
    SynthBacklog m_backlog;
    std::atomic<uint64_t> m_folded{0};
};

}  // namespace clavora
