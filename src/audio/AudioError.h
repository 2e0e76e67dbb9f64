// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <string_view>

#include "platform/AudioHardware.h"

namespace morvale {

// An error value: a domain, a code and user information whose one entry is the
// readable description.
class MorvaleError : public std::exception {
public:
    static constexpr std::string_view kDomain = "Morvale";
    static constexpr std::string_view kLocalizedDescriptionKey = "NSLocalizedDescription";

    MorvaleError(std::string domain, std::int64_t code,
                 std::map<std::string, std::string> userInfo);

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const std::map<std::string, std::string>& userInfo() const { return userInfo_; }
    // The description from the user information; empty when there is none.
    const std::string& localizedDescription() const { return description_; }

    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::string domain_;
    std::int64_t code_;
    std::map<std::string, std::string> userInfo_;
    std::string description_;
};

// The error for an audio hardware status in a named step:
// "Couldn't <step> (error <status>)", the status as a signed decimal number.
// The step is given in the user's language, like the text around it.
MorvaleError asError(OSStatus status, std::string_view step);

}  // namespace morvale
