// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace morvale {

// Texts the user reads are written in English where they are made, and shown
// in the user's language: the interface installs a lookup at start (Qt's
// translations), and without one the English stands. The lookup is the
// process's, like the language: texts are made in places (a file parser, an
// audio error) that have no platform at hand.
using TextLookup = std::string (*)(const char* context, const char* english);

// Installs the lookup, or none (null). Call before texts are made; the lookup
// may be called from any thread.
void setTextLookup(TextLookup lookup);

// english in the user's language. Write both as string literals at the call,
// translate("Settings", "Couldn't save settings: %1"): the translation tools
// find the texts by that form, with a "//:" comment above as a translator's
// note.
std::string translate(const char* context, const char* english);

// pattern with each of %1 to %9 replaced by that argument, in one pass: a "%"
// inside an argument (a file name, say) is left as it is. A placeholder
// without an argument, and a "%" followed by anything else, stay as written.
std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace morvale
