// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/PropertyList.h"

namespace morvale {

// Where a copy of a store's values was kept, or why it could not be.
struct KeptCopy {
    std::optional<std::string> where;  // absent when no copy was made
    std::string failure;               // then: why, for the user
};

// A persistent key-value store of property-list values.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored value, or absent when the key has none.
    virtual std::optional<PlistValue> value(std::string_view key) const = 0;

    // Takes value under key: value() reads it back from now on. The store
    // writes it out at once or a moment later, together with whatever else
    // changed meanwhile, and tells its stores' save observer how each write
    // went; a failed write leaves what was written before intact. Returns a
    // message a user can read, and takes nothing, when the value cannot be
    // stored at all (the store must not be written, or cannot hold the value).
    [[nodiscard]] virtual std::optional<std::string> setValue(std::string_view key,
                                                              PlistValue value) = 0;

    // Keeps what the store holds now apart from it, where the user can find it
    // and the store never reads it: done before values that could not be used
    // are replaced, so that none is lost.
    virtual KeptCopy keepCopy() = 0;
};

// The user's settings: the standard store and named suites.
class SettingsStores {
public:
    // Told after every write of settings: absent when it succeeded, else a
    // message a user can read.
    using SaveObserver = std::function<void(const std::optional<std::string>& failure)>;

    virtual ~SettingsStores() = default;

    virtual SettingsStore& standard() = 0;

    // A named suite, or null when it cannot be opened.
    virtual SettingsStore* suite(std::string_view name) = 0;

    // A message for the user when stored settings could not be read and were
    // set aside (never overwritten) to start afresh; absent when all is well.
    virtual std::optional<std::string> loadProblem() const { return std::nullopt; }

    // Replaces the save observer.
    virtual void setSaveObserver(SaveObserver observer) = 0;

    // Writes out at once whatever is waiting to be written.
    virtual void flush() {}
};

}  // namespace morvale
