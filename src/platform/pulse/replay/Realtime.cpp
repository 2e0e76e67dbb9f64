// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/replay/Realtime.h"

#include <dbus/dbus.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace morvale::pulse {

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kPath = "/org/freedesktop/RealtimeKit1";
constexpr int kTimeoutMs = 500;
constexpr rlim_t kRtTimeUsec = 200'000;

#ifndef SCHED_RESET_ON_FORK
#define SCHED_RESET_ON_FORK 0x40000000
#endif

// Caps the CPU time a real-time thread of this process may use without
// sleeping; an existing lower cap stays.
bool limitRtTime(rlim_t usec) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_RTTIME, &limit) != 0) {
        return false;
    }
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= usec) {
        return true;
    }
    limit.rlim_cur = limit.rlim_max = usec;
    return ::setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

bool setDirectly(pid_t tid, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // Children started from this thread do not inherit it.
    return ::sched_setscheduler(tid, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0;
}

// A private connection to the system bus, closed when it goes.
class SystemBus {
public:
    SystemBus() {
        DBusError error;
        dbus_error_init(&error);
        connection_ = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
        dbus_error_free(&error);
        if (connection_ != nullptr) {
            // libdbus would end the whole process when the bus goes away.
            dbus_connection_set_exit_on_disconnect(connection_, FALSE);
        }
    }
    ~SystemBus() {
        if (connection_ != nullptr) {
            dbus_connection_close(connection_);
            dbus_connection_unref(connection_);
        }
    }
    SystemBus(const SystemBus&) = delete;
    SystemBus& operator=(const SystemBus&) = delete;

    explicit operator bool() const { return connection_ != nullptr; }

    // Sends `call` (which it takes over) and returns the reply, or null.
    DBusMessage* call(DBusMessage* call) {
        if (call == nullptr) {
            return nullptr;
        }
        DBusError error;
        dbus_error_init(&error);
        DBusMessage* reply =
            dbus_connection_send_with_reply_and_block(connection_, call, kTimeoutMs, &error);
        dbus_error_free(&error);
        dbus_message_unref(call);
        return reply;
    }

    // An integer property of RealtimeKit (int32 or int64).
    std::optional<std::int64_t> property(const char* name) {
        DBusMessage* get =
            dbus_message_new_method_call(kService, kPath, "org.freedesktop.DBus.Properties", "Get");
        if (get == nullptr) {
            return std::nullopt;
        }
        const char* interface = kService;
        if (!dbus_message_append_args(get, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                                      DBUS_TYPE_INVALID)) {
            dbus_message_unref(get);
            return std::nullopt;
        }
        DBusMessage* reply = call(get);
        if (reply == nullptr) {
            return std::nullopt;
        }
        std::optional<std::int64_t> value;
        DBusMessageIter iter;
        DBusMessageIter variant;
        if (dbus_message_iter_init(reply, &iter) &&
            dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&iter, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT32) {
                dbus_int32_t v = 0;
                dbus_message_iter_get_basic(&variant, &v);
                value = v;
            } else if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT64) {
                dbus_int64_t v = 0;
                dbus_message_iter_get_basic(&variant, &v);
                value = v;
            }
        }
        dbus_message_unref(reply);
        return value;
    }

private:
    DBusConnection* connection_ = nullptr;
};

bool askRealtimeKit(pid_t tid, int priority) {
    SystemBus bus;
    if (!bus) {
        return false;
    }
    const auto maxPriority = bus.property("MaxRealtimePriority");
    const auto maxRtTime = bus.property("RTTimeUSecMax");
    if (!maxPriority || *maxPriority < 1 || !maxRtTime || *maxRtTime <= 0 ||
        !limitRtTime(std::min(kRtTimeUsec, static_cast<rlim_t>(*maxRtTime)))) {
        return false;
    }
    DBusMessage* request =
        dbus_message_new_method_call(kService, kPath, kService, "MakeThreadRealtime");
    if (request == nullptr) {
        return false;
    }
    dbus_uint64_t thread = static_cast<dbus_uint64_t>(tid);
    dbus_uint32_t level =
        static_cast<dbus_uint32_t>(std::clamp<std::int64_t>(priority, 1, *maxPriority));
    if (!dbus_message_append_args(request, DBUS_TYPE_UINT64, &thread, DBUS_TYPE_UINT32, &level,
                                  DBUS_TYPE_INVALID)) {
        dbus_message_unref(request);
        return false;
    }
    DBusMessage* reply = bus.call(request);
    if (reply == nullptr) {
        return false;
    }
    const bool granted = dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
    dbus_message_unref(reply);
    return granted;
}

}  // namespace

RealtimeGrant makeRealtime(pid_t tid, int priority) {
    if (limitRtTime(kRtTimeUsec) && setDirectly(tid, priority)) {
        return RealtimeGrant::direct;
    }
    return askRealtimeKit(tid, priority) ? RealtimeGrant::realtimeKit : RealtimeGrant::unavailable;
}

}  // namespace morvale::pulse
