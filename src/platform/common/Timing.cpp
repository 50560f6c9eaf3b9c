#include "platform/common/Timing.h"

#include <cstdlib>
#include <ctime>

#include "platform/common/SteadyNs.h"
#include "platform/audio/fluidsynth/AudioOut.h"

namespace clavora {

namespace {

// A note that has not sounded after this long is no longer waited for.
constexpr int64_t kGiveUpNs = 500'000'000;

}  // namespace

Timing::Timing() {
    const char* path = std::getenv("CLAVORA_TIMING");
    if (path && *path) m_file = std::fopen(path, "a");
}

Timing& TimingLog() {
    // Never destroyed: the audio and MIDI threads may mark it until the platform has
    // stopped them, and the platform closes it after that.
    static Timing* log = new Timing;
    return *log;
}

void Timing::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_file) return;
    std::fprintf(m_file, "frames presented %lld changed %lld\n", static_cast<long long>(m_frames),
                 static_cast<long long>(m_changedFrames));
    const int64_t n = m_count.load();
    if (n > 0) {
        std::fprintf(m_file,
                     "key-to-sound notes %lld mean-ms %.3f max-ms %.3f mean-offset-frames %.1f "
                     "buffer-frames %d\n",
                     static_cast<long long>(n), m_sumNs.load() / 1e6 / n, m_maxNs.load() / 1e6,
                     static_cast<double>(m_sumOffset.load()) / n, AudioOut::kBufferFrames);
    }
    const int64_t first = n > int64_t{kKeptNotes} ? n - int64_t{kKeptNotes} : 0;
    for (int64_t i = first; i < n; ++i) {
        const Kept& kept = m_kept[static_cast<size_t>(i) % kKeptNotes];
        std::fprintf(m_file, "key-note %lld arrived-ns %lld sent-ns %lld rendered-ns %lld\n",
                     static_cast<long long>(i), static_cast<long long>(kept.arrived.load()),
                     static_cast<long long>(kept.sent.load()),
                     static_cast<long long>(kept.rendered.load()));
    }
    std::fclose(m_file);
    m_file = nullptr;
}

void Timing::MarkOnce(const char* name, std::atomic<bool>& done) {
    if (!m_file || done.exchange(true)) return;
    Mark(name);
}

void Timing::Mark(const char* name) {
    if (!m_file) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_file) return;
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    std::fprintf(m_file, "%s %lld.%09ld cpu-ms %.1f\n", name, static_cast<long long>(now.tv_sec),
                 now.tv_nsec, static_cast<double>(cpu.tv_sec) * 1e3 + cpu.tv_nsec / 1e6);
    std::fflush(m_file);
}

void Timing::NoteSent(int64_t arrivedNs) {
    if (!m_file) return;
    int64_t none = 0;
    if (m_noteAt.compare_exchange_strong(none, SteadyNs())) m_arrivedAt.store(arrivedNs);
}

void Timing::Rendered(const int16_t* out, size_t frames) {
    const int64_t sent = m_noteAt.load(std::memory_order_acquire);
    if (sent == 0) return;
    const int64_t now = SteadyNs();
    for (size_t i = 0; i < 2 * frames; ++i) {
        if (out[i] != 0) {
            const int64_t ns = now - sent;
            Kept& kept = m_kept[static_cast<size_t>(m_count.fetch_add(1)) % kKeptNotes];
            kept.arrived.store(m_arrivedAt.load());
            kept.sent.store(sent);
            kept.rendered.store(now);
            m_sumNs.fetch_add(ns);
            m_sumOffset.fetch_add(static_cast<int64_t>(i / 2));
            int64_t max = m_maxNs.load();
            while (ns > max && !m_maxNs.compare_exchange_weak(max, ns)) {
            }
            m_noteAt.store(0, std::memory_order_release);
            return;
        }
    }
    if (now - sent > kGiveUpNs) m_noteAt.store(0, std::memory_order_release);
}

}  // namespace clavora
