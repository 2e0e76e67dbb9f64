// SPDX-License-Identifier: GPL-3.0-or-later
// The panel window: opening and closing from the tray, and the panel as a
// screen-reader and keyboard user meets it: what the accessibility tree says,
// and what the keys do.
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <map>

#include "UiFixture.h"
#include "catalog/Grouping.h"
#include "ui/Keyboard.h"
#include "ui/PanelStyle.h"
#include "ui/PanelWindow.h"

namespace morvale::testing {
namespace {

// The everyday panel, with its Calls row, open.
class PanelAccessTest : public UiFixture {
protected:
    std::unique_ptr<ui::PanelWindow> window;
    AudioObjectID chatterObject = 0;

    void SetUp() override {
        chatterObject = makeEverydayModel();
        open();
    }

    void open(const QPalette& palette = QApplication::palette()) {
        window = std::make_unique<ui::PanelWindow>(new ui::ContentView(*model));
        window->setPalette(palette);
        window->open(QRect(1000, 0, 24, 24));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        settle();
    }
};

TEST_F(PanelAccessTest, EveryControlIsNamedForItsApplicationAndTellsItsStateAndValue) {
    // As on X11, where the panel is a popup, which Qt leaves out of the tree.
    window->hide();
    window->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    window->open(QRect(1000, 0, 24, 24));
    settle();
    QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp);
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_EQ(app->child(app->indexOfChild(panel)), panel);

    // The shown controls (each once, none without a name) with what a screen
    // reader says of them, and the shown painted texts, which are there to be
    // read. "Muted" is not "volume 0": the button says which.
    const auto describe = [](QAccessibleInterface* node) {
        QString said = node->text(QAccessible::Name);
        if (const QAccessibleValueInterface* value = node->valueInterface()) {
            said += QString(": %1, %2 of %3 by %4")
                        .arg(node->text(QAccessible::Value), value->currentValue().toString(),
                             value->maximumValue().toString(), value->minimumStepSize().toString());
        }
        if (node->state().checkable) {
            said += node->state().checked ? " (on)" : " (off)";
        }
        return said + (node->role() == QAccessible::Notification ? " (notification)" : "");
    };
    std::map<QString, QAccessibleInterface*> controls;
    QStringList said, texts, pictures;
    const auto collect = [&](auto& self, QAccessibleInterface* node) -> void {
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface* inner = node->child(i);
            if (!inner->state().invisible && inner->state().focusable) {
                controls.emplace(inner->text(QAccessible::Name), inner);
                said << describe(inner);
            } else if (!inner->state().invisible && inner->role() == QAccessible::StaticText) {
                texts << inner->text(QAccessible::Name);
            } else if (!inner->state().invisible && inner->role() == QAccessible::Graphic) {
                pictures << inner->text(QAccessible::Name);
            }
            self(self, inner);
        }
    };
    collect(collect, panel);
    said.sort();
    EXPECT_EQ(
        said,
        (QStringList{
            "Calls volume: 100%, 100 of 100 by 1", QString(loginError) + " (notification)",
            "Chatter volume: muted, 100%, 100 of 100 by 1", "Mute Calls (off)", "Mute Chatter (on)",
            "Mute Tunebox (off)", "Open at login (off)", "Output for Calls: System default",
            "Output for Chatter: System default", "Output for Tunebox: System default", "Quit",
            "Tunebox volume: 50%, 50 of 100 by 1", "Undo call ducking: +6 dB, 6 of 30 by 1"}));
    for (const char* text : {"Tunebox", "playing", "50%", "muted", "+6 dB", "Undo call ducking"}) {
        EXPECT_EQ(texts.count(text), 1) << text;
    }
    // Each application's picture is named for it.
    pictures.sort();
    EXPECT_EQ(pictures, (QStringList{"Calls", "Chatter", "Tunebox"}));
    const auto labels = controls["Tunebox volume"]->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front().first->text(QAccessible::Name), "Tunebox");

    // A screen reader sets a value as the user would.
    controls["Tunebox volume"]->valueInterface()->setCurrentValue(30.0);
    EXPECT_DOUBLE_EQ(model->volume(tunebox), 0.3);

    // A new error appears anew, for screen readers to present; the same one
    // again does not.
    EventCounter shows(*child(*window, "errorLine"), QEvent::Show);
    sim.loginItem.failRegisterWith = "Permission denied";
    for (int i = 0; i < 2; ++i) {
        model->toggleLaunchAtLogin();
        settle();
    }
    EXPECT_EQ(child<QLabel>(*window, "errorLine")->text(), "Permission denied");
    EXPECT_EQ(shows.count, 1);
}

