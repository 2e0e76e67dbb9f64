// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace morvale::pipewire {

// A process that outlives this one and undoes its gains when it ends, however
// it ends (kill -9 included): the program itself, run with the hidden argument
// `--pipewire-cleanup=<journal path>`. It waits for the end of a pipe whose
// other end only this process holds, then runs cleanUpJournal on the journal.
// Before that it replays a journal left by an earlier run that could not
// clean up (a power cut), so that run's gains are undone before this one sets
// any.
class GainWatchdog {
public:
    // Starts the watchdog (fork, then exec of /proc/self/exe). To be called
    // early, before libpipewire or Qt start threads, and before a GainJournal
    // is made on the same path. Null when it cannot start (no pipe, no fork).
    // `program` must answer kCleanupOption by calling runCleanupCommand.
    static std::unique_ptr<GainWatchdog> start(const std::string& journalPath,
                                               const std::string& program = "/proc/self/exe");
    // Closing the pipe lets the watchdog clean up at once.
    ~GainWatchdog();
    GainWatchdog(const GainWatchdog&) = delete;
    GainWatchdog& operator=(const GainWatchdog&) = delete;

    // Blocks until the watchdog has replayed the earlier journal (true), or
    // the timeout passes or the watchdog is gone (false).
    bool waitUntilReplayed(std::chrono::milliseconds timeout);

private:
    GainWatchdog(int alive, int replayed) : alive_(alive), replayed_(replayed) {}
    int alive_ = -1;     // write end: its closing is this process's end
    int replayed_ = -1;  // read end: a byte (or its end) once the replay is done
    bool replayDone_ = false;
};

// What the program runs for `--pipewire-cleanup=<path>`: as a watchdog when
// GainWatchdog::start made it, else a single cleanup of that journal. Returns
// the exit status (0 when everything recorded is undone).
int runCleanupCommand(std::string_view argument);

// The hidden option's prefix, for main().
inline constexpr std::string_view kCleanupOption = "--pipewire-cleanup=";

}  // namespace morvale::pipewire
