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

EntryLooks& looksOf(const std::string& key, LooksCache& cache, const EntrySources& sources) {
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache.emplace(key, EntryLooks{Grouping::icon(key, sources.workspace, sources.grouping)})
                 .first;
    }
    return it->second;
}

const std::string& nameOf(const std::string& key, const std::string& fallback, LooksCache& cache,
                          const EntrySources& sources) {
    EntryLooks& looks = looksOf(key, cache, sources);
    if (!looks.named || looks.fallback != fallback) {
        looks.name = displayText(
            Grouping::displayName(key, fallback, sources.workspace, sources.grouping));
        looks.fallback = fallback;
        looks.named = true;
    }
    return looks.name;
}

GroupTable groupProcesses(const std::vector<AudioProcess>& snapshot, LooksCache& looks,
                          const EntrySources& sources) {
    GroupTable table(snapshot.size());
    for (const AudioProcess& process : snapshot) {
        std::string key = Grouping::key(process, sources.grouping);
        Group* group = table.find(key);
        if (group == nullptr) {
            std::string name = nameOf(key, process.name, looks, sources);
            group = &table.add(Group{std::move(key), std::move(name)});
        }
        group->objects.push_back(process.objectID);
        group->playing = group->playing || process.isPlaying;
        group->recording = group->recording || process.isRecording;
        group->regular = group->regular || process.isApplication;
    }
    return table;
}

}  // namespace

std::vector<AppEntry> buildEntries(const std::vector<AudioProcess>& snapshot,
                                   const Volumes& volumes,
                                   LooksCache& looks, const EntrySources& sources) {
    GroupTable table = groupProcesses(snapshot, looks, sources);

    std::vector<AppEntry> entries;
    entries.reserve(table.groups().size() + 1 + std::min(volumes.size(), kMaxRememberedRows));
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
                                   looksOf(group.key, looks, sources).icon,
                                   std::move(group.objects), group.playing, group.recording});
    }

    // Remembered keys keep a row while their application is not running.
    const auto remember = [&](const std::string& key) {
        const EntryLooks& known = looksOf(key, looks, sources);
        entries.push_back(AppEntry{key, nameOf(key, removeAll(key, "proc:"), looks, sources),
                                   known.icon, {}, false});
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
    // a refresh spends its time once there are many rows. Each row's place
    // before the names count (the call row, then playing rows) is worked out
    // once, not in every comparison.
    struct Place {
        int rank;
        AppEntry* entry;
    };
    std::vector<Place> order;
    order.reserve(entries.size());
    for (AppEntry& entry : entries) {
        const int rank = entry.id == Grouping::callRowKey ? 0 : entry.isPlaying ? 1 : 2;
        order.push_back(Place{rank, &entry});
    }
    std::stable_sort(order.begin(), order.end(), [&](const Place& a, const Place& b) {
        if (a.rank != b.rank) {
            return a.rank < b.rank;
        }
        return sources.collator.compare(a.entry->name, b.entry->name) < 0;
    });

    std::vector<AppEntry> sorted;
    sorted.reserve(entries.size());
    for (const Place& place : order) {
        sorted.push_back(std::move(*place.entry));
    }
    return sorted;
}

}  // namespace morvale
