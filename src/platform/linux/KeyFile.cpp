// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/KeyFile.h"

namespace morvale::LinuxDesktop {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace

std::optional<KeyFileGroup> readKeyFileGroup(std::string_view text, std::string_view group) {
    KeyFileGroup keys;
    bool found = false;
    bool inGroup = false;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view line = trim(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return std::nullopt;
            }
            const std::string_view name = line.substr(1, line.size() - 2);
            // A group that appears twice is malformed; reading the first is enough.
            inGroup = name == group && !found;
            found = found || inGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            return std::nullopt;
        }
        if (inGroup) {
            keys.emplace(std::string(trim(line.substr(0, equals))),
                         std::string(trim(line.substr(equals + 1))));
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return keys;
}

std::string unescapeKeyFileValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:  // not an escape of the format: kept as written
                out += '\\';
                out += raw[i];
        }
    }
    return out;
}

bool keyFileBool(const KeyFileGroup& group, std::string_view key) {
    const auto it = group.find(key);
    return it != group.end() && it->second == "true";
}

}  // namespace morvale::LinuxDesktop
