// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control/Arguments.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace morvale::control {

namespace {

// Digits with an optional fraction, in the C locale's notation (a dot), with
// no exponent: what people type for a level, and nothing that reads "inf".
constexpr const char* kNumber = R"((\d+(?:\.\d*)?|\.\d+))";

std::optional<double> number(const QString& digits) {
    bool ok = false;
    const double value = QLocale::c().toDouble(digits, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<Level> parseLevel(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("\\A([+-]?)%1(%?)\\z").arg(QLatin1String(kNumber)));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    std::optional<double> value = number(match.captured(2));
    if (!value) {
        return std::nullopt;
    }
    if (!match.captured(3).isEmpty()) {
        *value /= 100.0;
    }
    if (*value > 1.0) {
        return std::nullopt;
    }
    const QString sign = match.captured(1);
    if (sign.isEmpty()) {
        return Level{false, *value};
    }
    return Level{true, sign == QLatin1String("-") ? -*value : *value};
}

std::optional<double> parseBoost(const QString& text, double maxDB) {
    static const QRegularExpression pattern(
        QStringLiteral("\\A%1 ?(dB)?\\z").arg(QLatin1String(kNumber)),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const std::optional<double> value = number(match.captured(1));
    if (!value || *value > maxDB) {
        return std::nullopt;
    }
    return value;
}

}  // namespace morvale::control
