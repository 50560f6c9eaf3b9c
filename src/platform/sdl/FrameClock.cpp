#include "platform/sdl/FrameClock.h"

#include <SDL.h>

#include <chrono>

namespace clavora {

FrameClock::FrameClock() {
    const Uint32 type = SDL_RegisterEvents(1);
    if (type != static_cast<Uint32>(-1)) m_eventType = type;
}

FrameClock::~FrameClock() { Stop(); }

bool FrameClock::Start(int periodMs) {
    Stop();
    if (m_eventType == 0 || periodMs <= 0) return false;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_quit = false;
    }
    m_thread = std::thread(&FrameClock::Run, this, periodMs, m_gate.Generation());
    return true;
}

void FrameClock::Stop() {
    // From here on ticks already posted carry an old generation and are dropped.
    m_gate.Stop();
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool FrameClock::IsTick(const SDL_Event& event) const {
    return m_eventType != 0 && event.type == m_eventType;
}

bool FrameClock::Accept(const SDL_Event& event) {
    return m_gate.Take(static_cast<uint32_t>(event.user.code));
}

void FrameClock::Run(int periodMs, uint32_t generation) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(periodMs);
    auto due = Clock::now() + period;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_wake.wait_until(lock, due, [this] { return m_quit; })) return;
        // The only work of a tick: ask for a frame unless one is still waiting.
        if (m_gate.TryPost()) {
            SDL_Event event{};
            event.type = m_eventType;
            event.user.code = static_cast<Sint32>(generation);
            if (SDL_PushEvent(&event) != 1) m_gate.Withdraw();
        }
        due = NextTick(due, period, Clock::now());
    }
}

}  // namespace clavora
