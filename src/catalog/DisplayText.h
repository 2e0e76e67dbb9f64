// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace morvale {

// A name as a row may show it. Bidirectional formatting characters
// (embeddings, overrides, isolates and marks) are removed: they can make a
// name read as another, as a right-to-left override turns "txt.exe" round.
// Every other control character, line and paragraph separators included,
// becomes U+FFFD, so that nothing vanishes unseen and no name breaks its line;
// so does invalid UTF-8. Keys keep the name as it was.
std::string displayText(std::string_view name);

}  // namespace morvale
