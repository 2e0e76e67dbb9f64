// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/memory/WirePlumberState.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "platform/linux/FileIo.h"

namespace morvale::pipewire {

namespace {

// WirePlumber's state files hold a handful of entries per stream ever seen:
// even years of them stay far below this.
constexpr std::size_t kMaxStateFileBytes = 16 * 1024 * 1024;

std::string unescapeKey(std::string_view key) {
    std::string out;
    out.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != '\\' || i + 1 == key.size()) {
            out += key[i];
            continue;
        }
        switch (key[++i]) {
        case 's': out += ' '; break;
        case 'e': out += '='; break;
        case 'o': out += '['; break;
        case 'c': out += ']'; break;
        case '\\': out += '\\'; break;
        default:
            out += '\\';
            out += key[i];
            break;
        }
    }
    return out;
}

std::optional<double> parseDouble(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    const std::string copy(text.substr(0, 64));
    if (copy.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Calls entry(key, value, lineNumber) for each "key=value" line of the group
// named `group` in a key file.
template <typename Entry>
void forEachEntry(std::string_view text, std::string_view group, Entry entry) {
    bool inGroup = false;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inGroup = line.size() == group.size() + 2 && line.substr(1, group.size()) == group &&
                      line.back() == ']';
            continue;
        }
        if (!inGroup) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            entry(std::string_view{}, line, lineNumber);
            continue;
        }
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ') {
            key.remove_suffix(1);
        }
        entry(key, line.substr(equals + 1), lineNumber);
    }
}

void noteProblem(StoredVolumes& stored, std::size_t lineNumber, std::string_view what) {
    // A damaged file could name thousands of problems: a few say enough.
    if (stored.problems.size() < 20) {
        stored.problems.push_back("line " + std::to_string(lineNumber) + ": " + std::string(what));
    }
}

// "0.125;0.125;" (0.4) or "0.125, 0.125" (inside 0.5's brackets).
std::vector<float> parseFloats(std::string_view text) {
    std::vector<float> values;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(";,");
        if (const auto value = parseDouble(text.substr(0, end))) {
            values.push_back(static_cast<float>(*value));
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return values;
}

std::vector<std::string> parseNames(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(";,");
        std::string name;
        for (const char c : text.substr(0, end)) {
            if (c != '"' && c != ' ') {
                name += c;
            }
        }
        if (!name.empty()) {
            names.push_back(name);
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return names;
}

// The text of a JSON member's value in 0.5's one-line objects: up to the
// closing bracket for an array, else up to the next comma or brace.
std::optional<std::string_view> member(std::string_view object, std::string_view name) {
    const std::string quoted = "\"" + std::string(name) + "\"";
    const std::size_t at = object.find(quoted);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = object.substr(at + quoted.size());
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == ':')) {
        rest.remove_prefix(1);
    }
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        return rest.substr(1, close == std::string_view::npos ? close : close - 1);
    }
    return rest.substr(0, rest.find_first_of(",}"));
}

}  // namespace

StoredVolumes parseRestoreStream(std::string_view text) {
    StoredVolumes stored;
    constexpr std::string_view suffix = ":volume";
    forEachEntry(text, "restore-stream", [&](std::string_view key, std::string_view value,
                                             std::size_t lineNumber) {
        if (key.empty()) {
            noteProblem(stored, lineNumber, "no '=' in the entry");
            return;
        }
        const std::string name = unescapeKey(key);
        const std::size_t colon = name.rfind(':');
        if (colon == std::string::npos) {
            return;
        }
        const std::string property = name.substr(colon + 1);
        StoredStream& stream = stored.streams[name.substr(0, colon)];
        if (property == "mute") {
            stream.mute = value == "true";
        } else if (property == "channelVolumes") {
            stream.channelVolumes = parseFloats(value);
        } else if (property == "channelMap") {
            stream.channelMap = parseNames(value);
        }
        if (!name.ends_with(suffix)) {
            return;
        }
        const auto volume = parseDouble(value);
        if (!volume) {
            noteProblem(stored, lineNumber, "the volume is not a number");
            return;
        }
        stored.volumes[name.substr(0, name.size() - suffix.size())] = *volume;
        stream.volume = *volume;
    });
    return stored;
}

StoredVolumes parseStreamProperties(std::string_view text) {
    StoredVolumes stored;
    forEachEntry(text, "stream-properties", [&](std::string_view key, std::string_view value,
                                                std::size_t lineNumber) {
        if (key.empty()) {
            noteProblem(stored, lineNumber, "no '=' in the entry");
            return;
        }
        // The value is a one-line JSON object with plain members; no member's
        // name ends in another's ("volume" is not "channelVolumes": quoted).
        const std::string name = unescapeKey(key);
        StoredStream stream;
        if (const auto mute = member(value, "mute")) {
            stream.mute = mute->starts_with("true");
        }
        if (const auto volumes = member(value, "channelVolumes")) {
            stream.channelVolumes = parseFloats(*volumes);
        }
        if (const auto map = member(value, "channelMap")) {
            stream.channelMap = parseNames(*map);
        }
        if (const auto volume = member(value, "volume")) {
            stream.volume = parseDouble(*volume);
            if (!stream.volume) {
                noteProblem(stored, lineNumber, "the volume is not a number");
            } else {
                stored.volumes[name] = *stream.volume;
            }
        }
        stored.streams[name] = std::move(stream);
    });
    return stored;
}

std::string wirePlumberStateFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::string(state) + "/wireplumber";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/state/wireplumber";
}

StoredVolumes readStoredVolumes(const std::string& folder) {
    StoredVolumes all;
    const auto merge = [&](const std::string& name, StoredVolumes (*parse)(std::string_view)) {
        const auto file = LinuxDesktop::readWholeFile(folder + "/" + name, kMaxStateFileBytes);
        if (file.error != 0) {
            if (file.error != ENOENT) {
                all.problems.push_back(name + ": " + LinuxDesktop::osErrorText(file.error));
            }
            return;
        }
        StoredVolumes one = parse(file.text);
        for (auto& [key, volume] : one.volumes) {
            all.volumes[key] = volume;
        }
        for (auto& [key, stream] : one.streams) {
            all.streams[key] = std::move(stream);
        }
        for (auto& problem : one.problems) {
            all.problems.push_back(name + ": " + problem);
        }
    };
    merge("restore-stream", parseRestoreStream);
    merge("stream-properties", parseStreamProperties);
    return all;
}

bool isFullVolume(double volume) {
    return std::abs(volume - 1.0) < 1e-5;
}

}  // namespace morvale::pipewire
