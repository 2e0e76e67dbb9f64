// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace morvale {

// text with every occurrence of what removed, left to right, without looking
// again at what the removal joins together.
inline std::string removeAll(std::string text, std::string_view what) {
    if (what.empty()) {
        return text;
    }
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
    return text;
}

}  // namespace morvale
