// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>

#include "UiFixture.h"
#include "ui/DesktopCalls.h"
#include "ui/Translations.h"

namespace morvale::testing {
namespace {

using Call = sim::SimulatedAudioSystem::Call;
constexpr const char* kPlayer = "org.example.Player";
using PanelLanguage = UiFixture;

// The panel in German, with an error made in the core (a tap that could not be
// made), the Calls row and a player at 50%. Which locale finds which
// translation is ChooseLanguage's.
TEST_F(PanelLanguage, ThePanelAndTheCoresErrorsSpeakTheUsersLanguage) {
    const ui::Translations translations{QLocale(QLocale::German, QLocale::Germany)};
    sim.grouping = ui::desktopGrouping();
    sim.audio.injectFailure({Call::createProcessTap, -50});
    addApp(40, kPlayer, "Player", true);
    makeModel();
    model->setVolume(kPlayer, 0.5);
    const auto view = makeView();
    const auto text = [&](const char* name) { return child<QLabel>(*view, name)->text(); };
    const ui::AppRow& player = row(*view, kPlayer);
    EXPECT_EQ((QStringList{child<QPushButton>(*view, "quitButton")->text(),
                           QString::fromStdString(model->callRowName()), percent(player),
                           player.muteButton()->accessibleName(), text("errorLine")}),
              (QStringList{"Beenden", "Anrufe", "50\u00a0%", "Player stummschalten",
                           "Das Anlegen des Audio-Abgriffs ist fehlgeschlagen (Fehler -50)"}));
    EXPECT_TRUE(text("helpText").contains("Anrufe"));
}

TEST(ChooseLanguage, TakesTheFirstWantedLanguageThatMorvaleSpeaks) {
    // English is what the texts are written in: wanted first, it wins.
    // clang-format off
    const std::pair<QStringList, QString> cases[] = {
        {{"de-DE"}, "de"}, {{"de-Latn-CH"}, "de"}, {{"de"}, "de"}, {{"fr-FR", "de-DE"}, "de"},
        {{"en-GB", "de-DE"}, "en"}, {{"de-DE", "en-US"}, "de"}, {{"fr-FR", "it-IT"}, ""}, {{}, ""}};
    // clang-format on
    for (const auto& [wanted, chosen] : cases) {
        EXPECT_EQ(ui::Translations::chooseLanguage(wanted), chosen) << wanted.join(',');
    }
}

// The shipped translations, read as the translator left them: a translation
// that drops or invents a placeholder (%1 to %9, as both Qt's arg() and
// fillIn read them) would lose a file name or an error's reason, or show "%2"
// to the user; neither lrelease nor the build notices.
TEST(TranslationFile, EachTranslationHasItsSourcesPlaceholders) {
    const auto placeholders = [](const QString& text) {
        QStringList found;
        for (const auto& match : QRegularExpression("%[1-9]").globalMatch(text)) {
            found << match.captured();
        }
        found.sort();
        found.removeDuplicates();
        return found.join(' ');
    };
    const QRegularExpression message(
        "<source>(.*?)</source>.*?<translation[^>]*>(.*?)</translation>",
        QRegularExpression::DotMatchesEverythingOption);
    const QDir folder(MORVALE_SOURCE_DIR "/translations");
    const QStringList files = folder.entryList({"*.ts"}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        int messages = 0;
        for (const auto& match : message.globalMatch(QString::fromUtf8(file.readAll()))) {
            ++messages;
            EXPECT_EQ(placeholders(match.captured(2)), placeholders(match.captured(1)))
                << name << ": " << match.captured(1);
        }
        EXPECT_GT(messages, 0) << name;
    }
}

}  // namespace
}  // namespace morvale::testing
