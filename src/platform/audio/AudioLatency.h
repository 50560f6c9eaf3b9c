// How much sound an audio output keeps queued at a sound server. On PulseAudio it starts
// at one and a half callback buffers (8.7 ms: with one, 5.8 ms, a processor of a virtual
// machine taken away for a moment broke a held note in one song in ten); on PipeWire at
// one callback buffer, the quantum asked of the graph. It grows a step for each run of
// underflows the server reports (on PipeWire, of graph cycles the stream missed): a
// queue that ran dry was too short for this machine as it is now. After a long calm it
// steps back down, one step at a time, so that a moment of load does not cost every
// key afterwards. The ceiling is the 40 ms that kept a held note whole on a busy
// two-core machine even through an ordinary-priority audio thread.
#pragma once

#include <cstdint>

namespace clavora {

class AudioLatency {
public:
    static constexpr int kStartFrames = 384;  // 8.7 ms at 44100 Hz
    static constexpr int kStepFrames = 128;   // 2.9 ms
    static constexpr int kMaxFrames = 1764;   // 40 ms
    // Underflows this close after the last change are the same run of them: the
    // server has not yet applied the longer queue, or the stream has only just begun.
    static constexpr int64_t kRunNs = 500'000'000;
    // A calm this long, without an underflow, lets the queue step back down.
    static constexpr int64_t kCalmNs = 20'000'000'000;

    // The stream starts at nowNs with the shortest queue, which calm returns to.
    void Start(int64_t nowNs, int startFrames = kStartFrames) {
        m_start = startFrames;
        m_frames = startFrames;
        m_changedNs = nowNs;
    }
    int Frames() const { return m_frames; }

    // An underflow at nowNs. True when the queue is to change.
    bool Underflow(int64_t nowNs) {
        if (nowNs - m_changedNs < kRunNs) return false;
        // At the ceiling the calm starts again all the same.
        m_changedNs = nowNs;
        if (m_frames == kMaxFrames) return false;
        m_frames = m_frames + kStepFrames < kMaxFrames ? m_frames + kStepFrames : kMaxFrames;
        return true;
    }

    // Sound went out at nowNs without an underflow. True when the queue is to change.
    bool Calm(int64_t nowNs) {
        if (m_frames == m_start || nowNs - m_changedNs < kCalmNs) return false;
        m_changedNs = nowNs;
        m_frames = m_frames - kStepFrames > m_start ? m_frames - kStepFrames : m_start;
        return true;
    }

private:
    int m_start = kStartFrames;
    int m_frames = kStartFrames;
    int64_t m_changedNs = 0;
};

}  // namespace clavora
