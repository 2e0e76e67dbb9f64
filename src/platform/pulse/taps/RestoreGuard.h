// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pulse/ext-stream-restore.h>
#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace morvale::pulse {

// Keeps the server's stream-restore entries off our tap sinks. It owns the
// entries as last read, the guarded keys with the device each is to name,
// and the reads in flight. Runs under the main loop's lock: on libpulse's
// thread, or on a caller's thread that holds the lock.
//
// Moving a stream makes the server's stream restore remember the sink under
// the stream's restore key, so that other streams with that key would start
// in our tap sink, and after a crash the application would keep starting
// in an orphaned one. Entries that point at a tap sink are put back to the
// device they named before; so are the entries that moving a stream back
// touches, for a short while after its tap went (`release`). A device the
// user chose for a captured stream while it was tapped is kept. Our own
// streams' entries are kept free of any volume and mute.
class RestoreGuard {
public:
    using Clock = std::chrono::steady_clock;

    // How long a key that one of our moves touched stays guarded after its
    // tap went, so that the save that follows moving a stream back is undone
    // too.
    static constexpr std::chrono::seconds kLinger{3};

    struct Entry {
        std::optional<std::string> device;
        pa_channel_map map{};
        pa_cvolume volume{};
        int mute = 0;
    };

    // `isChosenSink`: whether the user chose this device for a stream while
    // it was tapped. `wake`: a read finished (waiters look again).
    RestoreGuard(std::function<bool(const std::string& device)> isChosenSink,
                 std::function<void()> wake);
    RestoreGuard(const RestoreGuard&) = delete;
    RestoreGuard& operator=(const RestoreGuard&) = delete;

    // The connection is ready and answered whether it has stream restore
    // (`version` is kNoIndex when it has not): follows its entries from now.
    void start(pa_context* context, std::uint32_t version);
    // The connection goes: forgets its entries and reads; the guards stay
    // for the next one.
    void stop();
    // The moves of a tap are over: every guarded key is kept for kLinger
    // more, then let go.
    void release(Clock::time_point now = Clock::now());
    // A stream with this restore key is being sent to a sink its route
    // names: the entry the server saves for that move is put back to what
    // it named before, for kLinger, so that streams of other applications
    // that share the key (a media role) do not start there, and nothing is
    // left pinned once the route goes. Before the first read (routes applied
    // as a connection comes up) the key waits for that read: it was asked
    // for before the move, so its entries are what the key named before.
    void touch(const std::string& name, Clock::time_point now = Clock::now());

    // The entries the server has now. Returns the keys it rewrote, each with
    // the device it is to name (none: the server's default).
    using Rewrites = std::map<std::string, std::optional<std::string>>;
    Rewrites onRead(std::map<std::string, Entry> entries, Clock::time_point now = Clock::now());
    // The keys whose entries the last read removed (among its rewrites).
    const std::set<std::string>& removed() const { return removed_; }

private:
    struct Guard {
        std::optional<std::string> baseline;
        std::optional<Clock::time_point> until;
        // There was no entry before a route's move: one that holds nothing
        // but the move's device is removed rather than put back.
        bool noEntry = false;
    };
    // A read in flight: libpulse calls back once per entry and once at the end.
    struct Reader {
        RestoreGuard* owner;
        std::uint64_t id;
        std::map<std::string, Entry> entries;
    };

    void read();
    // Guards `name` with the device `entries` give it (or its absence) as
    // the baseline, until `until`.
    void guardAgainst(const std::string& name, const std::map<std::string, Entry>& entries,
                      Clock::time_point until);
    static void readShim(pa_context*, const pa_ext_stream_restore_info* info, int eol, void* data);
    void rewrite(const std::string& name, Entry& entry, const std::optional<std::string>& device);
    void remove(const std::string& name);

    const std::function<bool(const std::string&)> isChosenSink_;
    const std::function<void()> wake_;
    pa_context* context_ = nullptr;  // while the server has stream restore
    std::map<std::string, Entry> entries_;
    std::map<std::string, Guard> guards_;
    bool read_ = false;  // the entries were read at least once
    // Keys a route's move touched before the first read, and when.
    std::map<std::string, Clock::time_point> touchedEarly_;
    std::set<std::string> removed_;
    std::uint64_t nextReader_ = 1;
    std::map<std::uint64_t, std::unique_ptr<Reader>> readers_;
};

}  // namespace morvale::pulse
