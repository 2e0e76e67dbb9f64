// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ProcFs.h"

#include <charconv>

#include "platform/linux/FileIo.h"
#include "platform/linux/KeyFile.h"

namespace morvale::LinuxDesktop {

namespace {

constexpr std::size_t kMaxProcFileBytes = 64 << 10;

template <typename Number>
bool parseNumber(std::string_view text, Number& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

}  // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) {
    const auto close = text.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    // After the name: state (field 3), ppid (4), ... starttime (22).
    std::string_view rest = text.substr(close + 1);
    ProcStat stat;
    bool haveParent = false;
    for (int field = 3; field <= 22; ++field) {
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
        const auto end = rest.find_first_of(" \n");
        const std::string_view value = rest.substr(0, end);
        if (value.empty()) {
            return std::nullopt;
        }
        if (field == 4) {
            haveParent = parseNumber(value, stat.parent);
        } else if (field == 22) {
            if (!haveParent || !parseNumber(value, stat.startTime)) {
                return std::nullopt;
            }
            return stat;
        }
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    }
    return std::nullopt;
}

ProcFs::ProcFs(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path ProcFs::dir(std::int32_t pid) const {
    return root_ / std::to_string(pid);
}

std::optional<ProcStat> ProcFs::stat(std::int32_t pid) const {
    if (pid <= 0) {
        return std::nullopt;
    }
    const FileContents contents = readWholeFile(dir(pid) / "stat", kMaxProcFileBytes);
    if (contents.error != 0) {
        return std::nullopt;
    }
    return parseProcStat(contents.text);
}

std::optional<std::string> ProcFs::cgroup(std::int32_t pid) const {
    FileContents contents = readWholeFile(dir(pid) / "cgroup", kMaxProcFileBytes);
    if (contents.error != 0) {
        return std::nullopt;
    }
    return std::move(contents.text);
}

std::optional<std::string> ProcFs::executableName(std::int32_t pid) const {
    std::error_code ec;
    std::string target = std::filesystem::read_symlink(dir(pid) / "exe", ec).string();
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted)) {
        target.resize(target.size() - deleted.size());
    }
    std::string name = std::filesystem::path(target).filename().string();
    if (ec || name.empty()) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> ProcFs::flatpakAppId(std::int32_t pid) const {
    const FileContents contents =
        readWholeFile(dir(pid) / "root" / ".flatpak-info", kMaxProcFileBytes);
    if (contents.error != 0) {
        return std::nullopt;
    }
    const auto group = readKeyFileGroup(contents.text, "Application");
    if (!group) {
        return std::nullopt;
    }
    const auto it = group->find("name");
    if (it == group->end() || it->second.empty()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace morvale::LinuxDesktop
