// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <vector>

namespace morvale::control {

// An application as the command line may name it: by its key or by the name
// the panel shows.
struct AppName {
    QString key;
    QString name;
};

// The applications a name given on the command line means, as indices into
// apps: those whose key or name equals it, ignoring case; when there are
// none, those whose key or name starts with it. One index is a match; none
// or several are for the user to sort out. An empty query means none.
std::vector<qsizetype> matchApplication(const QList<AppName>& apps, const QString& query);

}  // namespace morvale::control
