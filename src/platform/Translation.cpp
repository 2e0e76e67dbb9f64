// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Translation.h"

#include <atomic>

namespace morvale {

namespace {

std::atomic<TextLookup> installedLookup{nullptr};

}  // namespace

void setTextLookup(TextLookup lookup) {
    installedLookup.store(lookup, std::memory_order_release);
}

std::string translate(const char* context, const char* english) {
    const TextLookup lookup = installedLookup.load(std::memory_order_acquire);
    return lookup != nullptr ? lookup(context, english) : std::string(english);
}

std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (index < args.size()) {
                out += args.begin()[index];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace morvale
