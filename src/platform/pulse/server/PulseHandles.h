// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small owners and helpers around libpulse objects, shared by the files of
// PulseAudioSystem::Impl. Private to the libpulse backend.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace morvale::pulse {

// Owns a proplist.
struct Proplist {
    pa_proplist* list = pa_proplist_new();
    Proplist() = default;
    Proplist(const Proplist&) = delete;
    Proplist& operator=(const Proplist&) = delete;
    ~Proplist() { pa_proplist_free(list); }
    void set(const char* key, const std::string& value) {
        pa_proplist_sets(list, key, value.c_str());
    }
};

// Owns one reference to an operation; an operation whose result nobody waits
// for is released right away with `forget`.
class Operation {
public:
    explicit Operation(pa_operation* op = nullptr) : op_(op) {}
    Operation(Operation&& other) noexcept : op_(std::exchange(other.op_, nullptr)) {}
    Operation& operator=(Operation&& other) noexcept {
        std::swap(op_, other.op_);
        return *this;
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    ~Operation() {
        if (op_ != nullptr) {
            pa_operation_unref(op_);
        }
    }
    explicit operator bool() const { return op_ != nullptr; }
    bool running() const {
        return op_ != nullptr && pa_operation_get_state(op_) == PA_OPERATION_RUNNING;
    }
    void cancel() {
        if (running()) {
            pa_operation_cancel(op_);
        }
    }

private:
    pa_operation* op_;
};

inline void forget(pa_operation* op) {
    Operation release(op);
}
inline void forget(Operation) {}

// Disconnects and releases a stream without its callbacks running again,
// and sets it to null.
inline void destroyStream(pa_stream*& stream) {
    if (stream == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream, nullptr, nullptr);
    pa_stream_set_moved_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_READY ||
        pa_stream_get_state(stream) == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
}

// 100% on every one of `channels` channels.
inline pa_cvolume fullVolume(std::uint8_t channels) {
    pa_cvolume volume{};
    pa_cvolume_set(&volume, channels != 0 ? channels : 1, PA_VOLUME_NORM);
    return volume;
}

// Whether a stream of ours plays (or records) as it is made to: at 100% on
// every channel and unmuted. Another mixer may have changed it; what it
// sounds like is decided by the IO block, and a volume on top would multiply
// with it (and be remembered by the server for the next stream).
inline bool atFullLevel(const pa_cvolume& volume, bool muted) {
    return !muted && (volume.channels == 0 || pa_cvolume_channels_equal_to(&volume, PA_VOLUME_NORM));
}

// A time `timeout` from now, for the main loop's timer events.
inline timeval deadlineIn(std::chrono::milliseconds timeout) {
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(timeout.count()) * 1000u);
    return when;
}

}  // namespace morvale::pulse
