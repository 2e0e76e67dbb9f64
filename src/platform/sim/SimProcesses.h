// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>

#include "platform/ProcessInfo.h"
#include "platform/RunningApplications.h"

namespace morvale::sim {

// Processes and running applications as a test or demo sets them up.
class SimProcesses final : public ProcessInfo, public RunningApplications {
public:
    std::int32_t ownPidValue = 4242;
    std::map<std::int32_t, std::string> shortNames;           // raw bytes, as the kernel keeps them
    std::map<std::int32_t, RunningApplication> applications;  // by pid

    std::int32_t ownPid() const override { return ownPidValue; }

    int procName(std::int32_t pid, char* buffer, std::uint32_t bufferSize) const override {
        const auto it = shortNames.find(pid);
        if (it == shortNames.end() || bufferSize == 0) {
            return 0;
        }
        // Like the kernel's call: as many bytes as fit, zero-terminated when room is left.
        const std::size_t n = std::min<std::size_t>(it->second.size(), bufferSize);
        it->second.copy(buffer, n);
        if (n < bufferSize) {
            buffer[n] = '\0';
        }
        return static_cast<int>(n);
    }

    std::optional<RunningApplication> application(std::int32_t pid) const override {
        const auto it = applications.find(pid);
        if (it == applications.end()) {
            return std::nullopt;
        }
        return it->second;
    }
};

}  // namespace morvale::sim
