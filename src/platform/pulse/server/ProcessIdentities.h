// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <stop_token>
#include <thread>

#include "platform/linux/AppIdentity.h"

namespace morvale::pulse {

// Who a process is, as taps that capture by identity compare it: its bundle
// ID (desktop file ID), or its name when it has none.
struct ProcessIdentity {
    std::optional<std::string> bundleID;
    std::string name;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

// The identities of client processes, found on a thread of its own: finding
// one reads files (and may wait for the installed applications to be read
// again), which the server thread, which also runs the IO path, must not do.
// A client's process is asked for as soon as the client is seen, so that its
// identity is mostly known by the time its first stream comes.
class ProcessIdentities {
public:
    using Find = std::function<ProcessIdentity(const LinuxDesktop::ClientHints&)>;

    // `find` runs on the worker thread; `learned` too, after each identity
    // found, without any lock of this object held. The worker ends with this
    // object, which must not end while `learned` may be waiting for something
    // its owner holds.
    ProcessIdentities(Find find, std::function<void()> learned);

    ProcessIdentities(const ProcessIdentities&) = delete;
    ProcessIdentities& operator=(const ProcessIdentities&) = delete;

    // The identity of the process (hints.pid > 0), when known; else absent,
    // and it is asked for (once).
    std::optional<ProcessIdentity> lookup(const LinuxDesktop::ClientHints& hints);
    // Forgets every process but these (so that a reused pid is asked anew).
    void keepOnly(const std::set<std::int32_t>& pids);
    // Ends the worker now (the destructor does too); lookups then only answer
    // from what is known.
    void stop();

private:
    void run(const std::stop_token& stop);

    Find find_;
    std::function<void()> learned_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::map<std::int32_t, std::optional<ProcessIdentity>> known_;  // absent: being found
    std::deque<LinuxDesktop::ClientHints> queue_;
    std::jthread worker_;  // last: it ends, and is joined, before the rest goes
};

}  // namespace morvale::pulse
