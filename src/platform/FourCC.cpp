// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FourCC.h"

namespace morvale {

std::string fourCCString(std::uint32_t code) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<unsigned char>((code >> shift) & 0xFFu);
        if (byte < 0x20 || byte > 0x7E) {
            return std::to_string(code);
        }
        text += static_cast<char>(byte);
    }
    return text + "'";
}

}  // namespace morvale
