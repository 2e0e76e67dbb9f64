// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/AudioHardware.h"

namespace morvale::StreamUsage {

// The IO proc stream usage record ('suse') as raw bytes: the IO proc id, a
// 32-bit stream count, then one 32-bit on/off flag per stream. Accessed through
// memcpy because the bytes come from a plain buffer.
inline constexpr std::size_t kProcOffset = 0;
inline constexpr std::size_t kCountOffset = sizeof(AudioDeviceIOProcID);
inline constexpr std::size_t kFlagsOffset = kCountOffset + sizeof(std::uint32_t);

constexpr std::size_t sizeFor(std::uint32_t streams) {
    return kFlagsOffset + std::size_t{streams} * sizeof(std::uint32_t);
}

inline AudioDeviceIOProcID proc(const unsigned char* record) {
    AudioDeviceIOProcID id;
    std::memcpy(&id, record + kProcOffset, sizeof id);
    return id;
}
inline void setProc(unsigned char* record, AudioDeviceIOProcID id) {
    std::memcpy(record + kProcOffset, &id, sizeof id);
}
inline std::uint32_t count(const unsigned char* record) {
    std::uint32_t n;
    std::memcpy(&n, record + kCountOffset, sizeof n);
    return n;
}
inline void setCount(unsigned char* record, std::uint32_t n) {
    std::memcpy(record + kCountOffset, &n, sizeof n);
}
inline std::uint32_t flag(const unsigned char* record, std::uint32_t stream) {
    std::uint32_t on;
    std::memcpy(&on, record + kFlagsOffset + stream * sizeof on, sizeof on);
    return on;
}
inline void setFlag(unsigned char* record, std::uint32_t stream, std::uint32_t on) {
    std::memcpy(record + kFlagsOffset + stream * sizeof on, &on, sizeof on);
}

}  // namespace morvale::StreamUsage
