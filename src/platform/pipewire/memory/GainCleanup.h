// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>

namespace morvale::pipewire {

struct CleanupResult {
    int nodesReset = 0;  // live nodes of the journal's daemon set back to 1.0
    int keysReset = 0;   // stored values WirePlumber now holds at 1.0 again
    bool journalRemoved = false;
    // Empty when everything the journal records is undone; else what was not
    // (the journal then stays for the next attempt), or what was damaged in it.
    std::string error;
    // What was undone with a side effect (a stored value of the application's
    // own that could not be kept), for the log; empty when there was none.
    std::string notice;
};

// Undoes what the journal at journalPath records, on the PipeWire daemon that
// the environment names (PIPEWIRE_REMOTE, XDG_RUNTIME_DIR): sets volume 1.0 on
// every recorded node still alive on the same daemon instance, then makes
// WirePlumber store 1.0 for every recorded key whose stored volume (in
// wirePlumberStateFolder) is not 1.0: a live node of ours with that key saves
// it by itself; otherwise a short-lived, unlinked node with the key's
// properties is made, WirePlumber restores the stored volume onto it, it is
// set to 1.0 and WirePlumber saves that. Waits until the state file shows 1.0
// for every such key, then removes the journal. A file that is not a journal
// is left alone. Blocking; returns within about `timeout`.
CleanupResult cleanUpJournal(const std::string& journalPath, std::chrono::milliseconds timeout);

// The same with WirePlumber's state folder given (tests, the lab).
CleanupResult cleanUpJournal(const std::string& journalPath, const std::string& wirePlumberState,
                             std::chrono::milliseconds timeout);

}  // namespace morvale::pipewire
