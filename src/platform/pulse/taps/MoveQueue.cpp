// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/MoveQueue.h"

#include <algorithm>

namespace morvale::pulse {

MoveQueue::MoveQueue(std::size_t batch, std::chrono::milliseconds pause)
    : batch_(std::max<std::size_t>(batch, 1)), pause_(pause) {}

void MoveQueue::want(std::uint32_t input, std::uint32_t sink) {
    const auto found = std::find_if(waiting_.begin(), waiting_.end(),
                                    [&](const Move& move) { return move.input == input; });
    if (found != waiting_.end()) {
        found->sink = sink;
    } else {
        waiting_.push_back({input, sink});
    }
}

void MoveQueue::forget(std::uint32_t input) {
    std::erase_if(waiting_, [&](const Move& move) { return move.input == input; });
    landing_.erase(input);
}

void MoveQueue::drop(const std::function<bool(const Move&)>& needless) {
    std::erase_if(waiting_, needless);
}

void MoveQueue::clear() {
    waiting_.clear();
    inFlight_.clear();
    landing_.clear();
    lastBatchDone_.reset();
}

bool MoveQueue::waiting(std::uint32_t input) const {
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [&](const Move& move) { return move.input == input; });
}

std::vector<MoveQueue::Move> MoveQueue::next(Clock::time_point now) {
    std::vector<Move> batch;
    const auto ready = readyAt();
    if (!ready || now < *ready) {
        return batch;
    }
    const auto end =
        waiting_.begin() + static_cast<std::ptrdiff_t>(std::min(batch_, waiting_.size()));
    batch.assign(waiting_.begin(), end);
    waiting_.erase(waiting_.begin(), end);
    for (const Move& move : batch) {
        inFlight_.insert(move.input);
    }
    return batch;
}

std::optional<MoveQueue::Clock::time_point> MoveQueue::readyAt() const {
    if (!inFlight_.empty() || waiting_.empty()) {
        return std::nullopt;
    }
    return lastBatchDone_ ? *lastBatchDone_ + pause_ : Clock::time_point::min();
}

void MoveQueue::done(std::uint32_t input, Clock::time_point now) {
    if (inFlight_.erase(input) > 0 && inFlight_.empty()) {
        lastBatchDone_ = now;
    }
}

void MoveQueue::taken(std::uint32_t input, std::uint32_t from, Clock::time_point now) {
    landing_.insert_or_assign(input, Landing{from, now});
}

void MoveQueue::landed(const std::function<bool(std::uint32_t, std::uint32_t)>& left) {
    std::erase_if(landing_, [&](const auto& item) { return left(item.first, item.second.from); });
}

bool MoveQueue::moving(std::uint32_t input, Clock::time_point now) const {
    const auto it = landing_.find(input);
    return inFlight_.contains(input) || (it != landing_.end() && it->second.landing(now));
}

std::set<std::uint32_t> MoveQueue::moving(Clock::time_point now) const {
    std::set<std::uint32_t> inputs = inFlight_;
    for (const auto& [input, landing] : landing_) {
        if (landing.landing(now)) {
            inputs.insert(input);
        }
    }
    return inputs;
}

}  // namespace morvale::pulse
