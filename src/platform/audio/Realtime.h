// Real-time scheduling for the thread that feeds the sound device, as a desktop gives it:
// a thread that fills buffers of a few milliseconds must not wait behind ordinary work,
// or the sound breaks; but it stays below the sound server's own threads (PulseAudio's
// at 5, PipeWire's higher up), which it feeds and must never hold back.
#pragma once

#include <cstdint>

namespace clavora {

enum class RealtimeGrant { kNone, kDirect, kRtkit };

// A desktop's broker of real-time scheduling (RealtimeKit), as the policy sees it.
class RealtimeBroker {
public:
    virtual ~RealtimeBroker() = default;
    // The highest priority it hands out, and the most processor time (microseconds) a
    // real-time thread may take without sleeping: the process must set RLIMIT_RTTIME to
    // at most that first. 0 or less when the broker cannot be asked.
    virtual int MaxRealtimePriority() = 0;
    virtual int64_t RtTimeUsecMax() = 0;
    // Makes thread tid of this process real-time at priority.
    virtual bool MakeThreadRealtime(int64_t tid, int priority) = 0;
};

// The priority asked for: 4, below the servers' threads, or the broker's highest where
// that is lower.
constexpr int kRealtimePriority = 4;
constexpr int RealtimePriorityFor(int brokerMax) {
    return brokerMax < kRealtimePriority ? brokerMax : kRealtimePriority;
}

// Thread tid of this process (0: the calling thread) made real-time: directly
// (SCHED_FIFO 4, where the process may, as root or within its RLIMIT_RTPRIO), else
// through the broker when there is one.
RealtimeGrant MakeThreadRealtime(int64_t tid, RealtimeBroker* broker);
const char* RealtimeGrantName(RealtimeGrant grant);

}  // namespace clavora
