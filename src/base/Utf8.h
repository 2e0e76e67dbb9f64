// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvale {

// The bytes as UTF-8, each invalid sequence replaced by U+FFFD. Overlong forms,
// surrogates and code points beyond U+10FFFF count as invalid.
std::string sanitizeUtf8(std::string_view bytes);

// Calls visit(codePoint, bytes) for each character of text, which must be
// valid UTF-8 (as sanitizeUtf8 returns it).
template <typename Visit>
void forEachCodePoint(std::string_view text, Visit&& visit) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t cp = length == 1   ? lead
                           : length == 2 ? lead & 0x1Fu
                           : length == 3 ? lead & 0x0Fu
                                         : lead & 0x07u;
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        visit(cp, text.substr(i, length));
        i += length;
    }
}

}  // namespace morvale
