// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/LocaleCollator.h"

#include <cstdint>
#include <cstdlib>
#include <exception>

#include "base/Utf8.h"

namespace morvale::LinuxDesktop {

namespace {

std::string collationLocaleName() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return "C";
}

// Code points of UTF-8 text; invalid sequences become U+FFFD. wchar_t holds
// UTF-32 on Linux, which is what the C library's wide collation expects.
std::wstring decode(std::string_view bytes) {
    const std::string text = sanitizeUtf8(bytes);
    std::wstring out;
    out.reserve(text.size());
    forEachCodePoint(
        text, [&out](std::uint32_t cp, std::string_view) { out += static_cast<wchar_t>(cp); });
    return out;
}

int sign(int value) {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

}  // namespace

LocaleCollator::LocaleCollator() : LocaleCollator(collationLocaleName()) {}

LocaleCollator::LocaleCollator(const std::string& localeName) {
    try {
        std::locale locale(localeName.c_str());
        // Both facets are needed; a locale built without them would throw later.
        if (std::has_facet<std::collate<wchar_t>>(locale) &&
            std::has_facet<std::ctype<wchar_t>>(locale)) {
            locale_ = std::move(locale);
        }
    } catch (const std::exception&) {
        // Not installed or not a locale name: the fallback order serves.
    }
}

int LocaleCollator::compare(std::string_view a, std::string_view b) const {
    std::wstring x = decode(a);
    std::wstring y = decode(b);
    if (!locale_) {
        const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
        for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
            const wchar_t p = fold(x[i]);
            const wchar_t q = fold(y[i]);
            if (p != q) {
                return p < q ? -1 : 1;
            }
        }
        return x.size() == y.size() ? 0 : x.size() < y.size() ? -1 : 1;
    }
    // Case is folded first, so names that differ only in case compare the same
    // instead of being ordered by the locale's tie-break on case.
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(*locale_);
    ctype.tolower(x.data(), x.data() + x.size());
    ctype.tolower(y.data(), y.data() + y.size());
    const auto& collate = std::use_facet<std::collate<wchar_t>>(*locale_);
    return sign(collate.compare(x.data(), x.data() + x.size(), y.data(), y.data() + y.size()));
}

}  // namespace morvale::LinuxDesktop
