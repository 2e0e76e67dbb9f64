// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PropertyAnswer.h"

#include <algorithm>

#include "platform/FourCC.h"
#include "platform/PropertyString.h"

namespace morvale::property {

Answer listOf(const std::vector<AudioObjectID>& ids) {
    Answer answer;
    answer.bytes.resize(ids.size() * sizeof(AudioObjectID));
    if (!ids.empty()) {
        std::memcpy(answer.bytes.data(), ids.data(), answer.bytes.size());
    }
    return answer;
}

Answer textOf(std::string text) {
    Answer answer;
    answer.text = std::move(text);
    return answer;
}

Answer failed(OSStatus status) {
    Answer answer;
    answer.status = status;
    return answer;
}

std::uint32_t sizeOf(const Answer& answer) {
    return answer.text ? static_cast<std::uint32_t>(sizeof(StringRef))
                       : static_cast<std::uint32_t>(answer.bytes.size());
}

OSStatus copyOut(const Answer& answer, const AudioObjectPropertyAddress& address,
                 std::uint32_t* ioDataSize, void* outData) {
    auto* out = static_cast<unsigned char*>(outData);
    if (answer.text) {
        if (*ioDataSize < sizeof(StringRef)) {
            return kAudioHardwareBadPropertySizeError;
        }
        const StringRef ref = makeStringRef(*answer.text);
        std::memcpy(out, &ref, sizeof ref);
        *ioDataSize = sizeof ref;
        return kAudioNoError;
    }
    const bool isList = address.mSelector == kProcessObjectList ||
                        address.mSelector == kDeviceStreams ||
                        address.mSelector == kOutputDeviceList;
    if (!isList && *ioDataSize < answer.bytes.size()) {
        return kAudioHardwareBadPropertySizeError;
    }
    std::size_t count = std::min<std::size_t>(answer.bytes.size(), *ioDataSize);
    if (isList) {
        count -= count % sizeof(AudioObjectID);
    }
    if (count > 0) {
        std::memcpy(out, answer.bytes.data(), count);
    }
    *ioDataSize = static_cast<std::uint32_t>(count);
    return kAudioNoError;
}

}  // namespace morvale::property
