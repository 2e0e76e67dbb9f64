// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <locale.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace morvale::LinuxDesktop::testing {

// Makes a locale such as "en_US.UTF-8" loadable for this test process: true
// when it is installed, or when localedef could build it into scratch, which
// LOCPATH then names. Test machines often have no locales but C.
inline bool makeLocaleAvailable(const std::string& name, const std::filesystem::path& scratch) {
    const auto loads = [&] {
        const locale_t locale = ::newlocale(LC_ALL_MASK, name.c_str(), locale_t{});
        if (locale != locale_t{})
            ::freelocale(locale);
        return locale != locale_t{};
    };
    if (loads()) {
        return true;
    }
    const auto dot = name.find('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string command = "localedef -i " + name.substr(0, dot) + " -f " +
                                name.substr(dot + 1) + " '" + (scratch / name).string() +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    ::setenv("LOCPATH", scratch.c_str(), 1);
    return loads();
}

}  // namespace morvale::LinuxDesktop::testing
