// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DesktopEntry.h"

#include <cstdlib>

#include "base/Utf8.h"
#include "platform/linux/KeyFile.h"

namespace morvale::LinuxDesktop {

namespace {

// The next argument of an Exec line with its double-quote quoting undone;
// false at the end or on an unterminated quote.
bool nextArgument(std::string_view& line, std::string& out) {
    out.clear();
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    if (line.empty()) {
        return false;
    }
    if (line.front() != '"') {
        const auto end = line.find_first_of(" \t");
        out = line.substr(0, end);
        line = end == std::string_view::npos ? std::string_view{} : line.substr(end);
        return true;
    }
    line.remove_prefix(1);
    while (!line.empty()) {
        const char c = line.front();
        line.remove_prefix(1);
        if (c == '"') {
            return true;
        }
        if (c == '\\' && !line.empty()) {
            out += line.front();
            line.remove_prefix(1);
        } else {
            out += c;
        }
    }
    return false;
}

bool isAssignment(std::string_view argument) {
    const auto equals = argument.find('=');
    return equals != std::string_view::npos && equals > 0 && argument.find('/') > equals;
}

}  // namespace

std::vector<std::string> localeSuffixes(std::string_view locale) {
    // lang_COUNTRY.ENCODING@MODIFIER; the encoding never takes part in matching.
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    if (const auto dot = locale.find('.'); dot != std::string_view::npos) {
        locale = locale.substr(0, dot);
    }
    std::string_view lang = locale;
    std::string_view country;
    if (const auto underscore = locale.find('_'); underscore != std::string_view::npos) {
        lang = locale.substr(0, underscore);
        country = locale.substr(underscore);
    }
    if (lang.empty() || lang == "C" || lang == "POSIX") {
        return {};
    }
    std::vector<std::string> suffixes;
    const auto add = [&](std::string_view a, std::string_view b, std::string_view c) {
        suffixes.push_back(std::string(a) + std::string(b) + std::string(c));
    };
    if (!country.empty() && !modifier.empty()) {
        add(lang, country, modifier);
    }
    if (!country.empty()) {
        add(lang, country, {});
    }
    if (!modifier.empty()) {
        add(lang, {}, modifier);
    }
    add(lang, {}, {});
    return suffixes;
}

std::string messagesLocaleFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return {};
}

std::string execProgram(std::string_view execValue) {
    const std::string line = unescapeKeyFileValue(execValue);
    std::string_view rest = line;
    std::string argument;
    if (!nextArgument(rest, argument)) {
        return {};
    }
    if (programFileName(argument) == "env") {
        // env's own assignments come before the program; any option makes the
        // line too involved to read reliably.
        do {
            if (!nextArgument(rest, argument) || argument.starts_with('-')) {
                return {};
            }
        } while (isAssignment(argument));
    }
    return argument;
}

std::string_view programFileName(std::string_view program) {
    const auto slash = program.rfind('/');
    return slash == std::string_view::npos ? program : program.substr(slash + 1);
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text,
                                              const std::vector<std::string>& suffixes) {
    const auto group = readKeyFileGroup(text, "Desktop Entry");
    if (!group) {
        return std::nullopt;
    }
    const auto get = [&](std::string_view key) -> const std::string* {
        const auto it = group->find(key);
        return it == group->end() ? nullptr : &it->second;
    };
    DesktopEntry entry;
    entry.hidden = keyFileBool(*group, "Hidden");
    entry.noDisplay = keyFileBool(*group, "NoDisplay");
    const std::string* type = get("Type");
    if (!entry.hidden && (type == nullptr || *type != "Application")) {
        return std::nullopt;
    }
    const std::string* name = nullptr;
    for (const auto& suffix : suffixes) {
        if ((name = get("Name[" + suffix + "]")) != nullptr) {
            break;
        }
    }
    if (name == nullptr) {
        name = get("Name");
    }
    if (name == nullptr && !entry.hidden) {
        return std::nullopt;
    }
    if (name != nullptr) {
        entry.name = sanitizeUtf8(unescapeKeyFileValue(*name));
    }
    if (const std::string* icon = get("Icon")) {
        entry.icon = unescapeKeyFileValue(*icon);
    }
    if (const std::string* exec = get("Exec")) {
        entry.execProgram = execProgram(*exec);
    }
    if (const std::string* tryExec = get("TryExec")) {
        entry.tryExec = unescapeKeyFileValue(*tryExec);
    }
    return entry;
}

bool isPlainDesktopId(std::string_view id) {
    if (id.empty() || id.front() == '.' || id.find('/') != std::string_view::npos) {
        return false;
    }
    for (const char c : id) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

}  // namespace morvale::LinuxDesktop
