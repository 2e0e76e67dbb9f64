// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioHardware.h"

namespace morvale::property {

// A property's value as a backend looked it up: its bytes, or a text that
// is handed over as a StringRef, or the error the read ends with.
struct Answer {
    std::vector<unsigned char> bytes;
    std::optional<std::string> text;
    OSStatus status = kAudioNoError;
};

template <typename T>
Answer bytesOf(const T& value) {
    Answer answer;
    answer.bytes.resize(sizeof(T));
    std::memcpy(answer.bytes.data(), &value, sizeof(T));
    return answer;
}
Answer listOf(const std::vector<AudioObjectID>& ids);
Answer textOf(std::string text);
Answer failed(OSStatus status);

// The size getPropertyDataSize reports for an answer that is no error.
std::uint32_t sizeOf(const Answer& answer);

// Writes an answer that is no error into a caller's buffer as
// getPropertyData promises: a text as a new StringRef; a list of object ids
// cut to the whole ids that fit (ioDataSize says how many bytes were
// written); any other value only whole.
OSStatus copyOut(const Answer& answer, const AudioObjectPropertyAddress& address,
                 std::uint32_t* ioDataSize, void* outData);

// A value a caller hands over by pointer (a table of routes, a tap's
// description): what `data` points to, or null with `status` saying why (the
// data is not one pointer, or the pointer is null).
template <typename T>
const T* givenPointer(const void* data, std::uint32_t dataSize, OSStatus& status) {
    const T* given = nullptr;
    if (data == nullptr || dataSize != sizeof given) {
        status = kAudioHardwareBadPropertySizeError;
        return nullptr;
    }
    std::memcpy(&given, data, sizeof given);
    status = given == nullptr ? kAudioParamError : kAudioNoError;
    return given;
}

}  // namespace morvale::property
