// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/memory/GainJournal.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "platform/linux/FileIo.h"
#include "platform/linux/ProcFs.h"

namespace morvale::pipewire {

namespace {

constexpr std::string_view kMagic = "morvale-pipewire-gains";
constexpr std::string_view kFormat = "1";
// A journal lists the keys of one session's streams: a few kilobytes. A file
// far larger is not ours, and is not read into memory.
constexpr std::size_t kMaxJournalBytes = 4 * 1024 * 1024;

bool needsEscape(unsigned char c) {
    return c <= ' ' || c == '%' || c == '=' || c == 0x7f;
}

std::string encode(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (needsEscape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xf];
        } else {
            out += ch;
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<std::string> decode(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) {
            return std::nullopt;
        }
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = line.find(' ', start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return fields;
}

template <typename Number>
std::optional<Number> number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Reads one record into contents; returns what is wrong with it, or nothing.
std::optional<std::string> readRecord(std::string_view line, JournalContents& contents) {
    const auto fields = fieldsOf(line);
    const std::string_view kind = fields.front();
    if (kind == "daemon") {
        if (fields.size() != 2) {
            return "a daemon line needs one cookie";
        }
        const auto cookie = number<std::uint32_t>(fields[1]);
        if (!cookie) {
            return "the daemon cookie is not a number";
        }
        contents.daemon = *cookie;
        return std::nullopt;
    }
    if (kind == "owner") {
        const auto pid = fields.size() == 3 ? number<std::int32_t>(fields[1]) : std::nullopt;
        const auto start = fields.size() == 3 ? number<std::uint64_t>(fields[2]) : std::nullopt;
        if (!pid || !start || *pid <= 0) {
            return "the owner line needs a pid and a start time";
        }
        contents.owner = JournalOwner{*pid, *start};
        return std::nullopt;
    }
    if (kind == "node") {
        if (fields.size() != 3) {
            return "a node line needs a serial and a key";
        }
        const auto serial = number<std::uint64_t>(fields[1]);
        const auto key = decode(fields[2]);
        if (!serial || !key) {
            return "the node line's serial or key is damaged";
        }
        contents.nodes[*serial] = *key;
        return std::nullopt;
    }
    if (kind == "key") {
        if (fields.size() < 2) {
            return "a key line needs its text";
        }
        StreamKey key;
        const auto text = decode(fields[1]);
        if (!text || text->empty()) {
            return "the key's text is damaged";
        }
        key.text = *text;
        for (std::size_t i = 2; i < fields.size(); ++i) {
            const std::size_t equals = fields[i].find('=');
            if (equals == std::string_view::npos) {
                return "a property of the key has no '='";
            }
            const auto name = decode(fields[i].substr(0, equals));
            const auto value = decode(fields[i].substr(equals + 1));
            if (!name || !value || name->empty()) {
                return "a property of the key is damaged";
            }
            key.properties[*name] = *value;
        }
        contents.keys[key.text] = std::move(key);
        return std::nullopt;
    }
    return "unknown record '" + encode(kind.substr(0, 40)) + "'";
}

std::string stateHome() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return state;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/state";
}

}  // namespace

JournalContents parseJournal(std::string_view text) {
    JournalContents contents;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty()) {
            continue;
        }
        if (lineNumber == 1) {
            contents.isJournal = line == std::string(kMagic) + " " + std::string(kFormat);
            if (!contents.isJournal) {
                contents.problems.push_back(
                    line.starts_with(kMagic) ? "the journal is of an unknown format"
                                             : "the file is not a journal of PipeWire gains");
                return contents;
            }
            continue;
        }
        if (auto problem = readRecord(line, contents)) {
            contents.problems.push_back("line " + std::to_string(lineNumber) + ": " + *problem);
        }
    }
    if (lineNumber == 0) {
        contents.problems.emplace_back("the journal is empty");
    }
    return contents;
}

