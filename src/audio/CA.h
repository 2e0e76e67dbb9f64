// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/FourCC.h"

namespace morvale::CA {

// Property reads that never fail loudly: each returns its stated default when
// the property cannot be read. Element 0, and the global scope unless given.

constexpr AudioObjectPropertyAddress addr(std::uint32_t selector,
                                          std::uint32_t scope = kScopeGlobal) {
    return {selector, scope, kElementMain};
}

// A fixed-size value, or fallback when it cannot be read.
template <typename T>
T get(AudioHardware& hw, AudioObjectID object, std::uint32_t selector, T fallback) {
    static_assert(std::is_trivially_copyable_v<T>, "get reads raw bytes");
    T value = fallback;
    auto size = static_cast<std::uint32_t>(sizeof(T));
    const auto address = addr(selector);
    if (hw.getPropertyData(object, address, 0, nullptr, &size, &value) != kAudioNoError) {
        return fallback;
    }
    return value;
}

// A list of object ids; empty when it cannot be read.
std::vector<AudioObjectID> ids(AudioHardware& hw, AudioObjectID object, std::uint32_t selector,
                               std::uint32_t scope = kScopeGlobal);

// A string; absent when it cannot be read or holds none. An empty string is
// returned as it is.
std::optional<std::string> string(AudioHardware& hw, AudioObjectID object,
                                  std::uint32_t selector);

// The system's default output device, or 0 when it cannot be read.
AudioObjectID defaultOutputDevice(AudioHardware& hw);

}  // namespace morvale::CA
