// How much sound an audio output keeps queued at a sound server. On PulseAudio it starts
// at one and a half callback buffers (8.7 ms); on PipeWire at one callback buffer, the
// quantum asked of the graph. An underflow says how much sound was missing when the queue
// ran dry (how long the sink played silence, or how many graph cycles went by without a
// fill): the queue grows by that and a little more, so that the same stall of the machine
// is played through next time, and no further than the stall needs: the floor of this
// machine as it is now. A server that refills the queue a piece at a time (PulseAudio
// asks for a quarter of it) lets it run a piece short before each refill, and a stall may
// begin just then: a grown queue keeps one piece more. Underflows of one run (the server
// has not yet taken the longer queue) each measure the queue before the run, and the
// queue takes the most of them. After a long calm it steps back down, one step at a time,
// so that a moment of load does not cost every key afterwards. The ceiling only guards
// against a measurement gone wrong (a break of the server's own is no stall the queue
// could bridge).
#pragma once

#include <algorithm>
#include <cstdint>

namespace clavora {

// How a server refills the queue: in pieces of one in parts of it, at least least and at
// most most frames. parts 0: all at once (a graph cycle filled in place).
struct AudioRefill {
    int parts = 0;
    int least = 0;
    int most = 0;
};

class AudioLatency {
public:
    static constexpr int kStartFrames = 384;   // 8.7 ms at 44100 Hz
    static constexpr int kMarginFrames = 64;   // 1.5 ms over what was missing
    static constexpr int kStepFrames = 128;    // 2.9 ms back down after each calm
    static constexpr int kMaxFrames = 2205;    // 50 ms
    // Underflows this close after the first of a run are the same run.
    static constexpr int64_t kRunNs = 500'000'000;
    // A calm this long, without an underflow, lets the queue step back down.
    static constexpr int64_t kCalmNs = 20'000'000'000;

    static int Piece(const AudioRefill& refill, int frames) {
        return refill.parts ? std::clamp(frames / refill.parts, refill.least, refill.most) : 0;
    }

    // The stream starts at nowNs with the shortest queue, which calm returns to.
    void Start(int64_t nowNs, int startFrames = kStartFrames, AudioRefill refill = {}) {
        m_refill = refill;
        m_start = startFrames;
        m_frames = startFrames;
        m_calmFromNs = nowNs;
        m_runNs = nowNs - kRunNs;
    }
    int Frames() const { return m_frames; }

    // An underflow at nowNs in which missingFrames of sound did not arrive in time. True
    // when the queue is to change.
    bool Underflow(int64_t nowNs, int missingFrames) {
        m_calmFromNs = nowNs;
        if (nowNs - m_runNs >= kRunNs) {
            m_runNs = nowNs;
            m_runBase = m_frames;
        }
        // The queue the stall needed, and a piece over it: want - Piece(want) >= need.
        const int need = m_runBase + std::max(0, missingFrames) + kMarginFrames;
        const int piece = m_refill.parts > 1
            ? std::clamp(need / (m_refill.parts - 1), m_refill.least, m_refill.most) : 0;
        const int want = std::min(kMaxFrames, need + piece);
        if (want <= m_frames) return false;
        m_frames = want;
        return true;
    }

    // Sound went out at nowNs without an underflow. True when the queue is to change.
    bool Calm(int64_t nowNs) {
        if (m_frames <= m_start || nowNs - m_calmFromNs < kCalmNs) return false;
        m_calmFromNs = nowNs;
        m_frames = std::max(m_start, m_frames - kStepFrames);
        return true;
    }

private:
    AudioRefill m_refill;
    int m_start = kStartFrames;
    int m_frames = kStartFrames;
    int m_runBase = kStartFrames;
    int64_t m_calmFromNs = 0;
    int64_t m_runNs = 0;
};

}  // namespace clavora
