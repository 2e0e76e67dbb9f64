// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AppIcons.h"

#include <QFileInfo>
#include <QHash>
#include <QString>

#include "ui/Symbols.h"

namespace morvale::ui {

namespace {

QIcon fromTheme(const QString& name) {
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull()) {
        // Desktop entries sometimes name a theme icon with its file extension.
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix == QLatin1String("png") || suffix == QLatin1String("svg") ||
            suffix == QLatin1String("xpm")) {
            icon = QIcon::fromTheme(name.left(name.size() - suffix.size() - 1));
        }
    }
    if (icon.isNull() && hasSymbol(name)) {
        // A name whose picture we ship (the call row's), for themes that
        // lack it.
        icon = QIcon(QStringLiteral(":/symbols/%1.svg").arg(name));
    }
    return icon;
}

QIcon fromFile(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    QIcon icon(path);
    return icon.availableSizes().isEmpty() && icon.pixmap(24, 24).isNull() ? QIcon() : icon;
}

QIcon load(const IconSource& source) {
    const QString location = QString::fromStdString(source.location);
    QIcon icon;
    switch (source.kind) {
        case IconSource::Kind::file:
            icon = fromFile(location);
            break;
        case IconSource::Kind::themeName:
            icon = fromTheme(location);
            break;
        case IconSource::Kind::genericApplication:
            break;
    }
    return icon.isNull() ? genericAppIcon() : icon;
}

}  // namespace

QIcon genericAppIcon() {
    // Kept for the rest of the run (never destroyed: pictures must not outlive
    // the application object at exit).
    static const QIcon* generic = [] {
        QIcon icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
        return new QIcon(icon.isNull() ? QIcon(QStringLiteral(":/symbols/application.generic.svg"))
                                       : icon);
    }();
    return *generic;
}

QIcon appIcon(const Icon& icon) {
    if (!icon) {
        return genericAppIcon();
    }
    static auto& cache = *new QHash<QString, QIcon>;  // never destroyed, as above
    const QString key = QString::number(static_cast<int>(icon->kind)) + QLatin1Char(':') +
                        QString::fromStdString(icon->location);
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache.insert(key, load(*icon));
    }
    return *it;
}

}  // namespace morvale::ui
