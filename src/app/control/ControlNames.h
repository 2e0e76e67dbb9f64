// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the running Morvale is reached on the session bus, and the names of
// the errors its service replies with: what the service and the command line
// share. The interface itself is data/dbus/io.github.morvale.Morvale1.xml.
namespace morvale::control {

inline const QString busName = QStringLiteral("io.github.morvale.Morvale");
inline const QString objectPath = QStringLiteral("/io/github/morvale/Morvale");
inline const QString interfaceName = QStringLiteral("io.github.morvale.Morvale1");

// A key that names no application Morvale knows.
inline const QString unknownApplicationError =
    QStringLiteral("io.github.morvale.Morvale1.Error.UnknownApplication");

// The keys of a row's dictionary in ListApplications.
namespace row {
inline const QString key = QStringLiteral("key");
inline const QString name = QStringLiteral("name");
inline const QString volume = QStringLiteral("volume");
inline const QString muted = QStringLiteral("muted");
inline const QString playing = QStringLiteral("playing");
inline const QString running = QStringLiteral("running");
inline const QString callRow = QStringLiteral("callRow");
inline const QString output = QStringLiteral("output");
inline const QString hidden = QStringLiteral("hidden");
}  // namespace row

// The keys of an output's dictionary in ListOutputs.
namespace outputKey {
inline const QString uid = QStringLiteral("uid");
inline const QString name = QStringLiteral("name");
}  // namespace outputKey

// Teaches Qt's D-Bus marshalling the list of rows (aa{sv}); call before the
// first call or reply carries one. Safe to call more than once.
void registerTypes();

}  // namespace morvale::control
