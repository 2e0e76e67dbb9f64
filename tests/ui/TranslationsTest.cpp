#include <gmock/gmock.h>

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <ostream>
#include <stdexcept>

#include "UiFixture.h"
#include "ui/AppRow.h"
#include "ui/ContentView.h"
#include "ui/DesktopCalls.h"
#include "ui/RowList.h"
#include "ui/TextWidgets.h"
#include "ui/Translations.h"

namespace morvale::testing {
namespace {

using Call = sim::SimulatedAudioSystem::Call;

constexpr const char* kPlayer = "org.example.Player";

class TranslationsTest : public UiFixture {
protected:
    // The panel over a model whose tap could not be made: the error line shows
    // a text from the core, the rows the Calls row and one application.
    std::unique_ptr<ui::ContentView> panelWithTapError() {
        sim.calls = ui::desktopCalls();
        addApp(40, kPlayer, "Player", true);
        sim.audio.injectFailure({Call::createProcessTap, -50});
        makeModel();
        model->setVolume(kPlayer, 0.5);
        auto view = std::make_unique<ui::ContentView>(*model);
        view->show();
        settle();
        return view;
    }

    static const ui::AppRow& row(const ui::ContentView& view, const std::string& name) {
        for (const ui::AppRow* row : child<ui::RowList>(view, "rows")->rows()) {
            if (row->entry().name == name) {
                return *row;
            }
        }
        throw std::runtime_error("no row " + name);
    }
};

struct LanguageCase {
    const char* locale;
    const char* quit;
    const char* loginBox;
    const char* duckTitle;
    const char* badge;
    const char* boost;
    const char* calls;
    const char* percent;
    const char* mute;
    const char* error;  // made in the core, by a tap session
};

// Names the case by its locale in test names and messages.
void PrintTo(const LanguageCase& c, std::ostream* out) {
    *out << c.locale;
}

class PanelLanguage : public TranslationsTest,
                      public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(PanelLanguage, ThePanelAndTheCoresErrorsSpeakTheUsersLanguage) {
    const LanguageCase& c = GetParam();
    const ui::Translations translations{QLocale(QString::fromLatin1(c.locale))};
    const auto view = panelWithTapError();
    const auto text = [&view](const char* name) {
        return child<QLabel>(*view, name)->text().toStdString();
    };

    EXPECT_EQ(child<QPushButton>(*view, "quitButton")->text().toStdString(), c.quit);
    EXPECT_EQ(child<QCheckBox>(*view, "launchAtLogin")->text().toStdString(), c.loginBox);
    EXPECT_EQ(text("duckTitle"), c.duckTitle);
    EXPECT_EQ(text("callBadge"), c.badge);
    EXPECT_EQ(child<ui::DigitsLabel>(*view, "boostText")->text().toStdString(), c.boost);
    EXPECT_EQ(model->callRowName(), c.calls);
    EXPECT_THAT(text("helpText"), ::testing::HasSubstr(c.calls));

    const ui::AppRow& player = row(*view, "Player");
    EXPECT_EQ(child<ui::DigitsLabel>(player, "percent")->text().toStdString(), c.percent);
    EXPECT_EQ(child<QToolButton>(player, "muteButton")->accessibleName().toStdString(), c.mute);
    EXPECT_EQ(text("errorLine"), c.error);
}

constexpr LanguageCase german{"de_DE",
                              "Beenden",
                              "Beim Anmelden öffnen",
                              "Absenkung bei Anrufen ausgleichen",
                              "Anruf aktiv",
                              "Aus",
                              "Anrufe",
                              "50\u00a0%",
                              "Player stummschalten",
                              "Das Anlegen des Audio-Abgriffs ist fehlgeschlagen (Fehler -50)"};
constexpr LanguageCase english{
    "en_US", "Quit",  "Open at login", "Undo call ducking", "call active",
    "Off",   "Calls", "50%",           "Mute Player",       "Couldn't create tap (error -50)"};

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
    struct Case {
        QStringList wanted;
        const char* chosen;
    };
    const Case cases[] = {
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
