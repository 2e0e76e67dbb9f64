// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

// The values the command line takes, read from their text. Pure functions,
// apart from Qt's strings.
namespace morvale::control {

// A volume to set: an absolute one (0 to 1), or a step up or down (-1 to 1)
// from the volume the application has.
struct Level {
    bool relative = false;
    double value = 0.0;

    friend bool operator==(const Level&, const Level&) = default;
};

// Reads "40%" or "0.4" (absolute) and "+5%", "-5%", "+0.05" (a step). A
// number without "%" is a fraction, so it must be within 0 to 1: "40" is
// refused rather than read as 40% or 4000%. Absent for anything else,
// including levels beyond 100% and numbers that are not finite.
std::optional<Level> parseLevel(const QString& text);

// Reads a boost in decibels: "6", "6.5", "6dB" or "6 dB" (any case), within 0
// to maxDB. Absent for anything else.
std::optional<double> parseBoost(const QString& text, double maxDB);

}  // namespace morvale::control
