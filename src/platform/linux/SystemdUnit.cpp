// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/SystemdUnit.h"

#include "platform/linux/DesktopEntry.h"

namespace morvale::LinuxDesktop {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

std::string joined(const std::vector<std::string_view>& parts, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        out += i == from ? "" : "-";
        out += unescapeUnitName(parts[i]);
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string> snapIds(std::string_view rest) {
    // "<snap>.<app>-<uuid>": names never hold dots; the uuid holds dashes,
    // so the app name ends at the first dash after the dot.
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    std::string_view app = rest.substr(dot + 1);
    const std::string_view snap = rest.substr(0, dot);
    app = app.substr(0, app.find('-'));
    if (app.empty() || app.find('.') != std::string_view::npos) {
        return {};
    }
    std::string id = std::string(snap) + "_" + std::string(app) + ".desktop";
    if (!isPlainDesktopId(id)) {
        return {};
    }
    return {std::move(id)};
}

}  // namespace

std::optional<std::string> innermostUnit(std::string_view text) {
    std::optional<std::string> unit;
    for (const auto line : split(text, '\n')) {
        // "hierarchy-ID:controllers:path"; "0::" is the unified hierarchy.
        const auto first = line.find(':');
        const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) {
            continue;
        }
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        if (!controllers.empty() && controllers != "name=systemd") {
            continue;
        }
        const auto parts = split(line.substr(second + 1), '/');
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
            if (it->ends_with(".scope") || it->ends_with(".service")) {
                unit = std::string(*it);
                break;
            }
        }
        if (unit) {
            return unit;
        }
    }
    return unit;
}

std::string unescapeUnitName(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const int high = hexValue(text[i + 2]);
            const int low = hexValue(text[i + 3]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<std::string> desktopIdsForUnit(std::string_view unit) {
    bool scope = false;
    if (unit.ends_with(".scope")) {
        scope = true;
        unit.remove_suffix(6);
    } else if (unit.ends_with(".service")) {
        unit.remove_suffix(8);
    } else {
        return {};
    }
    if (scope && unit.starts_with("snap.")) {
        return snapIds(unit.substr(5));
    }
    if (!unit.starts_with("app-")) {
        return {};
    }
    unit.remove_prefix(4);
    if (const auto at = unit.find('@'); at != std::string_view::npos) {
        unit = unit.substr(0, at);  // the instance part is random
    }
    // Dashes inside the launcher or the ID are escaped (\x2d), so the bare
    // dashes separate the parts.
    const auto parts = split(unit, '-');
    std::size_t end = parts.size();
    if (scope) {
        if (end < 2) {
            return {};
        }
        --end;  // a scope's last part is random
    }
    std::vector<std::string> ids;
    const auto offer = [&](std::string id) {
        id += ".desktop";
        if (isPlainDesktopId(id)) {
            ids.push_back(std::move(id));
        }
    };
    if (end >= 2) {
        offer(joined(parts, 1, end));  // app-<launcher>-<id>
    }
    if (end >= 1) {
        offer(joined(parts, 0, end));  // app-<id>, or an ID with unescaped dashes
    }
    return ids;
}

}  // namespace morvale::LinuxDesktop
