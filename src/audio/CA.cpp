// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/CA.h"

#include "platform/PropertyString.h"

namespace morvale::CA {

std::vector<AudioObjectID> ids(AudioHardware& hw, AudioObjectID object, std::uint32_t selector,
                               std::uint32_t scope) {
    const auto address = addr(selector, scope);
    std::uint32_t size = 0;
    if (hw.getPropertyDataSize(object, address, 0, nullptr, &size) != kAudioNoError) {
        return {};
    }
    const std::size_t count = size / sizeof(AudioObjectID);
    if (count == 0) {
        return {};
    }
    // The list keeps the announced length even when the read returns fewer
    // bytes; what was not written stays 0. The read is offered exactly the
    // list's bytes: an announced size that is not a whole number of ids must
    // not let it write past the end.
    std::vector<AudioObjectID> list(count, 0);
    auto bytes = static_cast<std::uint32_t>(count * sizeof(AudioObjectID));
    if (hw.getPropertyData(object, address, 0, nullptr, &bytes, list.data()) != kAudioNoError) {
        return {};
    }
    return list;
}

std::optional<std::string> string(AudioHardware& hw, AudioObjectID object,
                                  std::uint32_t selector) {
    StringRef raw = nullptr;
    auto size = static_cast<std::uint32_t>(sizeof raw);
    const auto address = addr(selector);
    const OSStatus status = hw.getPropertyData(object, address, 0, nullptr, &size, &raw);
    // The reference is ours whatever the status says, so it is released on every path.
    const OwnedStringRef owned(raw);
    if (status != kAudioNoError || owned == nullptr) {
        return std::nullopt;
    }
    return stringRefValue(owned.get());
}

AudioObjectID defaultOutputDevice(AudioHardware& hw) {
    return get<AudioObjectID>(hw, kAudioObjectSystemObject, kDefaultOutputDevice,
                              kAudioObjectUnknown);
}

}  // namespace morvale::CA
