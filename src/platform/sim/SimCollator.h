// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <string_view>

#include "platform/Collator.h"

namespace morvale::sim {

// Case-insensitive byte order: enough for names in tests and demos.
class SimCollator final : public Collator {
public:
    int compare(std::string_view a, std::string_view b) const override {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        const auto n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const auto x = static_cast<unsigned char>(lower(a[i]));
            const auto y = static_cast<unsigned char>(lower(b[i]));
            if (x != y) {
                return x < y ? -1 : 1;
            }
        }
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    }
};

}  // namespace morvale::sim
