// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/AudioHardware.h"
#include "platform/pulse/taps/MoveQueue.h"
#include "platform/pulse/server/ObjectTable.h"
#include "platform/pulse/server/ProcessFacts.h"
#include "platform/pulse/server/ProcessIdentities.h"
#include "platform/pulse/server/ServerConnection.h"
#include "platform/pulse/server/StreamOrigins.h"

namespace morvale::pulse {

// A process tap: the processes it captures, and the null sink on the server
// that their streams are moved into while it captures.
struct Tap {
    AudioObjectID id = 0;
    AudioObjectID stream = 0;           // the input stream it adds to an aggregate device
    TapDescription description;         // as last given
    std::set<AudioObjectID> processes;  // the ones it lists
    // What it captures now: the processes it lists, and those it captures
    // by who they are that no other tap lists. Worked out on every pass.
    std::set<AudioObjectID> members;
    std::string uuid;
    std::uint8_t channels = 0;  // 0: the default sink's
    std::string sinkName;       // the sink of the current connection
    std::uint32_t module = kNoIndex;
    bool loading = false;
    bool releasing = false;
    // Captures from its creation (mute behaviour `muted`), rather than
    // only while an IO proc reads it (`mutedWhenTapped`).
    bool always = false;
    int loadAttempts = 0;
    OSStatus failure = kAudioNoError;
    StreamOrigins origins;
};

// PulseAudio mixes at most 32 sounding streams into one sink and leaves any
// more out of the mix unheard, so a sink is given one fewer: the spare is
// for the tap's replay on a real sink, or for a stream the server puts into
// a tap sink before it is sent back out. PipeWire has no such limit.
inline constexpr std::size_t kPulseSinkRoom = 31;

// The taps and their sinks on the server. It owns the taps, loading and
// unloading their null sinks, moving the tapped streams in and out of them
// a few at a time (MoveQueue, with its timer), where each stream came from
// (StreamOrigins), and removing the tap sinks that a dead process of this
// program left behind (orphans). Runs under the main loop's lock: on
// libpulse's thread, or on a caller's thread that holds the lock.
//
// Whether a tap captures now depends on the IO procs that read it, which
// are not its own: it asks through the `capturing` hook.
class TapSinks {
public:
    struct Hooks {
        // The tap's processes are silenced into its sink now.
        std::function<bool(const Tap&)> capturing;
        // Something changed that the rest of the backend follows.
        std::function<void()> reconcile;
        // Where a stream's output route sends it when the tap lets it go:
        // a sink name, empty for the default, absent where no route did.
        std::function<std::optional<std::string>(std::uint32_t input)> routeWish;
    };

    TapSinks(ServerConnection& connection, const ObjectTable& table, ProcessIdentities& identities,
             const ProcessFacts& facts, std::int32_t ownPid, std::string ownStart,
             std::chrono::milliseconds timeout, Hooks hooks);
    TapSinks(const TapSinks&) = delete;
    TapSinks& operator=(const TapSinks&) = delete;

    std::map<AudioObjectID, Tap>& taps() { return taps_; }
    const std::map<AudioObjectID, Tap>& taps() const { return taps_; }

    // Brings the server in line with the taps (connected and synced only):
    // loads missing tap sinks, moves streams in and out, removes orphans.
    void update();
    // Moves every stream of the tap back out, waits until they are out, then
    // unloads its sink and waits for that. Returns false when the server was
    // gone or did not answer in time.
    bool release(Tap& tap);
    // A sink-input is gone: a move of it will not be answered by its change.
    void inputGone(std::uint32_t input) { moves_.forget(input); }
    // How many streams a tap sink takes in at most (see kPulseSinkRoom).
    void setSinkRoom(std::size_t streams) { sinkRoom_ = streams; }
    // The connection goes: the taps stay, their sinks and moves are forgotten.
    void forgetConnection();
    // The backend ends: no timer stays behind.
    void close();

    // Every stream of the tap's processes is inside its sink, or as many as
    // it takes in.
    bool settled(const Tap& tap) const;
    // A capturing tap has more streams than its sink takes in: some of them
    // play at their own volume, or are not heard where their sink is full.
    bool crowded() const;
    // No stream but a call mirror is inside the tap's sink.
    bool sinkEmpty(const Tap& tap) const;
    bool hasOrphans() const;
    // The user chose this device for a stream of a tap while it was tapped.
    bool isChosenSink(const std::string& device) const;

private:
    void updateMembers();
    Tap* tapOfSink(std::uint32_t sinkIndex);
    void loadSink(Tap& tap);
    void retryLater(std::chrono::milliseconds pause);
    void moveStreams();
    void moveInput(std::uint32_t input, std::uint32_t sink);
    void pumpMoves();
    void noteLandings();
    bool isOrphan(const SinkRecord& sink) const;
    void sweepOrphans();
    void unloadModule(std::uint32_t module);
    const SinkRecord* returnTarget(const Tap& tap, std::uint32_t input) const;
    // The tap's processes' streams: how many there are, and how many of them
    // are inside its sink (that is `sink`).
    std::pair<std::size_t, std::size_t> memberStreams(const Tap& tap, std::uint32_t sink) const;
    void sendBack(Tap& tap);

    ServerConnection& connection_;
    const ObjectTable& table_;
    ProcessIdentities& identities_;
    const ProcessFacts& facts_;
    const std::int32_t ownPid_;
    const std::string ownStart_;
    const std::chrono::milliseconds timeout_;
    const Hooks hooks_;

    std::map<AudioObjectID, Tap> taps_;
    std::size_t sinkRoom_ = kPulseSinkRoom;
    unsigned sinkCounter_ = 0;
    // A few moves at a time, a short pause between batches.
    MoveQueue moves_{8, std::chrono::milliseconds(10)};
    pa_time_event* moveTimer_ = nullptr;
    std::set<std::uint32_t> unloading_;  // modules of orphaned sinks being removed
};

}  // namespace morvale::pulse
