#include "platform/audio/OutputKeeper.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/common/Timing.h"

namespace clavora {

OutputKeeper::OutputKeeper(KeptSound& sound, int rate) : m_sound(sound), m_rate(rate) {}

OutputKeeper::~OutputKeeper() { Stop(); }

void OutputKeeper::Start(std::vector<std::unique_ptr<AudioBackend>> outputs) {
    if (m_thread.joinable() || m_quit.load()) return;
    m_outputs = std::move(outputs);
    m_opened.assign(m_outputs.size(), false);
    for (size_t i = 0; i < m_outputs.size(); ++i)
        m_feeds.push_back(std::make_unique<Feed>(*this, static_cast<int>(i)));
    m_thread = std::thread(&OutputKeeper::Run, this);
}

void OutputKeeper::Stop() {
    m_quit.store(true);
    Poke();
    if (m_thread.joinable()) m_thread.join();
}

void OutputKeeper::Resume() {
    const int live = m_live.load();
    if (live >= 0) m_outputs[static_cast<size_t>(live)]->Resume();
}

void OutputKeeper::DeviceRemoved(uint32_t id) {
    const int live = m_live.load();
    if (live >= 0) m_outputs[static_cast<size_t>(live)]->DeviceRemoved(id);
}

const char* OutputKeeper::Playing() const {
    const int live = m_live.load();
    return live >= 0 ? m_outputs[static_cast<size_t>(live)]->Name() : "";
}

int OutputKeeper::RestAfterMs() const {
    const int live = m_live.load();
    return live >= 0 ? m_outputs[static_cast<size_t>(live)]->RestAfterMs()
                     : AudioBackend::kRestAfterMs;
}

int OutputKeeper::LatencyFrames() const {
    const int live = m_live.load();
    return live >= 0 ? m_outputs[static_cast<size_t>(live)]->LatencyFrames() : 0;
}

void OutputKeeper::Run() {
    bool lostOne = false;
    auto quickUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuickRetriesMs);
    while (!m_quit.load()) {
        if (m_open >= 0 && m_feeds[static_cast<size_t>(m_open)]->lost.load()) {
            const char* name = m_outputs[static_cast<size_t>(m_open)]->Name();
            SwitchTo(-1);
            m_losses.fetch_add(1, std::memory_order_relaxed);
            TimingLog().Mark((std::string("audio-lost-") + name).c_str());
            std::fprintf(stderr, "clavora: the sound output (%s) went away; looking for another\n",
                         name);
            lostOne = true;
            quickUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuickRetriesMs);
            continue;
        }
        bool quick = std::chrono::steady_clock::now() < quickUntil;
        if (Better(quick) && OpenBetter(quick) && lostOne) {
            std::fprintf(stderr, "clavora: sound plays again (%s)\n", Playing());
            lostOne = false;
        }
        // At its first choice (or the best it ever had) the keeper waits for word of a
        // loss; below one it lost, or with none, it asks again before long.
        quick = std::chrono::steady_clock::now() < quickUntil;
        if (m_outputs.empty()) {
            m_pokes.acquire();
        } else if (!Better(quick)) {
            // A fill resting in an output's main loop (PulseAudio's) keeps that loop from
            // seeing its server go: the rest is ended now and then, to look.
            const int look = m_open >= 0 ? m_outputs[static_cast<size_t>(m_open)]->LookEveryMs() : 0;
            if (look <= 0) m_pokes.acquire();
            else if (!m_pokes.try_acquire_for(std::chrono::milliseconds(look))) m_sound.EndRest();
        } else {
            m_pokes.try_acquire_for(std::chrono::milliseconds(quick ? kRetryMs : kSlowRetryMs));
        }
        while (m_pokes.try_acquire()) {
        }
    }
    SwitchTo(-1);
}

bool OutputKeeper::Better(bool quick) const {
    if (m_open < 0) return true;
    for (int i = 0; i < m_open; ++i)
        if (quick || m_opened[static_cast<size_t>(i)]) return true;
    return false;
}

bool OutputKeeper::OpenBetter(bool quick) {
    const int limit = m_open < 0 ? static_cast<int>(m_outputs.size()) : m_open;
    for (int i = 0; i < limit && !m_quit.load(); ++i) {
        if (m_open >= 0 && !quick && !m_opened[static_cast<size_t>(i)]) continue;
        Feed& feed = *m_feeds[static_cast<size_t>(i)];
        feed.lost.store(false);
        if (!m_outputs[static_cast<size_t>(i)]->Open(m_rate, feed)) continue;
        m_opens.fetch_add(1, std::memory_order_relaxed);
        m_opened[static_cast<size_t>(i)] = true;
        SwitchTo(i);
        return true;
    }
    return false;
}

void OutputKeeper::SwitchTo(int index) {
    const int before = m_open;
    m_live.store(index);
    if (before >= 0) {
        Drain(before);
        m_outputs[static_cast<size_t>(before)]->Close();
    }
    m_open = index;
    // The new output's first request may have found the sound still with the old one.
    if (index >= 0) m_sound.EndRest();
}

void OutputKeeper::Drain(int index) {
    // Once it is no longer live the feed does not enter again; a rest it is in ends.
    while (m_feeds[static_cast<size_t>(index)]->inFill.load()) {
        m_sound.EndRest();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool OutputKeeper::Feed::Fill(uint8_t* stream, int length, bool mayRest) {
    inFill.store(true);
    if (m_keeper.m_live.load() != m_index ||
        m_keeper.m_rendering.test_and_set(std::memory_order_acquire)) {
        inFill.store(false);
        std::memset(stream, 0, static_cast<size_t>(length));
        return false;
    }
    const bool idle = m_keeper.m_sound.Fill(stream, length, mayRest);
    m_keeper.m_rendering.clear(std::memory_order_release);
    inFill.store(false);
    return idle;
}

bool OutputKeeper::Feed::MayPause() {
    return m_keeper.m_live.load() == m_index && m_keeper.m_sound.MayPause();
}

void OutputKeeper::Feed::Lost() {
    lost.store(true);
    m_keeper.Poke();
}

}  // namespace clavora
