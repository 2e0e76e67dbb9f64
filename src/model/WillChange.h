// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>

namespace morvale {

// A will-change channel: observers hear, before a published value changes,
// that it is about to. Notifications carry no value. Main thread only.
class WillChangeChannel {
public:
    class Subscription {
    public:
        Subscription() = default;
        Subscription(std::weak_ptr<WillChangeChannel*> channel, int id)
            : channel_(std::move(channel)), id_(id) {}
        Subscription(Subscription&&) = default;
        Subscription& operator=(Subscription&&) = default;
        ~Subscription() { cancel(); }
        void cancel();

    private:
        std::weak_ptr<WillChangeChannel*> channel_;
        int id_ = 0;
    };

    WillChangeChannel() : self_(std::make_shared<WillChangeChannel*>(this)) {}
    WillChangeChannel(const WillChangeChannel&) = delete;
    WillChangeChannel& operator=(const WillChangeChannel&) = delete;

    // The observer is called until the subscription goes.
    [[nodiscard]] Subscription subscribe(std::function<void()> observer) {
        observers_[++lastId_] = std::move(observer);
        return Subscription(self_, lastId_);
    }

    std::size_t subscriberCount() const { return observers_.size(); }

    void send() {
        // Observers may subscribe or unsubscribe while being notified.
        auto snapshot = observers_;
        for (auto& [id, observer] : snapshot) {
            if (observers_.contains(id)) {
                observer();
            }
        }
    }

private:
    std::shared_ptr<WillChangeChannel*> self_;  // lets subscriptions outlive the channel
    std::map<int, std::function<void()>> observers_;
    int lastId_ = 0;
};

inline void WillChangeChannel::Subscription::cancel() {
    if (auto channel = channel_.lock()) {
        (*channel)->observers_.erase(id_);
    }
    channel_.reset();
}

// A value whose every assignment announces itself on a channel first, equal
// values included.
template <typename T>
class Published {
public:
    Published(WillChangeChannel& channel, T initial)
        : channel_(channel), value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }

    Published& operator=(T value) {
        channel_.send();
        value_ = std::move(value);
        return *this;
    }

    // One announced change made in place (one key of a map, say).
    template <typename Change>
    void modify(Change&& change) {
        channel_.send();
        std::forward<Change>(change)(value_);
    }

private:
    WillChangeChannel& channel_;
    T value_;
};

}  // namespace morvale
