// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace morvale::LinuxDesktop {

// The keys of one group of a desktop-entry style file ("[Desktop Entry]"),
// raw values as written (escapes still in). Keys keep their locale suffix:
// "Name[de]" is a key of its own.
using KeyFileGroup = std::map<std::string, std::string, std::less<>>;

// Absent when the text is not a well-formed key file (a line that is neither
// a comment, a group header nor a key=value pair) or has no such group. When a
// key appears twice in the group the first one counts.
std::optional<KeyFileGroup> readKeyFileGroup(std::string_view text, std::string_view group);

// A value of the string types with its escapes (\s \n \t \r \\) resolved.
std::string unescapeKeyFileValue(std::string_view raw);

// A boolean value: only "true" is true.
bool keyFileBool(const KeyFileGroup& group, std::string_view key);

}  // namespace morvale::LinuxDesktop
