// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small owners and helpers around libpulse objects, shared by the files of
// PulseAudioSystem::Impl. Private to the libpulse backend.

#include <pulse/pulseaudio.h>

#include <chrono>
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
    if (pa_stream_get_state(stream) == PA_STREAM_READY ||
        pa_stream_get_state(stream) == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
}

// A time `timeout` from now, for the main loop's timer events.
inline timeval deadlineIn(std::chrono::milliseconds timeout) {
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(timeout.count()) * 1000u);
    return when;
}

}  // namespace morvale::pulse
