// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace morvale::ui {

// Qt's bridge to AT-SPI (the Linux desktop's accessibility bus) hands screen
// readers a slider's value as a bare number: its Value interface has no Text
// property, so "50%" is read as "50" and "+6 dB" as "6". This answers that
// property, for any object of ours with a value, with the text its
// accessible interface gives (QAccessible::Value), on the bridge's own
// connection and before the bridge sees the request. Call once, after the
// application object is made; harmless where no screen reader is running.
void installAtSpiValueText();

// The object path under which Qt's bridge shows an accessible object.
inline constexpr const char* atSpiObjectPathPrefix = "/org/a11y/atspi/accessible/";

}  // namespace morvale::ui
