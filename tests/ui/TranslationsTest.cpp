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

// Quit button, Calls row, a percentage, a mute button's name and an error
// made in the core by a tap session.
struct LanguageCase {
    const char *locale, *quit, *calls, *percent, *mute, *error;
};

void PrintTo(const LanguageCase& c, std::ostream* out) {
    *out << c.locale;
}

class PanelLanguage : public UiFixture, public ::testing::WithParamInterface<LanguageCase> {
protected:
    // A model whose tap could not be made, with the Calls row and a player at 50%.
    void makePanelModel() {
        sim.audio.injectFailure({Call::createProcessTap, -50});
        addApp(40, kPlayer, "Player", true);
        makeModel();
        model->setVolume(kPlayer, 0.5);
    }
};

TEST_P(PanelLanguage, ThePanelAndTheCoresErrorsSpeakTheUsersLanguage) {
    const LanguageCase& c = GetParam();
    const ui::Translations translations{QLocale(QString::fromLatin1(c.locale))};
    sim.calls = ui::desktopCalls();
    makePanelModel();
    const auto view = makeView();
    const auto text = [&](const char* name) { return child<QLabel>(*view, name)->text(); };
    const ui::AppRow& player = row(*view, kPlayer);
    EXPECT_EQ((QStringList{child<QPushButton>(*view, "quitButton")->text(),
                           QString::fromStdString(model->callRowName()), percent(player),
                           player.muteButton()->accessibleName(), text("errorLine")}),
              (QStringList{c.quit, c.calls, c.percent, c.mute, c.error}));
    EXPECT_TRUE(text("helpText").contains(c.calls));
}

constexpr LanguageCase german{"de_DE",
                              "Beenden",
                              "Anrufe",
                              "50\u00a0%",
                              "Player stummschalten",
                              "Das Anlegen des Audio-Abgriffs ist fehlgeschlagen (Fehler -50)"};
constexpr LanguageCase english{"en_US", "Quit",        "Calls",
                               "50%",   "Mute Player", "Couldn't create tap (error -50)"};

// The same texts, in another locale.
constexpr LanguageCase in(const char* locale, LanguageCase texts) {
    texts.locale = locale;
    return texts;
}

// A country without a translation of its own takes the language's; with no
// translation for the language, the texts are as written.
INSTANTIATE_TEST_SUITE_P(Locales, PanelLanguage,
                         ::testing::Values(german, english, in("de_AT", german),
                                           in("fr_FR", english)),
                         [](const auto& test) { return std::string(test.param.locale); });

TEST_F(PanelLanguage, TheCoreSpeaksEnglishAgainOnceTheTranslationsEnd) {
    {
        const ui::Translations translations{QLocale(QLocale::German, QLocale::Germany)};
        EXPECT_EQ(ui::desktopCalls().name, "Anrufe");
    }
    EXPECT_EQ(ui::desktopCalls().name, "Calls");
    makePanelModel();
    EXPECT_EQ(model->errorText(), "Couldn't create tap (error -50)");
}

TEST(ChooseLanguage, TakesTheFirstWantedLanguageThatMorvaleSpeaks) {
    // English is what the texts are written in: wanted first, it wins.
    const std::pair<QStringList, QString> cases[] = {{{"de-DE"}, "de"},
                                                     {{"de-Latn-CH"}, "de"},
                                                     {{"de"}, "de"},
                                                     {{"fr-FR", "de-DE"}, "de"},
                                                     {{"en-GB", "de-DE"}, "en"},
                                                     {{"de-DE", "en-US"}, "de"},
                                                     {{"fr-FR", "it-IT"}, ""},
                                                     {{}, ""}};
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
