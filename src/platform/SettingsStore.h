#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/PropertyList.h"

namespace morvale {

// A persistent key-value store of property-list values.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored value, or absent when the key has none.
    virtual std::optional<PlistValue> value(std::string_view key) const = 0;

    // Stores value under key and writes it through at once. Returns absent on
    // success, or a message a user can read when it could not be saved; what was
    // stored before stays intact either way.
    [[nodiscard]] virtual std::optional<std::string> setValue(std::string_view key,
                                                              PlistValue value) = 0;
};

// The user's settings: the standard store and named suites.
class SettingsStores {
public:
    virtual ~SettingsStores() = default;

    virtual SettingsStore& standard() = 0;

    // A named suite, or null when it cannot be opened.
    virtual SettingsStore* suite(std::string_view name) = 0;

    // A message for the user when stored settings could not be read and were
    // set aside (never overwritten) to start afresh; absent when all is well.
    virtual std::optional<std::string> loadProblem() const { return std::nullopt; }
};

}  // namespace morvale
