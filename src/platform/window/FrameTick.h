// The frame clock's schedule, apart from any window system: ticks on a fixed grid so
// that the period does not drift, never more than one due at a time, none once stopped.
// The window's thread asks it how long it may wait for events and whether a tick is due.
#pragma once

#include <chrono>
#include <cstdint>

namespace clavora {

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

class FrameSchedule {
public:
    using Clock = std::chrono::steady_clock;

    // Starts ticking every periodMs from now (a running schedule is restarted).
    bool Start(int periodMs, Clock::time_point now) {
        if (periodMs <= 0) return false;
        m_period = std::chrono::milliseconds(periodMs);
        m_due = now + m_period;
        m_running = true;
        return true;
    }
    void Stop() { m_running = false; }
    bool Running() const { return m_running; }

    // How long the window may wait for events before the next tick: whole milliseconds,
    // rounded up so it never wakes early; -1 when stopped (wait for events only).
    int WaitMs(Clock::time_point now) const {
        if (!m_running) return -1;
        if (m_due <= now) return 0;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_due - now);
        return static_cast<int>(left.count());
    }

    // True when a tick is due at now: the one request for a frame, taken. However late
    // the window comes, one tick is taken at a time and the grid moves on past now.
    bool TakeDue(Clock::time_point now) {
        if (!m_running || now < m_due) return false;
        m_due = NextTick(m_due, m_period, now);
        return true;
    }

    // Every tick due at or before now, taken at once: how many there were. For a clock
    // that was held while the window had nothing to do; the grid moves on past now.
    int64_t TakeAllDue(Clock::time_point now) {
        if (!m_running || now < m_due) return 0;
        const int64_t n = (now - m_due) / m_period + 1;
        m_due += m_period * n;
        return n;
    }

private:
    bool m_running = false;
    Clock::duration m_period{};
    Clock::time_point m_due{};
};

}  // namespace clavora
