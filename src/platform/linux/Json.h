// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/PropertyList.h"

namespace morvale::LinuxDesktop {

// Property-list values as JSON text: strings, booleans, numbers (doubles),
// lists and dictionaries map one to one onto JSON's own kinds, so a value read
// back has the kind it was written with. JSON's null has no counterpart and is
// refused.

// Lists and dictionaries may nest this deep, no deeper: the reader recurses,
// and the writer refuses what the reader would refuse.
inline constexpr int kJsonMaxDepth = 64;

struct JsonParse {
    std::optional<PlistValue> value;  // absent when the text is not accepted
    std::string error;                // why, with the line and column
};

// Strict JSON (RFC 8259) in UTF-8: no comments, no trailing commas, no
// duplicate keys in one object, no NaN or Infinity, numbers that fit a double.
// A leading byte order mark is skipped.
JsonParse parseJson(std::string_view text);

struct JsonText {
    std::optional<std::string> text;  // absent when the value cannot be written
    std::string error;                // why: a number that is not finite, text
                                      // that is not UTF-8, nesting too deep
};

// Indented JSON whose numbers read back as the same doubles; independent of
// the process's C locale.
JsonText toJson(const PlistValue& value);

}  // namespace morvale::LinuxDesktop
