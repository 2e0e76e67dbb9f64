#include <gmock/gmock.h>

#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <ostream>

#include "UiFixture.h"
#include "ui/DesktopCalls.h"
#include "ui/Translations.h"

namespace morvale::testing {
namespace {

using Call = sim::SimulatedAudioSystem::Call;
using TranslationsTest = UiFixture;

constexpr const char* kPlayer = "org.example.Player";

struct LanguageCase {
    const char* locale;
    const char* quit;
    const char* calls;
    const char* percent;
    const char* mute;
    const char* error;  // made in the core, by a tap session
};

// Names the case by its locale in test names and messages.
void PrintTo(const LanguageCase& c, std::ostream* out) {
    *out << c.locale;
}

class PanelLanguage : public UiFixture, public ::testing::WithParamInterface<LanguageCase> {};

// The panel over a model whose tap could not be made: the error line shows a
// text from the core, the rows the Calls row and one application.
TEST_P(PanelLanguage, ThePanelAndTheCoresErrorsSpeakTheUsersLanguage) {
    const LanguageCase& c = GetParam();
    const ui::Translations translations{QLocale(QString::fromLatin1(c.locale))};
    sim.calls = ui::desktopCalls();
    addApp(40, kPlayer, "Player", true);
    sim.audio.injectFailure({Call::createProcessTap, -50});
    makeModel();
    model->setVolume(kPlayer, 0.5);
    const auto view = makeView();
    const auto text = [&view](const char* name) {
        return child<QLabel>(*view, name)->text().toStdString();
    };

    EXPECT_EQ(child<QPushButton>(*view, "quitButton")->text().toStdString(), c.quit);
    EXPECT_EQ(model->callRowName(), c.calls);
    EXPECT_THAT(text("helpText"), ::testing::HasSubstr(c.calls));
    EXPECT_EQ(percent(row(*view, kPlayer)).toStdString(), c.percent);
    EXPECT_EQ(row(*view, kPlayer).muteButton()->accessibleName().toStdString(), c.mute);
    EXPECT_EQ(text("errorLine"), c.error);
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

INSTANTIATE_TEST_SUITE_P(
    Locales, PanelLanguage,
    ::testing::Values(german, english,
                      // A country without a translation of its own takes the language's.
                      in("de_AT", german),
                      // No translation for the language: the texts as written.
                      in("fr_FR", english)),
    [](const auto& test) { return std::string(test.param.locale); });

TEST_F(TranslationsTest, TheCoreSpeaksEnglishAgainOnceTheTranslationsEnd) {
    {
        const ui::Translations translations{QLocale(QLocale::German, QLocale::Germany)};
        EXPECT_EQ(ui::desktopCalls().name, "Anrufe");
    }
    EXPECT_EQ(ui::desktopCalls().name, "Calls");
    sim.audio.injectFailure({Call::createProcessTap, -50});
    addApp(40, kPlayer, "Player", true);
    makeModel();
    model->setVolume(kPlayer, 0.5);
    EXPECT_EQ(model->errorText(), "Couldn't create tap (error -50)");
}

TEST(ChooseLanguage, TakesTheFirstWantedLanguageThatMorvaleSpeaks) {
    const struct {
        QStringList wanted;
        const char* chosen;
    } cases[] = {
        {{"de-DE"}, "de"},
        {{"de-Latn-CH"}, "de"},
        {{"de"}, "de"},
        {{"fr-FR", "de-DE"}, "de"},
        // English is what the texts are written in: wanted first, it wins.
        {{"en-GB", "de-DE"}, "en"},
        {{"de-DE", "en-US"}, "de"},
        {{"fr-FR", "it-IT"}, ""},
        {{}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ui::Translations::chooseLanguage(c.wanted), QString::fromLatin1(c.chosen))
            << c.wanted.join(QLatin1Char(',')).toStdString();
    }
}

}  // namespace
}  // namespace morvale::testing
