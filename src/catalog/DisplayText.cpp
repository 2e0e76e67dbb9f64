// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/DisplayText.h"

#include <algorithm>
#include <cstdint>

#include "base/Utf8.h"

namespace morvale {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isBidiFormatting(std::uint32_t cp) {
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

bool isControl(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

}  // namespace

std::string displayText(std::string_view name) {
    // Most names are printable ASCII, which is shown as it is; a refresh
    // makes one for every row.
    const bool printableAscii = std::all_of(name.begin(), name.end(), [](char c) {
        return c >= 0x20 && c < 0x7F;
    });
    if (printableAscii) {
        return std::string(name);
    }
    const std::string text = sanitizeUtf8(name);
    std::string out;
    out.reserve(text.size());
    forEachCodePoint(text, [&out](std::uint32_t cp, std::string_view bytes) {
        if (isControl(cp)) {
            out += kReplacement;
        } else if (!isBidiFormatting(cp)) {
            out += bytes;
        }
    });
    return out;
}

}  // namespace morvale
