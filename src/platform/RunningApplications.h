// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvale {

enum class ActivationPolicy : std::int32_t {
    regular = 0,     // an ordinary application that the user sees and switches to
    accessory = 1,   // shows windows or a status item but is not switched to
    prohibited = 2,  // a background process
};

struct RunningApplication {
    std::optional<std::string> localizedName;  // absent when the application has none
    ActivationPolicy activationPolicy = ActivationPolicy::prohibited;
};

// The running applications of the user's session, looked up by process id.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;

    // The running application that process belongs to, or absent when it is none.
    virtual std::optional<RunningApplication> application(std::int32_t pid) const = 0;

    // The same for an audio process of that pid that the audio system knows
    // by this bundle ID (absent when it knows none). A platform whose bundle
    // IDs name applications looks the application up by it, so that the answer
    // agrees with the bundle ID and costs no second search; by default the pid
    // decides.
    virtual std::optional<RunningApplication> applicationOfAudioProcess(
        std::int32_t pid, const std::optional<std::string>& bundleID) const {
        (void)bundleID;
        return application(pid);
    }
};

}  // namespace morvale
