// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/DesktopEntry.h"

namespace morvale::LinuxDesktop {

// The desktop entries of the installed applications at one moment; immutable.
class DesktopEntries {
public:
    DesktopEntries() = default;
    // entries: unique IDs, most important folder's first.
    explicit DesktopEntries(std::vector<DesktopEntry> entries);

    const DesktopEntry* byId(std::string_view id) const;
    const DesktopEntry* byPath(std::string_view path) const;
    // The entry whose Exec or TryExec program has this file name. When several
    // do, one shown in menus wins, then an Exec match over a TryExec one, then
    // one whose ID is the program's name, then the more important folder.
    // Interpreters and wrappers ("python3", "flatpak") never match.
    const DesktopEntry* byProgram(std::string_view program) const;

    const std::vector<DesktopEntry>& all() const { return entries_; }

private:
    using Map = std::map<std::string, std::size_t, std::less<>>;
    const DesktopEntry* find(const Map& map, std::string_view key) const;

    std::vector<DesktopEntry> entries_;
    Map byId_;
    Map byPath_;
    Map byProgram_;
};

// Reads every desktop entry under folders (the applications folders, most
// important first, with their subfolders). An ID found in an earlier folder
// hides the same ID further on. Unreadable or malformed files are skipped.
DesktopEntries scanApplicationFolders(const std::vector<std::filesystem::path>& folders,
                                      const std::vector<std::string>& localeSuffixes);

// The installed applications, read once and read again only when an
// applications folder changes. Safe to use from several threads.
//
// Changes are noticed through the folders' modification times, which change
// when an entry is added, removed or replaced by rename (as package managers
// and editors do); an entry rewritten in place goes unnoticed until another
// change.
class DesktopEntryIndex {
public:
    struct Options {
        std::vector<std::filesystem::path> folders;  // most important first
        std::vector<std::string> localeSuffixes;     // see localeSuffixes()
        // entries() looks at the folders at most this often; 0 looks every time.
        std::chrono::milliseconds recheckInterval{2000};
    };

    // The user's folders and language, from the environment.
    static Options optionsFromEnvironment();

    explicit DesktopEntryIndex(Options options);

    // The current entries. Looks whether a folder changed (a few stat calls,
    // no file reads) when recheckInterval has passed, and reads the entries
    // again only then.
    std::shared_ptr<const DesktopEntries> entries() const;

    // Looks at the folders now; reads the entries again and returns true when
    // one changed.
    bool refreshIfChanged();

    // How many times the entries have been read, the first time included.
    std::uint64_t builds() const;

private:
    struct FolderState {
        std::filesystem::path path;
        bool exists = false;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t modifiedNs = 0;
        friend bool operator==(const FolderState&, const FolderState&) = default;
    };

    static FolderState stateOf(const std::filesystem::path& folder);
    bool changedLocked() const;
    void rebuildLocked() const;
    void refreshLocked(bool force) const;

    Options options_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const DesktopEntries> entries_;
    mutable std::vector<FolderState> folderStates_;
    mutable std::chrono::steady_clock::time_point lastCheck_;
    mutable std::uint64_t builds_ = 0;
};

}  // namespace morvale::LinuxDesktop
