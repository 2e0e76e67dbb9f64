// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace morvale {

// Orders names for people: by the user's locale, ignoring letter case.
class Collator {
public:
    virtual ~Collator() = default;

    // Negative when a comes before b, 0 when they compare the same, positive after.
    virtual int compare(std::string_view a, std::string_view b) const = 0;
};

}  // namespace morvale
