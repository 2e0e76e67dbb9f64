// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace morvale {


// The operating system's process services.
class ProcessInfo {
public:
    virtual ~ProcessInfo() = default;

    // This program's own process id.
    virtual std::int32_t ownPid() const = 0;

    // Writes the kernel's short name of a process into buffer as a zero-terminated
    // byte string of at most bufferSize bytes; returns the number of bytes written
    // (without the terminator), or 0 when the name cannot be read. The bytes are
    // whatever the kernel holds: they need not be valid UTF-8.
    virtual int procName(std::int32_t pid, char* buffer, std::uint32_t bufferSize) const = 0;
};

}  // namespace morvale
