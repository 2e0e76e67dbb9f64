// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control/AppMatch.h"

namespace morvale::control {

std::vector<qsizetype> matchApplication(const QList<AppName>& apps, const QString& query) {
    std::vector<qsizetype> whole;
    std::vector<qsizetype> prefixed;
    if (query.isEmpty()) {
        return whole;
    }
    // Case-folded, so that letters beyond ASCII compare without case too.
    const QString folded = query.toCaseFolded();
    for (qsizetype i = 0; i < apps.size(); ++i) {
        const QString key = apps[i].key.toCaseFolded();
        const QString name = apps[i].name.toCaseFolded();
        if (key == folded || name == folded) {
            whole.push_back(i);
        } else if (key.startsWith(folded) || name.startsWith(folded)) {
            prefixed.push_back(i);
        }
    }
    return whole.empty() ? prefixed : whole;
}

}  // namespace morvale::control
