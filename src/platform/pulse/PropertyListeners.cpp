// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/PropertyListeners.h"

#include "platform/FourCC.h"

namespace morvale::pulse {

namespace {

constexpr AudioObjectPropertyAddress kProcessList{kProcessObjectList, kScopeGlobal, kElementMain};

}  // namespace

OSStatus PropertyListeners::supports(AudioObjectID object,
                                     const AudioObjectPropertyAddress& address) {
    if (object != kAudioObjectSystemObject) {
        return kAudioHardwareBadObjectError;
    }
    return address == kProcessList ? kAudioNoError : kAudioHardwareUnknownPropertyError;
}

AudioObjectPropertyListenerID PropertyListeners::add(const AudioObjectPropertyAddress& address,
                                                     AudioObjectPropertyListenerBlock block) {
    // Listener ids are opaque tokens; they never point at anything.
    const auto id = reinterpret_cast<AudioObjectPropertyListenerID>(next_++ * 16);
    listeners_[id] = Listener{address, std::move(block)};
    return id;
}

bool PropertyListeners::remove(const AudioObjectPropertyAddress& address,
                               AudioObjectPropertyListenerID id) {
    const auto it = listeners_.find(id);
    if (it == listeners_.end() || it->second.address != address) {
        return false;
    }
    listeners_.erase(it);
    return true;
}

void PropertyListeners::processListIs(std::uint64_t version) {
    if (version == processList_) {
        return;
    }
    processList_ = version;
    for (const auto& [id, listener] : listeners_) {
        if (listener.address == kProcessList) {
            listener.block(1, &kProcessList);
        }
    }
}

}  // namespace morvale::pulse
