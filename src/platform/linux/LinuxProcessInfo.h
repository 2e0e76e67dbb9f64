// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProcessInfo.h"

namespace morvale::LinuxDesktop {

// Process services from the kernel: getpid() and /proc/PID/comm.
class LinuxProcessInfo final : public ProcessInfo {
public:
    std::int32_t ownPid() const override;
    int procName(std::int32_t pid, char* buffer, std::uint32_t bufferSize) const override;
};

}  // namespace morvale::LinuxDesktop
