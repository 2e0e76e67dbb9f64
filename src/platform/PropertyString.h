// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace morvale {

// A string property value as the audio hardware hands it over: an opaque
// reference that the reader owns and must release, exactly once. Reading a
// string property writes one StringRef into the caller's data buffer.
struct PropertyString;
using StringRef = const PropertyString*;

// Makes a new reference holding a copy of text; the receiver releases it.
StringRef makeStringRef(std::string_view text);
// The text a reference holds. The reference must not be null.
const std::string& stringRefValue(StringRef ref);
// Ends a reference. Null is allowed and does nothing.
void releaseStringRef(StringRef ref);

struct StringRefReleaser {
    void operator()(StringRef ref) const { releaseStringRef(ref); }
};
// Owns a reference until it goes out of scope.
using OwnedStringRef = std::unique_ptr<const PropertyString, StringRefReleaser>;

}  // namespace morvale
