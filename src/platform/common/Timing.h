// Measurements of the running program for the benchmarks, written only when the
// environment variable CLAVORA_TIMING names a file: the moments of start-up milestones
// (wall-clock seconds, so that a harness can set them against the moment it started the
// process, and the processor time used by then) and, at the end, how long a Note On took to come out of the audio callback.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace clavora {

class Timing {
public:
    Timing();
    // Writes the summary and closes the file; marks after it are dropped.
    void Close();
    Timing(const Timing&) = delete;
    Timing& operator=(const Timing&) = delete;

    bool Enabled() const { return m_file != nullptr; }
    // Writes "name <seconds since the epoch> cpu-ms <processor time used so far>".
    void Mark(const char* name);
    // The same, only the first time for this flag.
    void MarkOnce(const char* name, std::atomic<bool>& done);

    // A frame was presented; changed when its picture differed from the one shown.
    void Frame(bool changed) {
        ++m_frames;
        if (changed) ++m_changedFrames;
    }

    // A Note On went to the synthesizer now; it reached the sound's side at arrivedNs
    // (steady clock), before the synthesizer took it.
    void NoteSent(int64_t arrivedNs);
    // Audio callback: frames stereo frames are about to leave. Cheap; no lock.
    void Rendered(const int16_t* out, size_t frames);

private:
    std::FILE* m_file = nullptr;
    std::mutex m_lock;
    int64_t m_frames = 0;  // window thread only
    int64_t m_changedFrames = 0;
    std::atomic<int64_t> m_noteAt{0};  // steady clock, ns; 0 when none is waited for
    std::atomic<int64_t> m_count{0};
    std::atomic<int64_t> m_sumNs{0};
    std::atomic<int64_t> m_maxNs{0};
    std::atomic<int64_t> m_sumOffset{0};
    // The last notes, each as it arrived, went to the synthesizer and was first rendered
    // (steady clock, ns), written at the end: a benchmark sets them beside the moment it
    // pressed the key and the moment the sound left the sink.
    static constexpr size_t kKeptNotes = 64;
    struct Kept {
        std::atomic<int64_t> arrived{0}, sent{0}, rendered{0};
    };
    std::atomic<int64_t> m_arrivedAt{0};
    std::array<Kept, kKeptNotes> m_kept{};
};

// The process's one timing log, opened on first use; the platform closes it as it ends.
Timing& TimingLog();

}  // namespace clavora
