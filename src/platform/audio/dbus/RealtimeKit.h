// RealtimeKit (org.freedesktop.RealtimeKit1 on the system bus), the desktop's broker of
// real-time scheduling for users without privileges: our own small client of it.
#pragma once

#include <cstdint>

#include "platform/audio/Realtime.h"

struct DBusConnection;

namespace clavora {

class RealtimeKit : public RealtimeBroker {
public:
    // Connects to the system bus (a connection of its own, closed again with this).
    RealtimeKit();
    ~RealtimeKit() override;
    RealtimeKit(const RealtimeKit&) = delete;
    RealtimeKit& operator=(const RealtimeKit&) = delete;

    int MaxRealtimePriority() override;
    int64_t RtTimeUsecMax() override;
    bool MakeThreadRealtime(int64_t tid, int priority) override;

private:
    // A property of RealtimeKit1 as an integer; -1 when it cannot be read.
    int64_t Property(const char* name);

    DBusConnection* m_bus = nullptr;
};

// The calling thread made real-time as a desktop allows: directly where the process may,
// else through RealtimeKit, at the policy's priority (Realtime.h).
RealtimeGrant MakeThisThreadRealtime();
// The same for thread tid of this process, from any thread (the bus is asked there).
RealtimeGrant MakeThreadRealtime(int64_t tid);

}  // namespace clavora
