// Real-time scheduling for the thread that feeds the sound device: a thread that fills
// buffers of a few milliseconds must not wait behind ordinary work, or the sound breaks.
#pragma once

namespace clavora {

enum class RealtimeGrant { kNone, kDirect, kRtkit };

// Asks real-time scheduling for the calling thread: directly (SCHED_FIFO, where the
// process may, as root or within RLIMIT_RTPRIO), else through the desktop's RealtimeKit
// over D-Bus, which is how a desktop user without privileges gets it.
RealtimeGrant MakeThisThreadRealtime();
const char* RealtimeGrantName(RealtimeGrant grant);

}  // namespace clavora
