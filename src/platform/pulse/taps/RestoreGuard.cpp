// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/RestoreGuard.h"

#include <utility>

#include "platform/pulse/server/PulseHandles.h"
#include "platform/pulse/server/PulseKeys.h"

namespace morvale::pulse {

namespace {

bool isTapSinkName(const std::optional<std::string>& device) {
    return device && device->starts_with(kTapSinkPrefix);
}

}  // namespace

RestoreGuard::RestoreGuard(std::function<bool(const std::string& device)> isChosenSink,
                           std::function<void()> wake)
    : isChosenSink_(std::move(isChosenSink)), wake_(std::move(wake)) {}

void RestoreGuard::start(pa_context* context, std::uint32_t version) {
    if (version == PA_INVALID_INDEX || context == nullptr) {
        return;
    }
    context_ = context;
    pa_ext_stream_restore_set_subscribe_cb(
        context_, [](pa_context*, void* data) { static_cast<RestoreGuard*>(data)->read(); }, this);
    forget(pa_ext_stream_restore_subscribe(context_, 1, nullptr, nullptr));
    read();
}

void RestoreGuard::stop() {
    if (context_ != nullptr) {
        pa_ext_stream_restore_set_subscribe_cb(context_, nullptr, nullptr);
    }
    context_ = nullptr;
    // The ends of the reads of the old connection never come now.
    readers_.clear();
    entries_.clear();
    touchedEarly_.clear();
    read_ = false;
}

void RestoreGuard::release(Clock::time_point now) {
    for (auto& [name, guard] : guards_) {
        if (!guard.until) {
            guard.until = now + kLinger;
        }
    }
}

void RestoreGuard::touch(const std::string& name, Clock::time_point now) {
    if (!read_) {
        touchedEarly_[name] = now;
        return;
    }
    const auto guard = guards_.find(name);
    if (guard != guards_.end() && !guard->second.until) {
        return;  // a tap's move guards it already, with the device from before the tap
    }
    guardAgainst(name, entries_, now + kLinger);
}

void RestoreGuard::guardAgainst(const std::string& name,
                                const std::map<std::string, Entry>& entries,
                                Clock::time_point until) {
    auto [guard, added] = guards_.try_emplace(name);
    if (added) {
        const auto entry = entries.find(name);
        if (entry != entries.end()) {
            guard->second.baseline = entry->second.device;
        } else {
            guard->second.noEntry = true;
        }
    }
    guard->second.until = until;
}

void RestoreGuard::read() {
    if (context_ == nullptr) {
        return;
    }
    const std::uint64_t id = nextReader_++;
    auto& reader = readers_[id];
    reader = std::make_unique<Reader>(Reader{this, id, {}});
    pa_operation* op = pa_ext_stream_restore_read(context_, &RestoreGuard::readShim, reader.get());
    if (op == nullptr) {
        readers_.erase(id);
    }
    forget(op);
}

void RestoreGuard::readShim(pa_context*, const pa_ext_stream_restore_info* info, int eol,
                            void* data) {
    auto* reader = static_cast<Reader*>(data);
    RestoreGuard* self = reader->owner;
    if (eol != 0) {
        auto entries = std::move(reader->entries);
        self->readers_.erase(reader->id);
        self->onRead(std::move(entries));
        self->wake_();
        return;
    }
    if (info == nullptr || info->name == nullptr) {
        return;
    }
    Entry entry;
    if (info->device != nullptr) {
        entry.device = info->device;
    }
    entry.map = info->channel_map;
    entry.volume = info->volume;
    entry.mute = info->mute;
    reader->entries[info->name] = entry;
}

RestoreGuard::Rewrites RestoreGuard::onRead(std::map<std::string, Entry> entries,
                                            Clock::time_point now) {
    Rewrites rewritten;
    removed_.clear();
    std::erase_if(guards_, [&](const auto& g) { return g.second.until && *g.second.until < now; });
    for (const auto& [name, when] : touchedEarly_) {
        guardAgainst(name, entries, when + kLinger);
    }
    touchedEarly_.clear();
    for (auto& [name, entry] : entries) {
        if (name.starts_with(kOwnRestorePrefix) && (entry.volume.channels != 0 || entry.mute != 0)) {
            // A level someone set on a stream of ours in another mixer: not
            // to be given to the next one.
            entry.volume = pa_cvolume{};
            entry.mute = 0;
            rewrite(name, entry, entry.device);
            rewritten[name] = entry.device;
            continue;
        }
        auto guard = guards_.find(name);
        if (isTapSinkName(entry.device)) {
            if (guard == guards_.end()) {
                // The device it named before our move, unless that was ours too.
                std::optional<std::string> before;
                if (const auto old = entries_.find(name);
                    old != entries_.end() && !isTapSinkName(old->second.device)) {
                    before = old->second.device;
                }
                guard = guards_.emplace(name, Guard{before, std::nullopt}).first;
            }
            rewrite(name, entry, guard->second.baseline);
            rewritten[name] = guard->second.baseline;
        } else if (guard != guards_.end() && !guard->second.until && entry.device &&
                   entry.device != guard->second.baseline && isChosenSink_(*entry.device)) {
            // The user moved a captured stream to this device meanwhile: that
            // is what the entry is to say once the tap has gone.
            guard->second.baseline = entry.device;
        } else if (guard != guards_.end() && guard->second.until &&
                   entry.device != guard->second.baseline) {
            rewritten[name] = guard->second.baseline;
            if (guard->second.noEntry && entry.volume.channels == 0 && entry.mute == 0) {
                removed_.insert(name);
            } else {
                rewrite(name, entry, guard->second.baseline);
            }
        }
    }
    for (const std::string& name : removed_) {
        remove(name);
        entries.erase(name);
    }
    entries_ = std::move(entries);
    read_ = true;
    return rewritten;
}

void RestoreGuard::rewrite(const std::string& name, Entry& entry,
                           const std::optional<std::string>& device) {
    entry.device = device;
    if (context_ == nullptr) {
        return;
    }
    pa_ext_stream_restore_info info{};
    info.name = name.c_str();
    info.channel_map = entry.map;
    info.volume = entry.volume;
    info.device = device ? device->c_str() : nullptr;
    info.mute = entry.mute;
    // Not applied to running streams: only what new streams will get.
    forget(pa_ext_stream_restore_write(context_, PA_UPDATE_REPLACE, &info, 1, 0, nullptr, nullptr));
}

void RestoreGuard::remove(const std::string& name) {
    if (context_ == nullptr) {
        return;
    }
    const char* names[] = {name.c_str(), nullptr};
    forget(pa_ext_stream_restore_delete(context_, names, nullptr, nullptr));
}

}  // namespace morvale::pulse
