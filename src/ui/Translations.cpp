// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <string>

#include "platform/Translation.h"

namespace morvale::ui {

namespace {

const QString builtIn = QStringLiteral(":/i18n/morvale_%1.qm");

std::string lookUp(const char* context, const char* english) {
    return QCoreApplication::translate(context, english).toStdString();
}

}  // namespace

QString Translations::chooseLanguage(const QStringList& languages) {
    for (const QString& language : languages) {
        if (QLocale(language).language() == QLocale::English) {
            // Wanted before any translation: the texts as written.
            return QStringLiteral("en");
        }
        // "de-Latn-DE", then "de-Latn", then "de".
        QString name = language;
        name.replace(QLatin1Char('-'), QLatin1Char('_'));
        for (;;) {
            if (QFile::exists(builtIn.arg(name))) {
                return name;
            }
            const auto cut = name.lastIndexOf(QLatin1Char('_'));
            if (cut <= 0) {
                break;
            }
            name.truncate(cut);
        }
    }
    return {};
}

Translations::Translations(const QLocale& locale) {
    const QString language = chooseLanguage(locale.uiLanguages());
    if (language == QLatin1String("en")) {
        return;
    }
    if (!language.isEmpty() && own_.load(builtIn.arg(language))) {
        QCoreApplication::installTranslator(&own_);
    }
    // Qt's texts in the same language as Morvale's, or, without a translation
    // of Morvale's, in the user's.
    const QLocale qtLocale = language.isEmpty() ? locale : QLocale(language);
    if (qt_.load(qtLocale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qt_);
    }
    setTextLookup(&lookUp);
}

Translations::~Translations() {
    setTextLookup(nullptr);
    QCoreApplication::removeTranslator(&own_);
    QCoreApplication::removeTranslator(&qt_);
}

}  // namespace morvale::ui
