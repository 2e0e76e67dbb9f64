// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Utf8.h"

#include <cstdint>

namespace morvale {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid sequence starting at bytes[i], or 0 when it is invalid.
// Follows the well-formed byte sequences table of the Unicode standard, so a
// broken sequence is replaced by its maximal invalid prefix and decoding
// resumes at the next byte that could start a character.
std::size_t validLength(std::string_view bytes, std::size_t i, std::size_t* invalidPrefix) {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
    const std::uint8_t lead = at(i);
    *invalidPrefix = 1;
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= bytes.size()) {
            *invalidPrefix = k;
            return 0;
        }
        const std::uint8_t byte = at(i + k);
        const std::uint8_t min = k == 1 ? low : 0x80;
        const std::uint8_t max = k == 1 ? high : 0xBF;
        if (byte < min || byte > max) {
            *invalidPrefix = k;
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string sanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t invalidPrefix = 1;
        const std::size_t length = validLength(bytes, i, &invalidPrefix);
        if (length == 0) {
            out += kReplacement;
            i += invalidPrefix;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace morvale
