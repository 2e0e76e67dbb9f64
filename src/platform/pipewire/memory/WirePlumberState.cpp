#include "platform/pipewire/memory/WirePlumberState.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "platform/linux/FileIo.h"

namespace morvale::pipewire {

namespace {

// WirePlumber's state files hold a handful of entries per stream ever seen:
// even years of them stay far below this.
constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;

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
        if (!name.ends_with(suffix)) {
            return;
        }
        const auto volume = parseDouble(value);
        if (!volume) {
            noteProblem(stored, lineNumber, "the volume is not a number");
            return;
        }
        stored.volumes[name.substr(0, name.size() - suffix.size())] = *volume;
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
        // The value is a JSON object; only its top-level "volume" matters here,
        // and no other member's name ends in a quote followed by volume.
        constexpr std::string_view member = "\"volume\"";
        const std::size_t at = value.find(member);
        if (at == std::string_view::npos) {
            return;
        }
        std::string_view rest = value.substr(at + member.size());
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == ':')) {
            rest.remove_prefix(1);
        }
        const auto volume = parseDouble(rest);
        if (!volume) {
            noteProblem(stored, lineNumber, "the volume is not a number");
            return;
        }
        stored.volumes[unescapeKey(key)] = *volume;
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
        const auto file = LinuxDesktop::readWholeFile(folder + "/" + name, kMaxBytes);
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
