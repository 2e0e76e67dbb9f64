// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Utf8.h"
#include "platform/linux/AppIdentity.h"

namespace morvale::LinuxDesktop {

std::optional<std::string> declaredName(const ClientHints& hints) {
    if (hints.applicationName && !hints.applicationName->empty() &&
        hints.applicationName != hints.binary) {
        return sanitizeUtf8(*hints.applicationName);
    }
    if (hints.applicationId && !hints.applicationId->empty()) {
        return sanitizeUtf8(*hints.applicationId);
    }
    return std::nullopt;
}

}  // namespace morvale::LinuxDesktop
