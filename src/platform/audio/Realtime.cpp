#include "platform/audio/Realtime.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace clavora {

namespace {

bool Direct(pid_t tid) {
    int priority = kRealtimePriority;
    rlimit limit{};
    // Without privileges the limit is the highest priority the process may take.
    if (geteuid() != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        priority = std::min<int>(priority, static_cast<int>(limit.rlim_cur));
    if (priority < 1) return false;
    sched_param param{};
    param.sched_priority = priority;
    // A thread's id names it alone (0 the calling thread); a child process would not
    // inherit the policy.
    return sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

bool ThroughBroker(pid_t tid, RealtimeBroker& broker) {
    const int most = broker.MaxRealtimePriority();
    if (most < 1) return false;
    // The broker grants only a process that cannot run away with a processor: one whose
    // real-time threads are stopped (SIGXCPU, then SIGKILL) after so much time without
    // a sleep. The audio thread sleeps every few milliseconds.
    const int64_t usec = broker.RtTimeUsecMax();
    if (usec <= 0) return false;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > static_cast<rlim_t>(usec)) {
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(usec);
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    }
    if (tid == 0) tid = static_cast<pid_t>(syscall(SYS_gettid));
    return broker.MakeThreadRealtime(tid, RealtimePriorityFor(most));
}

}  // namespace

RealtimeGrant MakeThreadRealtime(int64_t tid, RealtimeBroker* broker) {
    const auto id = static_cast<pid_t>(tid);
    if (Direct(id)) return RealtimeGrant::kDirect;
    if (broker && ThroughBroker(id, *broker)) return RealtimeGrant::kRtkit;
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
