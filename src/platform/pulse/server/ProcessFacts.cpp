// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/server/ProcessFacts.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace morvale::pulse {

namespace {

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The pids of /proc/PID/status's NSpid line, outermost namespace first.
std::vector<std::int32_t> nsPids(const std::string& status) {
    std::istringstream lines(status);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("NSpid:", 0) != 0) {
            continue;
        }
        std::istringstream fields(line.substr(6));
        std::vector<std::int32_t> pids;
        long value = 0;
        while (fields >> value) {
            pids.push_back(static_cast<std::int32_t>(value));
        }
        return pids;
    }
    return {};
}

std::optional<std::int32_t> parsePid(const std::string& name) {
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
        name.size() > 9) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::stol(name));
}

}  // namespace

ProcessFacts::ProcessFacts(std::string procRoot, std::string hostName)
    : root_(std::move(procRoot)), host_(std::move(hostName)) {}

std::string ProcessFacts::thisHost() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

bool ProcessFacts::matchesBinary(std::int32_t pid, const std::string& binary) const {
    const std::string dir = root_ + "/" + std::to_string(pid);
    std::error_code error;
    const auto exe = std::filesystem::read_symlink(dir + "/exe", error);
    if (!error && exe.filename() == binary) {
        return true;
    }
    // The kernel's short name is the executable's name cut to 15 bytes.
    if (auto comm = readFile(dir + "/comm")) {
        while (!comm->empty() && comm->back() == '\n') {
            comm->pop_back();
        }
        return !comm->empty() && *comm == binary.substr(0, 15);
    }
    return false;
}

std::int32_t ProcessFacts::hostPid(const PidClaim& claim) const {
    if (claim.host && !claim.host->empty() && !host_.empty() && *claim.host != host_) {
        return 0;
    }
    const auto fits = [&](std::int32_t pid) {
        return !claim.binary || matchesBinary(pid, *claim.binary);
    };
    if (claim.reportedPid && *claim.reportedPid > 0) {
        const std::int32_t reported = *claim.reportedPid;
        if (const auto status = readFile(root_ + "/" + std::to_string(reported) + "/status")) {
            if (nsPids(*status).size() <= 1 && fits(reported)) {
                return reported;
            }
        }
    }
    // Socket credentials name the process at the other end of the server's
    // socket. For a client of PipeWire's PulseAudio server that is the
    // PulseAudio server itself, so they count only when the binary fits.
    if (claim.securePid && *claim.securePid > 0 && fits(*claim.securePid)) {
        return *claim.securePid;
    }
    if (!claim.reportedPid || *claim.reportedPid <= 0) {
        return 0;
    }
    const std::int32_t reported = *claim.reportedPid;
    // A sandboxed client: find the one process whose innermost pid is the
    // reported one and whose executable is the reported binary.
    if (!claim.binary) {
        return 0;
    }
    std::int32_t found = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root_, error)) {
        const auto pid = parsePid(entry.path().filename().string());
        if (!pid) {
            continue;
        }
        const auto status = readFile(entry.path().string() + "/status");
        if (!status) {
            continue;
        }
        const auto pids = nsPids(*status);
        if (pids.size() < 2 || pids.back() != reported || !matchesBinary(*pid, *claim.binary)) {
            continue;
        }
        if (found != 0) {
            return 0;  // ambiguous: two sandboxes with the same pid and binary
        }
        found = *pid;
    }
    return found;
}

std::string ProcessFacts::shortName(std::int32_t pid) const {
    if (pid <= 0) {
        return {};
    }
    // The kernel ends it with a newline; one inside is part of the name, as
    // the process list reads it.
    std::string name = readFile(root_ + "/" + std::to_string(pid) + "/comm").value_or("");
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

std::string ProcessFacts::startTime(std::int32_t pid) const {
    if (pid <= 0) {
        return {};
    }
    const auto stat = readFile(root_ + "/" + std::to_string(pid) + "/stat");
    if (!stat) {
        return {};
    }
    // The fields after the command name (which may hold spaces and parentheses).
    const auto close = stat->rfind(')');
    if (close == std::string::npos) {
        return {};
    }
    std::istringstream fields(stat->substr(close + 1));
    std::string field;
    std::vector<std::string> values;
    while (fields >> field) {
        values.push_back(field);
    }
    // values[0] is the state (field 3), values[19] the start time (field 22).
    if (values.size() < 20 || values[0] == "Z" || values[0] == "X") {
        return {};
    }
    return values[19];
}

}  // namespace morvale::pulse
