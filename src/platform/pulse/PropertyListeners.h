// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>

#include "platform/AudioHardware.h"

namespace morvale::pulse {

// The property listener blocks registered with the backend, and the news
// they wait for. Plain data: the backend's lock guards it, and blocks are
// called with that lock held, so none is called once its removal returned.
//
// Only the system object's process list can be listened to; it changes when
// the set of process objects does, which the backend's object table counts.
class PropertyListeners {
public:
    // Whether an address can be listened to on an object: the status to fail with, else 0.
    static OSStatus supports(AudioObjectID object, const AudioObjectPropertyAddress& address);

    AudioObjectPropertyListenerID add(const AudioObjectPropertyAddress& address,
                                      AudioObjectPropertyListenerBlock block);
    bool remove(const AudioObjectPropertyAddress& address, AudioObjectPropertyListenerID id);

    // The object table's count of process list changes: tells the process
    // list's listeners when it moved on since last time.
    void processListIs(std::uint64_t version);

private:
    struct Listener {
        AudioObjectPropertyAddress address;
        AudioObjectPropertyListenerBlock block;
    };
    std::uintptr_t next_ = 1;
    std::map<AudioObjectPropertyListenerID, Listener> listeners_;
    std::uint64_t processList_ = 0;
};

}  // namespace morvale::pulse
