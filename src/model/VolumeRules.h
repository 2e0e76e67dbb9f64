#pragma once

#include <optional>
#include <string_view>

namespace morvale::volumerules {

inline constexpr double kFullVolumeThreshold = 0.995;

// The linear gain for a volume: volume squared, narrowed to single precision.
float gain(double volume);

// The amplitude factor of a boost in decibels, narrowed to single precision.
float boostFactor(double boostDB);

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

}  // namespace morvale::volumerules
