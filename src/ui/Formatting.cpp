// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Formatting.h"

#include <QCoreApplication>
#include <cmath>
#include <limits>

namespace morvale::ui {

std::int64_t roundHalfAwayFromZero(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    // std::round rounds halves away from zero. 2^63 is exactly representable;
    // anything from there on (or below -2^63) is out of range.
    const double rounded = std::round(value);
    constexpr double limit = 9223372036854775808.0;
    if (rounded >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (rounded < -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(rounded);
}

QString boostText(double boostDB) {
    if (std::isnan(boostDB) || boostDB < 0.5) {
        return QCoreApplication::translate("morvale::ui::ContentView", "Off");
    }
    return QCoreApplication::translate("morvale::ui::ContentView", "+%1 dB")
        .arg(static_cast<qlonglong>(roundHalfAwayFromZero(boostDB)));
}

QString percentText(double volume) {
    return QCoreApplication::translate("morvale::ui::AppRow", "%1%")
        .arg(static_cast<qlonglong>(roundHalfAwayFromZero(volume * 100.0)));
}

const char* muteSymbolName(double volume) {
    if (volume == 0.0) {
        return "speaker.slash.fill";
    }
    if (volume < 0.5) {
        return "speaker.wave.1.fill";
    }
    return "speaker.wave.2.fill";
}

}  // namespace morvale::ui