TEST_F(PanelAccessTest, OpensWithTheRingOnTheFirstSliderWhereKeysActAndTabsThroughEveryControl) {
    // A dark theme whose highlight barely differs from its windows: the ring
    // must take another colour to be seen.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2e, 0x32));
    dark.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Highlight, QColor(0x1e, 0x40, 0x60));
    const QString order =
        QString(
            "Calls volume | Mute Calls | Output for Calls: System default | "
            "Tunebox volume | Mute Tunebox | Output for Tunebox: System default | "
            "Chatter volume | Mute Chatter | Output for Chatter: System default | "
            "Undo call ducking | %1 | Open at login | Quit | Calls volume")
            .arg(loginError);

    const std::string calls(Grouping::callRowKey);
    for (const QPalette& palette : {QApplication::style()->standardPalette(), dark}) {
        model->setVolume(calls, 0.5);
        open(palette);
        auto* first = rows(*window).front()->volumeSlider();
        ASSERT_EQ(QApplication::focusWidget(), first);
        auto* ring = window->findChild<ui::FocusRing*>();
        EXPECT_TRUE(ring->isShown());  // a key pressed at once is seen to act here
        // The wheel still scrolls past the slider the panel chose; a key acts on it.
        QWheelEvent wheel(QPointF(5, 5), first->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(first, &wheel);
        EXPECT_EQ(model->volume(calls), 0.5);
        QTest::keyClick(first, Qt::Key_Left);
        EXPECT_EQ(std::tuple(model->volume(calls), ring->widget(), ring->isShown()),
                  std::tuple(0.49, first, true));

        QStringList visited = {spokenName(first)};
        while (visited.size() <= order.count('|')) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            visited << spokenName(focused);
            ASSERT_TRUE(ring->isShown()) << visited.back();
            // The ring goes round the control, and stands out from the panel.
            const QRect around(ring->mapTo(window.get(), QPoint()), ring->size());
            const QRect inside(focused->mapTo(window.get(), QPoint()), focused->size());
            EXPECT_TRUE(around.contains(inside) && around != inside);
            const QColor drawn =
                window->grab().toImage().pixelColor(around.center().x(), around.top() + 1);
            EXPECT_GE(ui::contrastRatio(drawn, palette.color(QPalette::Window)), 3.0)
                << visited.back() << " " << drawn.name();
        }
        EXPECT_EQ(visited.join(" | "), order);
    }
    // A mouse user's click takes the ring away, also on a fresh opening.
    open();
    QTest::mouseClick(rows(*window).front()->volumeSlider(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_FALSE(window->findChild<ui::FocusRing*>()->isShown());
}

TEST_F(PanelAccessTest, ApplicationsOfTheSameNameHaveControlsOfDifferentNames) {
    const AudioObjectID beta = addApp(103, "org.example.TuneboxBeta", "Tunebox", true);
    refresh();
    QStringList names;
    for (ui::AppRow* r : rows(*window)) {
        names << spokenName(r->volumeSlider()) << spokenName(r->muteButton());
    }
    names.sort();
    EXPECT_EQ(names.removeDuplicates(), 0) << names.join(", ");
    EXPECT_TRUE(names.contains("Tunebox (org.example.TuneboxBeta) volume")) << names.join(", ");
    // Once one is gone, the other is plain "Tunebox" again.
    sim.audio.removeProcess(beta);
    refresh();
    EXPECT_EQ(spokenName(row(*window, tunebox).volumeSlider()), "Tunebox volume");
}

TEST_F(PanelAccessTest, KeysStepSlidersPressButtonsAndClose) {
    QSignalSpy quit(window->content(), &ui::ContentView::quitRequested);
    QWidget* volume = row(*window, tunebox).volumeSlider();
    QWidget* boost = child(*window, "boostSlider");
    QWidget* mute = row(*window, chatter).muteButton();
    auto* login = child<QCheckBox>(*window, "launchAtLogin");
    // Tunebox's volume, the boost, Chatter's volume, "Open at login", quits.
    const auto state = [&] {
        return QString::asprintf("%g %g %g %d %d", model->volume(tunebox), model->duckBoostDB(),
                                 model->volume(chatter), int(login->isChecked()),
                                 int(quit.count()));
    };
    // A volume moves by 1% and 10%, the boost by whole decibels, 1 and 5;
    // Space and Enter press buttons alike.
    QWidget* quitButton = child(*window, "quitButton");
    // clang-format off
    const struct { QWidget* target; Qt::Key key; const char* after; } keys[] = {
        {volume, Qt::Key_Right, "0.51 6 0 0 0"}, {volume, Qt::Key_PageUp, "0.61 6 0 0 0"},
        {volume, Qt::Key_Left, "0.6 6 0 0 0"},   {volume, Qt::Key_PageDown, "0.5 6 0 0 0"},
        {boost, Qt::Key_Right, "0.5 7 0 0 0"},   {boost, Qt::Key_PageUp, "0.5 12 0 0 0"},
        {boost, Qt::Key_Left, "0.5 11 0 0 0"},   {boost, Qt::Key_PageDown, "0.5 6 0 0 0"},
        {mute, Qt::Key_Space, "0.5 6 1 0 0"},    {mute, Qt::Key_Return, "0.5 6 0 0 0"},
        {login, Qt::Key_Space, "0.5 6 0 1 0"},   {login, Qt::Key_Enter, "0.5 6 0 0 0"},
        {quitButton, Qt::Key_Return, "0.5 6 0 0 1"}};
    // clang-format on
    for (const auto& k : keys) {
        k.target->setFocus();
        QTest::keyClick(k.target, k.key);
        settle();  // the boost's thumb goes back to what the model holds
        EXPECT_EQ(state(), k.after) << spokenName(k.target) << " " << k.key;
    }
    EXPECT_EQ(sim.loginItem.unregisterCalls, 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(PanelAccessTest, TheFocusStaysInTheListWhenTheFocusedRowGoes) {
    model->toggleMute(chatter);  // at full volume again: nothing keeps its row
    row(*window, chatter).volumeSlider()->setFocus();
    sim.audio.removeProcess(chatterObject);
    refresh();
    ASSERT_EQ(rows(*window).size(), 2u);
    EXPECT_EQ(QApplication::focusWidget(), row(*window, tunebox).volumeSlider());
}

using PanelWindowTest = UiFixture;

TEST_F(PanelWindowTest, TrayClicksOpenAndCloseThePanelWhichGrowsWithTheList) {
    makeModel();
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    ui::PanelWindow window(new ui::ContentView(*model), [&] { return now; });
    const QRect icon(1000, 0, 24, 24);

    window.toggle(icon);
    ASSERT_TRUE(window.isVisible());
    window.toggle(icon);  // the second click
    EXPECT_FALSE(window.isVisible());

    // A click elsewhere (here: on the tray icon) closes the panel first; the
    // tray's report of that same click must not open it again.
    window.open(icon);
    window.hide();
    window.toggle(icon);
    EXPECT_FALSE(window.isVisible());
    now += ui::PanelWindow::sameClickTime - std::chrono::milliseconds(1);
    window.toggle(icon);
    EXPECT_FALSE(window.isVisible());
    // A click as late as that is a click of its own.
    now += std::chrono::milliseconds(1);
    window.toggle(icon);
    EXPECT_TRUE(window.isVisible());

    const int before = window.height();
    addApp(101, "org.example.Tunebox", "Tunebox", true);
    refresh();
    EXPECT_GT(window.height(), before);
    EXPECT_EQ(window.size(), window.content()->sizeHint());
}

}  // namespace
}  // namespace morvale::testing
