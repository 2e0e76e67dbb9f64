// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/server/ProcessIdentities.h"

#include <utility>

namespace morvale::pulse {

ProcessIdentities::ProcessIdentities(Find find, std::function<void()> learned)
    : find_(std::move(find)),
      learned_(std::move(learned)),
      worker_([this](const std::stop_token& stop) { run(stop); }) {}

void ProcessIdentities::stop() {
    worker_.request_stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

std::optional<ProcessIdentity> ProcessIdentities::lookup(const LinuxDesktop::ClientHints& hints) {
    if (hints.pid <= 0) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    const auto [it, asked] = known_.try_emplace(hints.pid);
    if (asked && !worker_.get_stop_token().stop_requested()) {
        queue_.push_back(hints);
        wake_.notify_one();
    }
    return it->second;
}

void ProcessIdentities::keepOnly(const std::set<std::int32_t>& pids) {
    std::lock_guard lock(mutex_);
    std::erase_if(known_, [&](const auto& item) { return !pids.contains(item.first); });
}

void ProcessIdentities::run(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // Returns at once when a stop was asked for, also while not waiting.
        if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); }) || stop.stop_requested()) {
            return;
        }
        const LinuxDesktop::ClientHints hints = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        ProcessIdentity identity = find_(hints);
        lock.lock();
        // Forgotten meanwhile: the process went, and its answer with it.
        const auto it = known_.find(hints.pid);
        if (it == known_.end()) {
            continue;
        }
        it->second = std::move(identity);
        lock.unlock();
        learned_();
        lock.lock();
    }
}

}  // namespace morvale::pulse
