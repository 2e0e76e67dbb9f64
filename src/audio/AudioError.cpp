// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioError.h"

#include "platform/Translation.h"

namespace morvale {

MorvaleError::MorvaleError(std::string domain, std::int64_t code,
                           std::map<std::string, std::string> userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {
    const auto it = userInfo_.find(std::string(kLocalizedDescriptionKey));
    if (it != userInfo_.end()) {
        description_ = it->second;
    }
}

MorvaleError asError(OSStatus status, std::string_view step) {
    //: %1 is the failed step, such as "create tap"; %2 the audio system's error number.
    std::string message =
        fillIn(translate("AudioError", "Couldn't %1 (error %2)"), {step, std::to_string(status)});
    return MorvaleError(std::string(MorvaleError::kDomain), status,
                        {{std::string(MorvaleError::kLocalizedDescriptionKey), message}});
}

}  // namespace morvale
