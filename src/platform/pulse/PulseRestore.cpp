// PulseAudioSystem::Impl: stream-restore handling.
//
// Moving a stream makes the server's stream restore remember the sink under
// the stream's restore key, so that other streams with that key would start
// in our tap sink, and after a crash the application would keep starting
// in an orphaned one. Entries that point at a tap sink are put back to the
// device they named before; so are the entries that moving a stream back
// touches, for a short while after its tap went. A device the user chose for
// a captured stream while it was tapped (see StreamOrigins) is kept.

#include <pulse/ext-stream-restore.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

namespace {

// How long a stream-restore key that one of our moves touched stays guarded
// after its tap went, so that the save that follows moving a stream back is
// undone too.
constexpr std::chrono::seconds kRestoreGuard{3};

}  // namespace

void Impl::onRestoreAvailable(std::uint32_t version) {
    restoreAvailable = version != kNoIndex && context != nullptr;
    if (!restoreAvailable) {
        listDone();
        return;
    }
    pa_ext_stream_restore_set_subscribe_cb(
        context, [](pa_context*, void* data) { static_cast<Impl*>(data)->readRestore(); }, this);
    forget(pa_ext_stream_restore_subscribe(context, 1, nullptr, nullptr));
    readRestore();
    listDone();
}

void Impl::readRestore() {
    if (context == nullptr || !restoreAvailable) {
        return;
    }
    auto collected = std::make_shared<std::map<std::string, RestoreEntry>>();
    Slot* reader =
        newSlot([this, collected](std::uint32_t) { onRestoreRead(std::move(*collected)); });
    const std::uint64_t readerId = reader->id;
    readerEntries[readerId] = collected;
    // The callback runs once per entry and once more at the end.
    pa_operation* op = pa_ext_stream_restore_read(
        context,
        [](pa_context*, const pa_ext_stream_restore_info* info, int eol, void* data) {
            auto* slot = static_cast<Slot*>(data);
            Impl* impl = slot->impl;
            if (eol != 0) {
                impl->readerEntries.erase(slot->id);
                finishSlot(data, 0);
                return;
            }
            const auto it = impl->readerEntries.find(slot->id);
            if (it == impl->readerEntries.end() || info == nullptr || info->name == nullptr) {
                return;
            }
            RestoreEntry entry;
            if (info->device != nullptr) {
                entry.device = info->device;
            }
            entry.map = info->channel_map;
            entry.volume = info->volume;
            entry.mute = info->mute;
            (*it->second)[info->name] = entry;
        },
        reader);
    if (op == nullptr) {
        readerEntries.erase(readerId);
        slots.erase(readerId);
    }
    forget(op);
}

bool Impl::isTapSinkName(const std::optional<std::string>& device) {
    return device && device->rfind(kTapSinkPrefix, 0) == 0;
}

void Impl::onRestoreRead(std::map<std::string, RestoreEntry> db) {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(guards, [&](const auto& g) { return g.second.until && *g.second.until < now; });
    for (auto& [name, entry] : db) {
        auto guard = guards.find(name);
        if (isTapSinkName(entry.device)) {
            if (guard == guards.end()) {
                // The device it named before our move, unless that was ours too.
                std::optional<std::string> before;
                if (const auto old = restoreDb.find(name);
                    old != restoreDb.end() && !isTapSinkName(old->second.device)) {
                    before = old->second.device;
                }
                guard = guards.emplace(name, Guard{before, std::nullopt}).first;
            }
            rewriteRestore(name, entry, guard->second.baseline);
        } else if (guard != guards.end() && !guard->second.until && entry.device &&
                   entry.device != guard->second.baseline && isChosenSink(*entry.device)) {
            // The user moved a captured stream to this device meanwhile: that
            // is what the entry is to say once the tap has gone.
            guard->second.baseline = entry.device;
        } else if (guard != guards.end() && guard->second.until &&
                   entry.device != guard->second.baseline) {
            rewriteRestore(name, entry, guard->second.baseline);
        }
    }
    restoreDb = std::move(db);
}

bool Impl::isChosenSink(const std::string& device) const {
    return std::any_of(taps.begin(), taps.end(),
                       [&](const auto& item) { return item.second.origins.chosen() == device; });
}

void Impl::rewriteRestore(const std::string& name, RestoreEntry& entry,
                          const std::optional<std::string>& device) {
    entry.device = device;
    pa_ext_stream_restore_info info{};
    info.name = name.c_str();
    info.channel_map = entry.map;
    info.volume = entry.volume;
    info.device = device ? device->c_str() : nullptr;
    info.mute = entry.mute;
    // Not applied to running streams: only what new streams will get.
    forget(pa_ext_stream_restore_write(context, PA_UPDATE_REPLACE, &info, 1, 0, nullptr, nullptr));
}

void Impl::releaseGuards() {
    const auto until = std::chrono::steady_clock::now() + kRestoreGuard;
    for (auto& [name, guard] : guards) {
        if (!guard.until) {
            guard.until = until;
        }
    }
}

}  // namespace morvale::pulse
