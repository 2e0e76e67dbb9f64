// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pipewire/memory/StreamKey.h"

namespace morvale::pipewire {

// What a journal file says: the daemon its node serials belong to, the nodes
// this program set a gain on, and the WirePlumber keys their gains may have
// been saved under.
// The process a journal belongs to: its pid and start time (clock ticks after
// boot), which together name one process for its whole life.
struct JournalOwner {
    std::int32_t pid = 0;
    std::uint64_t startTime = 0;
    friend bool operator==(const JournalOwner&, const JournalOwner&) = default;
};

struct JournalContents {
    std::optional<JournalOwner> owner;
    std::optional<std::uint32_t> daemon;          // pw_core_info cookie
    std::map<std::uint64_t, std::string> nodes;   // node serial -> key text
    std::map<std::string, StreamKey, std::less<>> keys;  // by key text
    // One line per line that could not be read, or for a file that is not a
    // journal at all; what could be read is kept.
    std::vector<std::string> problems;
    bool isJournal = false;  // the file starts with the journal's own first line
};

// The file format: one record per line, fields separated by one space, every
// field percent-encoded (bytes up to space, '%', '=' and DEL), so that any
// property value survives and nothing in it can make a line of its own.
//
//   morvale-pipewire-gains 1
//   owner 4711 1234567
//   daemon 342621524
//   key Output/Audio:media.role:Music media.class=Stream/Output/Audio media.role=Music
//   node 51 Output/Audio:media.role:Music
JournalContents parseJournal(std::string_view text);
std::string formatJournal(const JournalContents& contents);
// Reads the journal at path; a missing file is an empty journal, anything
// unreadable or damaged is described in problems.
JournalContents readJournal(const std::string& path);

// This process, as a journal's owner.
std::optional<JournalOwner> thisProcess();
// Whether the owner still runs (a zombie does not): its journal is then not
// stale, whoever else finds it (a second start of the program, say).
bool ownerRuns(const JournalOwner& owner);

// The durable record of the gains this process sets, so that a watchdog (after
// a kill -9) or the next start (after a power cut) can undo them. Every write
// replaces the file atomically and flushes it and its folder, so the file on
// disk is always a whole journal, old or new.
class GainJournal {
public:
    // Keeps what a journal already at path records (an earlier run that could
    // not clean up): it stays until a cleanup has undone it.
    explicit GainJournal(std::string path);

    // $XDG_STATE_HOME/morvale/pipewire-gains (~/.local/state when unset).
    static std::string defaultPath();
    const std::string& path() const { return path_; }

    // The daemon this run talks to. Node serials mean something only for one
    // daemon instance: nodes recorded for another one are dropped (their keys stay).
    void setDaemon(std::uint32_t cookie);
    // To be called before the first volume other than 1.0 is set on a node:
    // on disk when it returns true; false (and lastError()) when the journal
    // could not be written.
    bool willSet(std::uint64_t nodeSerial, const StreamKey& key);
    // The node went back to 1.0, or is gone. Its key stays recorded, since its
    // stored value may still need a reset. Not flushed at once: a journal that
    // still names a released node only makes a cleanup set 1.0 once more.
    void released(std::uint64_t nodeSerial);
    // Everything is undone: the file goes. False (and lastError()) when it
    // could not be removed.
    bool clear();

    const JournalContents& contents() const { return contents_; }
    // Why the last write or removal failed; empty after a success.
    const std::string& lastError() const { return lastError_; }

private:
    bool write();

    std::string path_;
    JournalContents contents_;
    bool dirty_ = false;
    std::string lastError_;
};

}  // namespace morvale::pipewire
