// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>

namespace morvale::ui {

// The program's texts in the user's language while this lives: Morvale's
// translation, built into the program, and Qt's own standard texts when the
// system has them. The texts that the core and the services make (the error
// line) go through the same lookup. Make it after the application object and
// before anything makes a text.
class Translations {
public:
    explicit Translations(const QLocale& locale = QLocale::system());
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // The first of languages (most wanted first, as QLocale::uiLanguages
    // gives them, "de-DE") that Morvale's texts are in: "en", the language
    // they are written in, or the name of a translation built in ("de").
    // Empty when there is none.
    static QString chooseLanguage(const QStringList& languages);

private:
    QTranslator qt_;
    QTranslator own_;
};

}  // namespace morvale::ui
