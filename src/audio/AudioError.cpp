#include "audio/AudioError.h"

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
    std::string message = "Couldn't ";
    message += step;
    message += " (error ";
    message += std::to_string(status);
    message += ")";
    return MorvaleError(std::string(MorvaleError::kDomain), status,
                        {{std::string(MorvaleError::kLocalizedDescriptionKey), message}});
}

}  // namespace morvale
