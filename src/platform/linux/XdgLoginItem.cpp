// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/XdgLoginItem.h"

#include <unistd.h>

#include <cerrno>

#include "platform/Translation.h"
#include "platform/linux/FileIo.h"
#include "platform/linux/KeyFile.h"

namespace morvale::LinuxDesktop {

namespace {

constexpr std::size_t kMaxEntryBytes = 1 << 20;

bool hasControlCharacters(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

bool isPlainFileName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
           !hasControlCharacters(name);
}

// One Exec argument: quoted when it holds a reserved character, with the
// quoting escapes, then the backslash escape of string values on top, and '%'
// doubled so it is not read as a field code.
std::string execArgument(std::string_view argument) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = argument.empty() || argument.find_first_of(reserved) != std::string::npos;
    std::string quoted;
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            quoted += '\\';
        }
        quoted += c;
    }
    std::string out = quote ? "\"" : "";
    for (const char c : quoted) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '%') {
            out += "%%";
        } else {
            out += c;
        }
    }
    if (quote) {
        out += '"';
    }
    return out;
}

// A string value with the characters that the format escapes, escaped.
std::string stringValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '\\' ? "\\\\" : std::string(1, c);
    }
    return out;
}

// Whether the entry at path starts the program at login.
bool entryEnabled(const std::filesystem::path& path) {
    const FileContents contents = readWholeFile(path, kMaxEntryBytes);
    if (contents.error != 0) {
        return false;  // the session cannot read it either
    }
    const auto group = readKeyFileGroup(contents.text, "Desktop Entry");
    if (!group || keyFileBool(*group, "Hidden")) {
        return false;
    }
    const auto gnome = group->find("X-GNOME-Autostart-enabled");
    return gnome == group->end() || gnome->second != "false";
}

}  // namespace

XdgLoginItem::XdgLoginItem(AutostartEntry entry, XdgDirs dirs)
    : entry_(std::move(entry)), dirs_(std::move(dirs)) {}

std::filesystem::path XdgLoginItem::userEntryPath() const {
    return dirs_.configHome / "autostart" / (entry_.appId + ".desktop");
}

std::optional<std::filesystem::path> XdgLoginItem::effectiveEntry() const {
    if (!isPlainFileName(entry_.appId) || dirs_.configHome.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    if (std::filesystem::exists(userEntryPath(), ec)) {
        return userEntryPath();
    }
    for (const auto& dir : dirs_.configDirs) {
        const auto path = dir / "autostart" / (entry_.appId + ".desktop");
        if (std::filesystem::exists(path, ec)) {
            return path;
        }
    }
    return std::nullopt;
}

LoginItemStatus XdgLoginItem::status() const {
    const auto path = effectiveEntry();
    return path && entryEnabled(*path) ? LoginItemStatus::enabled : LoginItemStatus::notRegistered;
}

bool XdgLoginItem::systemEntryEnabled() const {
    std::error_code ec;
    for (const auto& dir : dirs_.configDirs) {
        const auto path = dir / "autostart" / (entry_.appId + ".desktop");
        if (std::filesystem::exists(path, ec)) {
            return entryEnabled(path);
        }
    }
    return false;
}

std::optional<std::string> XdgLoginItem::entryText() const {
    if (!isPlainFileName(entry_.appId) || entry_.command.empty() ||
        hasControlCharacters(entry_.name)) {
        return std::nullopt;
    }
    std::string exec;
    for (const auto& argument : entry_.command) {
        if (hasControlCharacters(argument)) {
            return std::nullopt;
        }
        exec += exec.empty() ? "" : " ";
        exec += execArgument(argument);
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           stringValue(entry_.name) +
           "\n"
           "Exec=" +
           exec +
           "\n"
           "Icon=" +
           entry_.appId +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> XdgLoginItem::registerItem() {
    const auto text = entryText();
    if (!text) {
        return translate("LoginItem",
                         "Couldn't set up opening at login: the program's name or command can't "
                         "be written into a desktop entry");
    }
    if (dirs_.configHome.empty()) {
        return translate("LoginItem",
                         "Couldn't set up opening at login: the home folder is unknown");
    }
    const auto path = userEntryPath();
    if (const int error = makeFolders(path.parent_path(), 0700)) {
        return fillIn(translate("LoginItem", "Couldn't create %1: %2"),
                      {path.parent_path().string(), osErrorText(error)});
    }
    if (auto failure = replaceFileAtomically(path, *text, 0644)) {
        return fillIn(translate("LoginItem", "Couldn't write %1: %2"), {path.string(), *failure});
    }
    return std::nullopt;
}

std::optional<std::string> XdgLoginItem::unregisterItem() {
    if (!isPlainFileName(entry_.appId) || dirs_.configHome.empty()) {
        return translate("LoginItem",
                         "Couldn't turn off opening at login: the entry's location is unknown");
    }
    const auto path = userEntryPath();
    if (systemEntryEnabled()) {
        // Removing the user's entry would let the system's one start the
        // program; a hidden entry of the same name switches it off.
        if (const int error = makeFolders(path.parent_path(), 0700)) {
            return fillIn(translate("LoginItem", "Couldn't create %1: %2"),
                          {path.parent_path().string(), osErrorText(error)});
        }
        const std::string hidden =
            "[Desktop Entry]\nType=Application\nName=" + stringValue(entry_.name) +
            "\nHidden=true\n";
        if (auto failure = replaceFileAtomically(path, hidden, 0644)) {
            return fillIn(translate("LoginItem", "Couldn't write %1: %2"),
                          {path.string(), *failure});
        }
        return std::nullopt;
    }
    if (::unlink(path.c_str()) != 0) {
        const int error = errno;
        if (error != ENOENT) {
            return fillIn(translate("LoginItem", "Couldn't remove %1: %2"),
                          {path.string(), osErrorText(error)});
        }
    }
    return std::nullopt;
}

}  // namespace morvale::LinuxDesktop
