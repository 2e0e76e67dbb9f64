// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/AudioHardware.h"
#include "platform/pulse/server/ConnectionState.h"
#include "platform/pulse/server/PulseHandles.h"

namespace morvale::pulse {

// The connection to the sound server. It owns the context and its state,
// the error that a user is shown while it is not ready, making it again
// after a loss or a timeout, the first sync (the lists asked for on
// connecting), and the requests whose replies someone waits for.
// Everything runs under the threaded main loop's lock: on libpulse's thread,
// or on a caller's thread that holds the lock (and waits in `waitFor`).
//
// What the connection's objects mean is its owner's: it is told through
// the hooks when the context is ready, when the first lists are in, and
// when the context goes.
class ServerConnection {
public:
    using State = ConnectionState;

    struct Hooks {
        // The context is ready: subscribe to events and ask for the lists.
        // Returns how many lists were asked for; each end calls listDone().
        std::function<int(pa_context*)> ready;
        // Every list is in, just before the state turns ready.
        std::function<void()> synced;
        // The context goes: forget everything of it while it is still there.
        std::function<void()> lost;
    };

    // A pending request whose reply someone wants; kept until the reply
    // comes or the connection goes.
    struct Slot {
        ServerConnection* owner;
        std::uint64_t id;
        std::function<void(std::uint32_t)> done;
    };

    ServerConnection(pa_threaded_mainloop* loop, std::string server,
                     std::chrono::milliseconds retryInterval, std::int32_t ownPid, Hooks hooks);
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    void connect();
    // The main loop could not start: no connection is made.
    void failToStart(std::string reason);
    // Forgets the context (the `lost` hook first) and schedules a new one.
    void drop(std::string reason);
    // A server that does not answer in time is treated as lost.
    OSStatus timedOut(const char* what);
    // The backend ends: the context goes without a new one.
    void close();

    pa_context* context() const { return context_; }
    // The main loop's, for timer events.
    pa_mainloop_api* api() const { return api_; }
    State state() const { return state_; }
    const std::string& error() const { return error_; }
    // The first lists of the current context are in.
    bool synced() const { return synced_; }
    // It was ready once, on this or an earlier context.
    bool everReady() const { return everReady_; }
    // This program's own client index on the server.
    std::uint32_t ownClient() const { return ownClient_; }
    void setObserver(std::function<void(State)> observer) { observer_ = std::move(observer); }

    // The end of one of the lists asked for by the `ready` hook, or of a list
    // asked for later (count it with expectList first).
    void listDone();
    void expectList() { ++pendingLists_; }

    // Wakes the callers that wait.
    void wake() { pa_threaded_mainloop_signal(loop_, 0); }

    // Waits (lock held) until `done` holds or the timeout passes; returns done().
    template <typename Pred>
    bool waitFor(Pred done, std::chrono::milliseconds timeout) {
        struct Expiry {
            pa_threaded_mainloop* loop;
            bool expired = false;
        } expiry{loop_};
        const timeval when = deadlineIn(timeout);
        pa_time_event* timer = api_->time_new(
            api_, &when,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
                auto* e = static_cast<Expiry*>(data);
                e->expired = true;
                pa_threaded_mainloop_signal(e->loop, 0);
            },
            &expiry);
        while (!done() && !expiry.expired) {
            pa_threaded_mainloop_wait(loop_);
        }
        api_->time_free(timer);
        return done();
    }

    // Sends a request whose reply runs `done` (1/0 for success, or an index):
    // `issue` gets the slot to pass as the userdata of successShim or
    // indexShim.
    template <typename Issue>
    Operation request(Issue issue, std::function<void(std::uint32_t)> done) {
        Slot* slot = newSlot(std::move(done));
        const std::uint64_t id = slot->id;
        pa_operation* op = issue(slot);
        if (op == nullptr) {
            slots_.erase(id);
        }
        return Operation(op);
    }
    static void successShim(pa_context*, int success, void* data);
    static void indexShim(pa_context*, std::uint32_t index, void* data);

private:
    Slot* newSlot(std::function<void(std::uint32_t)> done);
    static void finishSlot(void* data, std::uint32_t value);
    void setState(State next);
    void scheduleRetry(std::string reason);
    void onContextState();
    void onReady();
    void disconnect();

    pa_threaded_mainloop* const loop_;
    pa_mainloop_api* const api_;
    const std::string server_;
    const std::chrono::milliseconds retryInterval_;
    const std::int32_t ownPid_;
    const Hooks hooks_;

    pa_context* context_ = nullptr;
    State state_ = State::connecting;
    std::string error_;
    std::function<void(State)> observer_;
    pa_time_event* retry_ = nullptr;
    bool synced_ = false;
    bool everReady_ = false;
    int pendingLists_ = 0;
    std::uint32_t ownClient_ = PA_INVALID_INDEX;
    std::uint64_t nextSlot_ = 1;
    std::map<std::uint64_t, Slot> slots_;
};

}  // namespace morvale::pulse
