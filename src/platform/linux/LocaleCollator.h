// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <locale>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Collator.h"

namespace morvale::LinuxDesktop {

// Compares UTF-8 names by the collation rules of the user's locale, ignoring
// letter case: "alpha" before "Beta", "éclair" between "eclair" and "ecluse"
// where the locale says so. When the locale cannot be loaded it falls back to
// code point order with ASCII letters folded. Never throws.
class LocaleCollator final : public Collator {
public:
    // The collation locale from the environment (LC_ALL, LC_COLLATE, LANG).
    LocaleCollator();
    // A named locale ("de_DE.UTF-8"); the fallback when it is not installed.
    explicit LocaleCollator(const std::string& localeName);

    int compare(std::string_view a, std::string_view b) const override;

    // Whether the locale's rules are in use (false: the fallback order).
    bool usesLocale() const { return locale_.has_value(); }

private:
    std::optional<std::locale> locale_;
};

}  // namespace morvale::LinuxDesktop
