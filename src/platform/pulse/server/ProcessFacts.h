// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvale::pulse {

// What an audio client claims about the process it runs in.
struct PidClaim {
    std::optional<std::int32_t> securePid;    // from the server's socket credentials
    std::optional<std::int32_t> reportedPid;  // what the client says (application.process.id)
    std::optional<std::string> binary;        // application.process.binary
    std::optional<std::string> host;          // application.process.host
};

// Reads process facts from a proc file system (the real /proc, or a copy laid
// out the same way).
class ProcessFacts {
public:
    explicit ProcessFacts(std::string procRoot = "/proc", std::string hostName = thisHost());

    // The host pid of the client, or 0 when the claim cannot be trusted. A
    // reported pid is trusted when a process with that pid runs in this pid
    // namespace and its executable matches the reported binary; else socket
    // credentials, when their process's executable matches (PipeWire's
    // PulseAudio server reports its own pid for its clients); else a client
    // inside a sandbox, which reports its pid in the sandbox's namespace, is
    // mapped back to its host pid through the NSpid lines of /proc/PID/status
    // when exactly one process with that binary matches. A client on another
    // host gets 0.
    std::int32_t hostPid(const PidClaim& claim) const;

    // Whether the process runs (exists and is not a zombie), and when it was
    // started: the start time in clock ticks since boot, as text, so that a
    // reused pid is not taken for the process that had it before. Empty when
    // the process does not run.
    std::string startTime(std::int32_t pid) const;

    // The kernel's short name of the process (its comm, newlines inside it
    // kept); empty when it cannot be read.
    std::string shortName(std::int32_t pid) const;

    static std::string thisHost();

private:
    bool matchesBinary(std::int32_t pid, const std::string& binary) const;

    std::string root_;
    std::string host_;
};

}  // namespace morvale::pulse
