// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace morvale::pulse {

// Moves of streams (sink-inputs) between sinks, handed to the server a batch
// at a time.
//
// Moving a playing stream makes the server render the destination sink's
// buffered audio again, with every stream in it. A burst of moves keeps the
// sink's real-time thread busy without a rest (PulseAudio kills a real-time
// thread that runs for 200 ms without sleeping, and every application of the
// desktop loses its sound) and floods the server's message queues. So the
// moves wait here: at most `batch` are in flight, and the next batch goes
// once every reply of the last one is in and a pause has passed.
//
// A move the server took shows in the stream's change event, which may come
// after the reply: until then the stream still looks as if it were where it
// was, and a pass that asked for the move again would send it twice (on
// PipeWire each move costs a relinking pass of the session manager over
// every stream). So a taken move is `landing` until the stream shows it
// left, or for a second at most, and counts as `moving` meanwhile.
//
// Plain data, no server calls: the backend sends what `next` hands out and
// reports each reply with `done` (and `taken` when the server took it).
class MoveQueue {
public:
    using Clock = std::chrono::steady_clock;

    struct Move {
        std::uint32_t input;
        std::uint32_t sink;
        bool operator==(const Move&) const = default;
    };

    MoveQueue(std::size_t batch, std::chrono::milliseconds pause);

    // Wants `input` in `sink`. A wish not sent yet is replaced; one for an
    // input whose move is in flight goes with the next batch.
    void want(std::uint32_t input, std::uint32_t sink);
    // The stream is gone: its wish not sent yet is dropped (the server still
    // answers a move in flight).
    void forget(std::uint32_t input);
    // Drops the wishes not sent yet that `needless` says no longer need a
    // move: the stream already plays where it is wished. Such a wish is left
    // behind when a stream is asked for again between its move's reply and
    // the change event that shows it moved; sent anyway, it costs the server
    // a move that changes nothing (on PipeWire, a relinking pass of its
    // session manager over every stream).
    void drop(const std::function<bool(const Move&)>& needless);
    // The connection is gone: nothing waits and no reply will come.
    void clear();

    bool waiting(std::uint32_t input) const;
    bool inFlight(std::uint32_t input) const { return inFlight_.contains(input); }
    const std::set<std::uint32_t>& inFlight() const { return inFlight_; }
    // In flight, or taken and not yet shown (see `taken`).
    bool moving(std::uint32_t input, Clock::time_point now) const;
    std::set<std::uint32_t> moving(Clock::time_point now) const;
    bool idle() const { return waiting_.empty() && inFlight_.empty(); }

    // The moves to send now, oldest wish first; they count as in flight from
    // here on. Empty while a batch is in flight or the pause after it runs.
    std::vector<Move> next(Clock::time_point now);
    // When `next` hands out more: absent while nothing waits or a batch is
    // in flight.
    std::optional<Clock::time_point> readyAt() const;
    // The server answered the move of `input`.
    void done(std::uint32_t input, Clock::time_point now);
    // The server took the move of `input`, which played in `from` when the
    // move was sent: it is landing until `landed` sees it elsewhere.
    void taken(std::uint32_t input, std::uint32_t from, Clock::time_point now);
    // Ends the landing of every stream for which `left(input, from)` holds:
    // it is gone, or shows on another sink than `from`.
    void landed(const std::function<bool(std::uint32_t input, std::uint32_t from)>& left);

    // How long a taken move counts as moving without its stream showing it.
    static constexpr std::chrono::milliseconds kLandingLimit{1000};

private:
    std::size_t batch_;
    std::chrono::milliseconds pause_;
    std::vector<Move> waiting_;  // in the order of the first wish
    std::set<std::uint32_t> inFlight_;
    struct Landing {
        std::uint32_t from;
        Clock::time_point since;
        bool landing(Clock::time_point now) const { return now - since < kLandingLimit; }
    };
    std::map<std::uint32_t, Landing> landing_;
    std::optional<Clock::time_point> lastBatchDone_;
};

}  // namespace morvale::pulse
