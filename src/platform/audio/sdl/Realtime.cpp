#include "platform/audio/sdl/Realtime.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>

namespace clavora {

namespace {

// Below a sound server's own threads (PulseAudio's 5, PipeWire's data loop higher up),
// above every ordinary thread of the machine.
constexpr int kPriority = 4;

bool Direct() {
    int priority = kPriority;
    rlimit limit{};
    // Without privileges the limit is the highest priority the process may take.
    if (geteuid() != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        priority = std::min<int>(priority, static_cast<int>(limit.rlim_cur));
    if (priority < 1) return false;
    sched_param param{};
    param.sched_priority = priority;
    // Process id 0 is the calling thread; a child process would not inherit the policy.
    return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

}  // namespace

RealtimeGrant MakeThisThreadRealtime() {
    if (Direct()) return RealtimeGrant::kDirect;
    // SDL's RealtimeKit client; RealtimeKit hands out its own, low, priority.
    const auto tid = static_cast<Sint64>(syscall(SYS_gettid));
    if (SDL_LinuxSetThreadPriorityAndPolicy(tid, SDL_THREAD_PRIORITY_TIME_CRITICAL, SCHED_RR) == 0)
        return RealtimeGrant::kRtkit;
    return RealtimeGrant::kNone;
}

const char* RealtimeGrantName(RealtimeGrant grant) {
    switch (grant) {
    case RealtimeGrant::kDirect: return "audio-realtime-direct";
    case RealtimeGrant::kRtkit: return "audio-realtime-rtkit";
    case RealtimeGrant::kNone: break;
    }
    return "audio-realtime-none";
}

}  // namespace clavora
