// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace morvale::LinuxDesktop {

// What /proc/PID/stat tells: the parent and when the process started (clock
// ticks after boot), which with the pid names one process for its whole life.
struct ProcStat {
    std::int32_t parent = 0;
    std::uint64_t startTime = 0;
};

// Parses a stat line. The command name sits in parentheses and may itself
// contain spaces and parentheses, so fields are counted from the last ')'.
std::optional<ProcStat> parseProcStat(std::string_view text);

// Reads processes' details from a proc file system mounted at root (tests
// point it at a folder they build).
class ProcFs {
public:
    explicit ProcFs(std::filesystem::path root = "/proc");

    std::optional<ProcStat> stat(std::int32_t pid) const;
    // /proc/PID/cgroup as text.
    std::optional<std::string> cgroup(std::int32_t pid) const;
    // The file name of the process's executable, without the " (deleted)"
    // mark of a replaced binary. Absent when not readable (another user's
    // process, a kernel thread).
    std::optional<std::string> executableName(std::int32_t pid) const;
    // The Flatpak application ID from the sandbox's /.flatpak-info, read
    // through /proc/PID/root; absent outside a Flatpak sandbox.
    std::optional<std::string> flatpakAppId(std::int32_t pid) const;

private:
    std::filesystem::path dir(std::int32_t pid) const;
    std::filesystem::path root_;
};

}  // namespace morvale::LinuxDesktop
