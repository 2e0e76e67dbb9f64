// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DesktopEntryIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <set>

#include "platform/linux/FileIo.h"
#include "platform/linux/ProgramNames.h"
#include "platform/linux/XdgDirs.h"

namespace morvale::LinuxDesktop {

namespace {

constexpr std::size_t kMaxEntryBytes = 1 << 20;
constexpr int kMaxSubfolderDepth = 4;

// Orders candidate entries for one program name; smaller is better.
struct ProgramRank {
    bool hidden;
    bool fromTryExec;
    bool idDiffers;
    std::size_t position;
    auto operator<=>(const ProgramRank&) const = default;
};

std::string_view idStem(std::string_view id) {
    constexpr std::string_view suffix = ".desktop";
    return id.ends_with(suffix) ? id.substr(0, id.size() - suffix.size()) : id;
}

struct Scan {
    const std::vector<std::string>& localeSuffixes;
    std::vector<DesktopEntry> entries;
    std::set<std::string, std::less<>> ids;
    // Told of each folder just before it is read.
    std::function<void(const std::filesystem::path&)> beforeFolder;

    void folder(const std::filesystem::path& dir, const std::string& idPrefix, int depth) {
        if (beforeFolder) {
            beforeFolder(dir);
        }
        std::error_code ec;
        std::vector<std::filesystem::directory_entry> items;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            items.push_back(*it);
        }
        // The ID rules leave the choice between "a-b.desktop" and "a/b.desktop"
        // open; a fixed order at least makes it the same every time.
        std::sort(items.begin(), items.end(),
                  [](const auto& a, const auto& b) { return a.path() < b.path(); });
        for (const auto& item : items) {
            const std::string name = item.path().filename().string();
            std::error_code statError;
            // Subfolders are followed only when they are real folders, so a
            // symbolic link cannot lead the scan round in circles.
            if (item.is_directory(statError) && !item.is_symlink(statError)) {
                if (depth < kMaxSubfolderDepth) {
                    folder(item.path(), idPrefix + name + "-", depth + 1);
                }
                continue;
            }
            if (!name.ends_with(".desktop") || !item.is_regular_file(statError)) {
                continue;
            }
            file(item.path(), idPrefix + name);
        }
    }

    void file(const std::filesystem::path& path, std::string id) {
        if (ids.contains(id)) {
            return;  // a more important folder has it
        }
        const FileContents contents = readWholeFile(path, kMaxEntryBytes);
        if (contents.error != 0) {
            return;
        }
        auto entry = parseDesktopEntry(contents.text, localeSuffixes);
        if (!entry) {
            return;  // a broken file hides nothing
        }
        entry->id = id;
        entry->path = path.string();
        ids.insert(std::move(id));
        entries.push_back(std::move(*entry));
    }
};

}  // namespace

DesktopEntries::DesktopEntries(std::vector<DesktopEntry> entries) : entries_(std::move(entries)) {
    std::map<std::string, ProgramRank, std::less<>> best;
    const auto offer = [&](std::string_view path, std::size_t i, bool fromTryExec) {
        const std::string_view program = programFileName(path);
        if (isGenericProgram(program)) {
            return;
        }
        const DesktopEntry& e = entries_[i];
        const ProgramRank rank{!e.shownInMenus(), fromTryExec, idStem(e.id) != program, i};
        const auto it = best.find(program);
        if (it == best.end() || rank < it->second) {
            best.insert_or_assign(std::string(program), rank);
            byProgram_.insert_or_assign(std::string(program), i);
        }
    };
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        byId_.emplace(entries_[i].id, i);
        byPath_.emplace(entries_[i].path, i);
        offer(entries_[i].execProgram, i, false);
        offer(entries_[i].tryExec, i, true);
    }
}

const DesktopEntry* DesktopEntries::find(const Map& map, std::string_view key) const {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : &entries_[it->second];
}

const DesktopEntry* DesktopEntries::byId(std::string_view id) const {
    return find(byId_, id);
}

const DesktopEntry* DesktopEntries::byPath(std::string_view path) const {
    return find(byPath_, path);
}

const DesktopEntry* DesktopEntries::byProgram(std::string_view program) const {
    return find(byProgram_, program);
}

DesktopEntries scanApplicationFolders(const std::vector<std::filesystem::path>& folders,
                                      const std::vector<std::string>& localeSuffixes) {
    Scan scan{localeSuffixes, {}, {}, {}};
    for (const auto& folder : folders) {
        scan.folder(folder, "", 0);
    }
    return DesktopEntries(std::move(scan.entries));
}

DesktopEntryIndex::Options DesktopEntryIndex::optionsFromEnvironment() {
    Options options;
    options.folders = XdgDirs::fromEnvironment().applicationFolders();
    options.localeSuffixes = localeSuffixes(messagesLocaleFromEnvironment());
    return options;
}

DesktopEntryIndex::DesktopEntryIndex(Options options) : options_(std::move(options)) {
    std::lock_guard lock(mutex_);
    rebuildLocked();
}

DesktopEntryIndex::FolderState DesktopEntryIndex::stateOf(const std::filesystem::path& folder) {
    FolderState state;
    state.path = folder;
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        state.exists = true;
        state.device = static_cast<std::uint64_t>(info.st_dev);
        state.inode = static_cast<std::uint64_t>(info.st_ino);
        state.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                           static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    }
    return state;
}

void DesktopEntryIndex::rebuildLocked() const {
    // Each folder's state is taken before it is read, so a change made during
    // the scan is seen at the next check rather than lost.
    std::vector<FolderState> states;
    Scan scan{options_.localeSuffixes, {}, {}, {}};
    scan.beforeFolder = [&states](const std::filesystem::path& dir) {
        states.push_back(stateOf(dir));
    };
    for (const auto& folder : options_.folders) {
        scan.folder(folder, "", 0);
    }
    entries_ = std::make_shared<const DesktopEntries>(std::move(scan.entries));
    folderStates_ = std::move(states);
    lastCheck_ = std::chrono::steady_clock::now();
    ++builds_;
}

bool DesktopEntryIndex::changedLocked() const {
    return std::any_of(folderStates_.begin(), folderStates_.end(),
                       [](const FolderState& s) { return stateOf(s.path) != s; });
}

void DesktopEntryIndex::refreshLocked(bool force) const {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastCheck_ < options_.recheckInterval) {
        return;
    }
    lastCheck_ = now;
    if (changedLocked()) {
        rebuildLocked();
    }
}

std::shared_ptr<const DesktopEntries> DesktopEntryIndex::entries() const {
    std::lock_guard lock(mutex_);
    refreshLocked(false);
    return entries_;
}

bool DesktopEntryIndex::refreshIfChanged() {
    std::lock_guard lock(mutex_);
    const auto before = builds_;
    refreshLocked(true);
    return builds_ != before;
}

std::uint64_t DesktopEntryIndex::builds() const {
    std::lock_guard lock(mutex_);
    return builds_;
}

}  // namespace morvale::LinuxDesktop
