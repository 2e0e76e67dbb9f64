// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Entries.h"

#include <algorithm>
#include <unordered_map>

#include "catalog/DisplayText.h"
#include "catalog/Grouping.h"
#include "catalog/RemoveAll.h"

namespace morvale {

namespace {

struct Group {
    std::string key;
    std::string name;
    std::vector<AudioObjectID> objects;
    bool playing = false;
    bool recording = false;
    bool regular = false;
};

// Groups in the order their keys first appear in the snapshot, for at most
// `capacity` groups.
class GroupTable {
public:
    explicit GroupTable(std::size_t capacity) {
        // The index views the groups' own keys: they must never move.
        groups_.reserve(capacity);
        index_.reserve(capacity);
    }
    Group* find(std::string_view key) {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &groups_[it->second];
    }
    Group& add(Group group) {
        groups_.push_back(std::move(group));
        index_.emplace(groups_.back().key, groups_.size() - 1);
        return groups_.back();
    }
    std::vector<Group>& groups() { return groups_; }

private:
    std::vector<Group> groups_;
    std::unordered_map<std::string_view, std::size_t> index_;
};

GroupTable groupProcesses(const std::vector<AudioProcess>& snapshot, const EntrySources& sources) {
    GroupTable table(snapshot.size());
    for (const AudioProcess& process : snapshot) {
        std::string key = Grouping::key(process, sources.grouping);
        Group* group = table.find(key);
        if (group == nullptr) {
            std::string name = displayText(
                Grouping::displayName(key, process.name, sources.workspace, sources.grouping));
            group = &table.add(Group{std::move(key), std::move(name)});
        }
        group->objects.push_back(process.objectID);
        group->playing = group->playing || process.isPlaying;
        group->recording = group->recording || process.isRecording;
        group->regular = group->regular || process.isApplication;
    }
    return table;
}

const Icon& cachedIcon(const std::string& key, IconCache& cache, const EntrySources& sources) {
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache.emplace(key, Grouping::icon(key, sources.workspace, sources.grouping)).first;
    }
    return it->second;
}

}  // namespace

std::vector<AppEntry> buildEntries(const std::vector<AudioProcess>& snapshot,
                                   const Volumes& volumes,
                                   IconCache& iconCache, const EntrySources& sources) {
    GroupTable table = groupProcesses(snapshot, sources);

    std::vector<AppEntry> entries;
    for (Group& group : table.groups()) {
        const bool shown = group.playing || group.regular || volumes.contains(group.key) ||
                           group.key == Grouping::callRowKey;
        if (!shown) {
            continue;
        }
        // Ascending ids make the same processes give the same list on every
        // refresh, so a running session is only rebuilt when they really change.
        std::sort(group.objects.begin(), group.objects.end());
        entries.push_back(AppEntry{group.key, std::move(group.name),
                                   cachedIcon(group.key, iconCache, sources),
                                   std::move(group.objects), group.playing, group.recording});
    }

    // Remembered keys keep a row while their application is not running.
    const auto remember = [&](const std::string& key) {
        std::string name =
            displayText(Grouping::displayName(key, removeAll(key, "proc:"), sources.workspace,
                                              sources.grouping));
        entries.push_back(
            AppEntry{key, std::move(name), cachedIcon(key, iconCache, sources), {}, false});
    };
    const std::string callKey(Grouping::callRowKey);
    if (table.find(callKey) == nullptr) {
        remember(callKey);
    }
    std::size_t remembered = 0;
    for (auto it = volumes.begin(); it != volumes.end() && remembered < kMaxRememberedRows; ++it) {
        if (it->first != callKey && table.find(it->first) == nullptr) {
            remember(it->first);
            ++remembered;
        }
    }

    // Sorted through pointers: an entry is large, and the comparison is where
    // a refresh spends its time once there are many rows.
    std::vector<AppEntry*> order;
    order.reserve(entries.size());
    for (AppEntry& entry : entries) {
        order.push_back(&entry);
    }
    const auto comesBefore = [&](const AppEntry* a, const AppEntry* b) {
        const bool aCalls = a->id == Grouping::callRowKey;
        const bool bCalls = b->id == Grouping::callRowKey;
        if (aCalls != bCalls) {
            return aCalls;
        }
        if (a->isPlaying != b->isPlaying) {
            return a->isPlaying;
        }
        return sources.collator.compare(a->name, b->name) < 0;
    };
    std::stable_sort(order.begin(), order.end(), comesBefore);

    std::vector<AppEntry> sorted;
    sorted.reserve(entries.size());
    for (AppEntry* entry : order) {
        sorted.push_back(std::move(*entry));
    }
    return sorted;
}

}  // namespace morvale
