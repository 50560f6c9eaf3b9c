// The frame clock: a thread that asks the window for a frame every period, by posting
// one event to the window's queue, never more than one at a time. The frame itself runs
// on the window's thread when that event comes out of the queue.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/common/FrameTick.h"

union SDL_Event;

namespace clavora {

class FrameClock {
public:
    FrameClock();
    ~FrameClock();
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    // Starts ticking every periodMs (a running clock is restarted). False when the
    // window system gives no event type for the ticks.
    bool Start(int periodMs);
    // Stops the ticks; a tick already waiting in the queue is dropped when it comes out.
    void Stop();

    // True when event is one of our ticks (whether or not it still counts).
    bool IsTick(const SDL_Event& event) const;
    // Window side, for a tick taken from the queue: true when it should become a frame.
    bool Accept(const SDL_Event& event);

private:
    void Run(int periodMs, uint32_t generation);

    uint32_t m_eventType = 0;
    FrameTickGate m_gate;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
};

}  // namespace clavora
