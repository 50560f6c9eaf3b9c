// The frame clock's bookkeeping, apart from any thread or window system: at most one
// request for a frame waits at a time, requests of a stopped clock are dropped, and the
// ticks keep to a fixed grid so that the period does not drift.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace clavora {

class FrameTickGate {
public:
    // Clock side: true when a request should be posted now, because none is waiting.
    bool TryPost() { return !m_pending.exchange(true, std::memory_order_acq_rel); }
    // Clock side: a request that could not be posted after all.
    void Withdraw() { m_pending.store(false, std::memory_order_release); }

    // The generation a request is posted with; Stop starts a new one.
    uint32_t Generation() const { return m_generation.load(std::memory_order_acquire); }
    void Stop() { m_generation.fetch_add(1, std::memory_order_acq_rel); }

    // Window side: a request posted with this generation was taken from the queue. Frees
    // the place for the next one; true when it should become a frame (its clock was not
    // stopped since it was posted).
    bool Take(uint32_t generation) {
        m_pending.store(false, std::memory_order_release);
        return generation == Generation();
    }

private:
    std::atomic<bool> m_pending{false};
    std::atomic<uint32_t> m_generation{0};
};

// The tick after the one due at previous: one period later, or, when the clock has
// fallen more than a period behind (a stalled machine), the first point of the same
// grid after now, so that missed ticks are skipped rather than fired in a burst.
template <class TimePoint, class Duration>
TimePoint NextTick(TimePoint previous, Duration period, TimePoint now) {
    TimePoint next = previous + period;
    if (next <= now) {
        const auto behind = (now - previous) / period;  // whole periods elapsed
        next = previous + period * (behind + 1);
    }
    return next;
}

}  // namespace clavora
