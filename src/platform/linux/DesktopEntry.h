// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvale::LinuxDesktop {

// What Morvale needs of one installed application's desktop entry.
struct DesktopEntry {
    std::string id;           // desktop file ID: "firefox-esr.desktop", "kde-foo.desktop"
    std::string path;         // the file it was read from
    std::string name;         // Name in the user's language; may be empty for a Hidden entry
    std::string icon;         // the Icon value as written; empty when there is none
    std::string execProgram;  // the program Exec starts, unquoted: "/usr/bin/firefox-esr"
    std::string tryExec;      // TryExec's program as written
    bool noDisplay = false;   // installed, but not meant for menus
    bool hidden = false;      // Hidden=true: the entry counts as deleted

    bool shownInMenus() const { return !noDisplay && !hidden; }
};

// The localized-key suffixes to try for a messages locale such as
// "de_AT.UTF-8@euro", best first: de_AT@euro, de_AT, de@euro, de. Empty for
// the C and POSIX locales.
std::vector<std::string> localeSuffixes(std::string_view messagesLocale);

// The messages locale from the environment: LC_ALL, else LC_MESSAGES, else LANG.
std::string messagesLocaleFromEnvironment();

// Reads a desktop entry's text. Absent when it is not a usable application
// entry: malformed, no [Desktop Entry] group, Type other than Application, or
// no Name. A Hidden=true entry is kept whatever else it lacks, because it
// hides entries of the same ID in less important folders.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text,
                                              const std::vector<std::string>& localeSuffixes);

// The program an Exec command line starts (a path or a name), its quoting
// undone; "env VAR=value program" counts as program. Empty when there is none.
std::string execProgram(std::string_view execValue);

// The file name at the end of a path: what a process's executable is matched by.
std::string_view programFileName(std::string_view program);

// A desktop file ID must be a plain file name: not empty, no folder, no leading
// dot, no control characters.
bool isPlainDesktopId(std::string_view id);

}  // namespace morvale::LinuxDesktop
