// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

namespace morvale {

// Where an application's picture comes from. The core never loads pictures:
// the interface layer turns this into one when it draws.
struct IconSource {
    enum class Kind {
        genericApplication,  // the platform's generic application icon
        file,                // a picture file, or a file whose icon is meant
        themeName            // a name to look up in the desktop's icon theme
    };
    Kind kind = Kind::genericApplication;
    std::string location;  // the path or the theme name; empty for the generic icon

    friend bool operator==(const IconSource&, const IconSource&) = default;
};

// Icons are shared, immutable handles, cached by key and compared by identity.
using Icon = std::shared_ptr<const IconSource>;

inline Icon makeIcon(IconSource::Kind kind, std::string location = {}) {
    return std::make_shared<const IconSource>(IconSource{kind, std::move(location)});
}

}  // namespace morvale
