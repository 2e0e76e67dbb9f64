// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace morvale::ui {

// The symbol pictures the program ships, by symbol name: "slider.horizontal.3"
// (the tray icon) and the speakers "speaker.slash.fill", "speaker.wave.1.fill"
// and "speaker.wave.2.fill". They are one-colour drawings; each is drawn in
// the colour asked for, at any size, sharp at any pixel density.

// Whether a picture with this name is shipped.
bool hasSymbol(const QString& name);

// The picture drawn in color. An unknown name gives a null icon. themeName,
// when given, is what the icon reports as its name, so that a tray host that
// loads icons by name (and recolours symbolic ones to fit the panel) can.
// A valid outline colour rings the drawing with a thin line of that colour,
// which keeps it visible on a background as dark or as light as color itself.
QIcon symbolIcon(const QString& name, const QColor& color, const QString& themeName = {},
                 const QColor& outline = {});

}  // namespace morvale::ui
