#include "platform/audio/dbus/RealtimeKit.h"

#include <unistd.h>

#include <dbus/dbus.h>

namespace clavora {

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
// Asked from the audio thread before its first fill: a broker that does not answer in
// this time is given up, and the sound plays at ordinary priority.
constexpr int kReplyMs = 500;

}  // namespace

RealtimeKit::RealtimeKit() {
    DBusError error;
    dbus_error_init(&error);
    m_bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    dbus_error_free(&error);
    // The program goes on if the bus does; a bus that goes must not end the program.
    if (m_bus) dbus_connection_set_exit_on_disconnect(m_bus, false);
}

RealtimeKit::~RealtimeKit() {
    if (!m_bus) return;
    dbus_connection_close(m_bus);
    dbus_connection_unref(m_bus);
}

int64_t RealtimeKit::Property(const char* name) {
    if (!m_bus) return -1;
    DBusMessage* call = dbus_message_new_method_call(kService, kPath,
                                                     "org.freedesktop.DBus.Properties", "Get");
    if (!call) return -1;
    const char* interface = kService;
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                             DBUS_TYPE_INVALID);
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(m_bus, call, kReplyMs, &error);
    dbus_message_unref(call);
    dbus_error_free(&error);
    if (!reply) return -1;
    int64_t value = -1;
    DBusMessageIter iter, variant;
    if (dbus_message_iter_init(reply, &iter) &&
        dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&iter, &variant);
        // Older daemons give the priority as 32 bits and the time as 64.
        switch (dbus_message_iter_get_arg_type(&variant)) {
        case DBUS_TYPE_INT32: {
            dbus_int32_t v = 0;
            dbus_message_iter_get_basic(&variant, &v);
            value = v;
            break;
        }
        case DBUS_TYPE_INT64: {
            dbus_int64_t v = 0;
            dbus_message_iter_get_basic(&variant, &v);
            value = v;
            break;
        }
        default: break;
        }
    }
    dbus_message_unref(reply);
    return value;
}

int RealtimeKit::MaxRealtimePriority() {
    const int64_t value = Property("MaxRealtimePriority");
    return value > 0 && value < 100 ? static_cast<int>(value) : -1;
}

int64_t RealtimeKit::RtTimeUsecMax() { return Property("RTTimeUSecMax"); }

bool RealtimeKit::MakeThreadRealtime(int64_t tid, int priority) {
    if (!m_bus || priority < 1) return false;
    DBusMessage* call =
        dbus_message_new_method_call(kService, kPath, kService, "MakeThreadRealtimeWithPID");
    if (!call) return false;
    dbus_uint64_t pid = static_cast<dbus_uint64_t>(getpid());
    dbus_uint64_t thread = static_cast<dbus_uint64_t>(tid);
    dbus_uint32_t prio = static_cast<dbus_uint32_t>(priority);
    dbus_message_append_args(call, DBUS_TYPE_UINT64, &pid, DBUS_TYPE_UINT64, &thread,
                             DBUS_TYPE_UINT32, &prio, DBUS_TYPE_INVALID);
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(m_bus, call, kReplyMs, &error);
    dbus_message_unref(call);
    // A refusal comes back as an error (not authorized, over the daemon's limits).
    const bool granted = reply != nullptr && !dbus_error_is_set(&error);
    dbus_error_free(&error);
    if (reply) dbus_message_unref(reply);
    return granted;
}

RealtimeGrant MakeThreadRealtime(int64_t tid) {
    // Directly first: the bus is asked only where the process may not itself.
    RealtimeGrant grant = MakeThreadRealtime(tid, nullptr);
    if (grant != RealtimeGrant::kNone) return grant;
    RealtimeKit kit;
    return MakeThreadRealtime(tid, &kit);
}

RealtimeGrant MakeThisThreadRealtime() { return MakeThreadRealtime(0); }

}  // namespace clavora
