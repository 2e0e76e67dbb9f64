// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

namespace morvale::ui {

// Rounds to the nearest whole number, halves away from zero, as a 64-bit
// integer. Values beyond the 64-bit range give its nearest end; NaN gives 0.
std::int64_t roundHalfAwayFromZero(double value);

// The boost value beside "Undo call ducking": "Off" below 0.5 dB (and for NaN),
// otherwise "+N dB" with N the rounded decibels.
QString boostText(double boostDB);

// A volume as a whole percentage: 0.75 reads "75%".
QString percentText(double volume);

// The name of the speaker symbol for a volume: slashed at exactly 0, one wave
// below one half, two waves from one half on.
const char* muteSymbolName(double volume);

}  // namespace morvale::ui