std::string formatJournal(const JournalContents& contents) {
    std::string text = std::string(kMagic) + " " + std::string(kFormat) + "\n";
    if (contents.owner) {
        text += "owner " + std::to_string(contents.owner->pid) + " " +
                std::to_string(contents.owner->startTime) + "\n";
    }
    if (contents.daemon) {
        text += "daemon " + std::to_string(*contents.daemon) + "\n";
    }
    for (const auto& [name, key] : contents.keys) {
        text += "key " + encode(key.text);
        for (const auto& [property, value] : key.properties) {
            text += " " + encode(property) + "=" + encode(value);
        }
        text += "\n";
    }
    for (const auto& [serial, key] : contents.nodes) {
        text += "node " + std::to_string(serial) + " " + encode(key) + "\n";
    }
    return text;
}

JournalContents readJournal(const std::string& path) {
    const auto file = LinuxDesktop::readWholeFile(path, kMaxJournalBytes);
    if (file.error == ENOENT) {
        JournalContents none;
        none.isJournal = true;
        return none;
    }
    if (file.error != 0) {
        JournalContents unreadable;
        unreadable.problems.push_back("cannot read " + path + ": " +
                                      LinuxDesktop::osErrorText(file.error));
        return unreadable;
    }
    return parseJournal(file.text);
}

std::optional<JournalOwner> thisProcess() {
    const auto stat = LinuxDesktop::ProcFs().stat(static_cast<std::int32_t>(::getpid()));
    if (!stat) {
        return std::nullopt;
    }
    return JournalOwner{static_cast<std::int32_t>(::getpid()), stat->startTime};
}

bool ownerRuns(const JournalOwner& owner) {
    const std::string path = "/proc/" + std::to_string(owner.pid) + "/stat";
    const auto file = LinuxDesktop::readWholeFile(path, 4096);
    const auto stat = LinuxDesktop::parseProcStat(file.text);
    if (file.error != 0 || !stat || stat->startTime != owner.startTime) {
        return false;  // gone, or the pid is another process's now
    }
    // The state follows the command name's closing parenthesis.
    const std::size_t close = file.text.rfind(')');
    const char state = close + 2 < file.text.size() ? file.text[close + 2] : 'X';
    return state != 'Z' && state != 'X' && state != 'x';
}

GainJournal::GainJournal(std::string path) : path_(std::move(path)) {
    JournalContents earlier = readJournal(path_);
    if (earlier.isJournal) {
        contents_ = std::move(earlier);
        contents_.problems.clear();
    }
    contents_.isJournal = true;
}

std::string GainJournal::defaultPath() {
    return stateHome() + "/morvale/pipewire-gains";
}

void GainJournal::setDaemon(std::uint32_t cookie) {
    if (contents_.daemon == cookie) {
        return;
    }
    if (contents_.daemon) {
        contents_.nodes.clear();
    }
    contents_.daemon = cookie;
    dirty_ = true;
}

bool GainJournal::willSet(std::uint64_t nodeSerial, const StreamKey& key) {
    const auto node = contents_.nodes.find(nodeSerial);
    const auto known = contents_.keys.find(key.text);
    if (!dirty_ && node != contents_.nodes.end() && node->second == key.text &&
        known != contents_.keys.end() && known->second == key) {
        return true;
    }
    contents_.nodes[nodeSerial] = key.text;
    contents_.keys[key.text] = key;
    dirty_ = true;
    return write();
}

void GainJournal::released(std::uint64_t nodeSerial) {
    if (contents_.nodes.erase(nodeSerial) > 0) {
        dirty_ = true;
    }
}

bool GainJournal::clear() {
    contents_.nodes.clear();
    contents_.keys.clear();
    dirty_ = false;
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
        lastError_ = "cannot remove " + path_ + ": " + LinuxDesktop::osErrorText(errno);
        return false;
    }
    lastError_.clear();
    return true;
}

bool GainJournal::write() {
    contents_.owner = thisProcess();
    const std::filesystem::path file(path_);
    if (const int error = LinuxDesktop::makeFolders(file.parent_path(), 0700)) {
        lastError_ = "cannot make " + file.parent_path().string() + ": " +
                     LinuxDesktop::osErrorText(error);
        return false;
    }
    if (auto error = LinuxDesktop::replaceFileAtomically(file, formatJournal(contents_), 0600)) {
        lastError_ = "cannot write " + path_ + ": " + *error;
        return false;
    }
    dirty_ = false;
    lastError_.clear();
    return true;
}

}  // namespace morvale::pipewire
