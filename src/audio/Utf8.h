#pragma once

#include <string>
#include <string_view>

namespace morvale {

// The bytes as UTF-8, each invalid sequence replaced by U+FFFD. Overlong forms,
// surrogates and code points beyond U+10FFFF count as invalid.
std::string sanitizeUtf8(std::string_view bytes);

}  // namespace morvale
