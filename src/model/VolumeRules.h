// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

namespace morvale::VolumeRules {

// A volume at or above this is full: not stored, and no tap outside a boosted
// call.
inline constexpr double kFullVolumeThreshold = 0.995;

// The boost slider's range ends here, and so does any boost's effect.
inline constexpr double kMaxBoostDB = 30.0;

// Stored values are kept as they are, but where they turn into sound or text
// they count within what the controls can set: a volume from 0 (silent) to 1
// (full), a boost from 0 to kMaxBoostDB. A value that is not a number, or is
// infinite, counts as none stored: full volume, no boost.
double playableVolume(double stored);
double playableBoostDB(double stored);

// The linear gain for a volume: the playable volume squared, narrowed to
// single precision.
float gain(double volume);

// The amplitude factor of a boost in decibels (the playable boost), narrowed
// to single precision.
float boostFactor(double boostDB);

// The boost that sounds: the playable boost, at most the ducking the system
// applies during a call where it tells (none: it lowers nothing, so there is
// nothing to undo), the whole boost where it does not.
double liftDB(double boostDB, std::optional<double> callDuckingDB);

// Whether a key needs a tap and with which gain.
struct TapDecision {
    std::string_view key;
    double volume;
    bool boostedCall;   // a call is active and the boost is above 0
    double boostDB;
    bool entryPlaying;  // the key's row exists and is playing
    bool inCall = false;  // the key's application records while it plays (AppEntry::isInCall)
};
std::optional<float> targetGain(const TapDecision& d);

}  // namespace morvale::VolumeRules
