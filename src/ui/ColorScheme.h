// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPalette>
#include <optional>

namespace morvale::ui {

// Whether the desktop prefers light or dark windows.
enum class ColorScheme { noPreference, dark, light };

// The desktop's preference as the XDG desktop portal's
// org.freedesktop.appearance color-scheme setting gives it (0 none, 1 dark,
// 2 light; anything else counts as none).
ColorScheme colorSchemeOfPortalValue(uint value);

// A preference set for this program alone, by MORVALE_COLOR_SCHEME=dark or
// light in the environment (for screenshots, and for desktops without a
// portal); none otherwise.
std::optional<ColorScheme> colorSchemeFromEnvironment();

// The palette for the panel: the desktop's own when it matches the scheme (or
// there is no preference), else a light or dark palette of ours, since Qt's
// platform themes do not all follow the desktop's preference.
QPalette paletteFor(ColorScheme scheme, const QPalette& desktop);
QPalette lightPalette();
QPalette darkPalette();

// The desktop's colour-scheme preference, kept up to date: from the
// environment's setting if there is one, else from the desktop portal (read
// at start and followed as it changes), else none. The portal is asked
// without blocking; changed() follows its answer.
class DesktopColorScheme final : public QObject {
    Q_OBJECT
public:
    explicit DesktopColorScheme(QObject* parent = nullptr);

    ColorScheme scheme() const { return scheme_; }

    // Takes this preference (the portal's, as it changes).
    void setScheme(ColorScheme scheme);

signals:
    void changed();

private:
    ColorScheme scheme_ = ColorScheme::noPreference;
};

}  // namespace morvale::ui
