// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PropertyString.h"

namespace morvale {

struct PropertyString {
    std::string text;
};

StringRef makeStringRef(std::string_view text) {
    return new PropertyString{std::string(text)};
}

const std::string& stringRefValue(StringRef ref) {
    return ref->text;
}

void releaseStringRef(StringRef ref) {
    delete ref;
}

}  // namespace morvale
