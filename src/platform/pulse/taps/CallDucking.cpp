// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/CallDucking.h"

#include <pulse/volume.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <map>

namespace morvale::pulse {

namespace {

// "key=value key2='quoted value'" into its pairs; absent when a quote is not
// closed.
std::optional<std::map<std::string, std::string>> moduleArguments(std::string_view text) {
    std::map<std::string, std::string> arguments;
    std::size_t at = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    while (at < text.size()) {
        while (at < text.size() && blank(text[at])) {
            ++at;
        }
        const std::size_t equals = text.find('=', at);
        if (at >= text.size() || equals == std::string_view::npos) {
            break;
        }
        std::string key(text.substr(at, equals - at));
        at = equals + 1;
        std::string value;
        if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
            const std::size_t close = text.find(text[at], at + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            value = text.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const std::size_t start = at;
            while (at < text.size() && !blank(text[at])) {
                ++at;
            }
            value = text.substr(start, at - start);
        }
        arguments[key] = value;
    }
    return arguments;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// A decimal number as the server reads one (a leading '+' allowed).
std::optional<double> number(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<double> moduleVolumeDB(std::string_view text) {
    if (text.ends_with('%')) {
        const auto percent = number(text.substr(0, text.size() - 1));
        if (!percent || *percent < 0) {
            return std::nullopt;
        }
        return pa_sw_volume_to_dB(static_cast<pa_volume_t>(*percent / 100 * PA_VOLUME_NORM));
    }
    if (text.size() > 2 && (text.ends_with("dB") || text.ends_with("db") ||
                            text.ends_with("DB") || text.ends_with("Db"))) {
        return number(text.substr(0, text.size() - 2));
    }
    std::uint32_t raw = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), raw);
    if (error != std::errc() || end != text.data() + text.size() || raw > PA_VOLUME_MAX) {
        return std::nullopt;
    }
    return pa_sw_volume_to_dB(raw);
}

std::optional<double> callDuckingDB(const std::vector<RoleModule>& modules) {
    double lowered = 0;
    for (const RoleModule& module : modules) {
        if (module.name != "module-role-ducking") {
            continue;
        }
        const auto arguments = moduleArguments(module.argument);
        if (!arguments) {
            return std::nullopt;
        }
        const auto value = [&](const char* key) -> std::optional<std::string> {
            const auto it = arguments->find(key);
            return it == arguments->end() ? std::nullopt : std::optional(it->second);
        };
        const std::string triggerRoles = value("trigger_roles").value_or("phone");
        const auto triggers = split(triggerRoles, '/');
        const std::string volumes = value("volume").value_or("-20dB");
        const auto groupVolumes = split(volumes, '/');
        for (std::size_t group = 0; group < triggers.size(); ++group) {
            const auto roles = split(triggers[group], ',');
            if (std::ranges::find(roles, std::string_view("phone")) == roles.end()) {
                continue;
            }
            // A group without a volume of its own keeps the default.
            const auto decibels =
                group < groupVolumes.size() ? moduleVolumeDB(groupVolumes[group]) : -20.0;
            if (!decibels) {
                return std::nullopt;
            }
            // A "volume" above 100% lifts instead: nothing to undo there. One
            // of 0 silences (minus infinity): more than any boost lifts.
            constexpr double kSilenced = 200.0;
            lowered += std::clamp(-*decibels, 0.0, kSilenced);
        }
    }
    return lowered;
}

}  // namespace morvale::pulse
