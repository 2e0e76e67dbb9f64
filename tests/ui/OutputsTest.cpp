// SPDX-License-Identifier: GPL-3.0-or-later
// A row's output button and hiding rows, as a keyboard and screen-reader user
// meets them.
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "UiFixture.h"
#include "audio/CA.h"
#include "ui/OutputButton.h"

namespace morvale::testing {
namespace {

const std::string tunebox = "org.example.Tunebox";

class OutputsTest : public UiFixture {
protected:
    AudioObjectID speakers = 0, headphones = 0, process = 0;

    OutputsTest() {
        speakers = CA::ids(sim.audio, kAudioObjectSystemObject, kOutputDeviceList).front();
        sim.audio.setDeviceName(speakers, "Speakers");
        headphones = sim.audio.addOutputDevice("headphones");
        sim.audio.setDeviceName(headphones, "Headphones");
        process = addApp(101, tunebox, "Tunebox", true);
    }

    static QString spoken(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }

    // Opens the modal menu of a button with Space and, inside it, moves down
    // with the arrow key to the entry of that text and takes it with Return.
    static void pickWithKeys(QToolButton& button, const QString& text) {
        QString landed;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (int i = 0;
                 i < 10 && (!menu->activeAction() || menu->activeAction()->text() != text); ++i) {
                QTest::keyClick(menu, Qt::Key_Down);
            }
            landed = menu->activeAction() ? menu->activeAction()->text() : QString();
            QTest::keyClick(menu, landed == text ? Qt::Key_Return : Qt::Key_Escape);
        });
        button.setFocus();
        QTest::keyClick(&button, Qt::Key_Space);
        EXPECT_EQ(landed, text);
    }
};

// What the button says as the choice, the devices and other mixers change.
TEST_F(OutputsTest, TheButtonSaysWhereTheApplicationPlays) {
    const auto view = makeView();
    auto* button = row(*view, tunebox).outputButton();
    EXPECT_TRUE(button->isVisible());
    const struct {
        const char* what;
        std::function<void()> change;
        QString says;
    } steps[] = {
        {"nothing chosen", [] {}, "System default"},
        {"chosen", [&] { model->setOutput(tunebox, "headphones"); }, "Headphones"},
        {"its device away", [&] { sim.audio.removeDevice(headphones); }, "headphones (absent)"},
        {"back",
         [&] {
             headphones = sim.audio.addOutputDevice("headphones");
             sim.audio.setDeviceName(headphones, "Headphones");
         },
         "Headphones"},
        {"moved by another mixer", [&] { sim.audio.moveProcessOutput(process, "speakers"); },
         "Speakers"},
        {"the default chosen", [&] { model->setOutput(tunebox, std::nullopt); }, "System default"},
        {"moved off the default", [&] { sim.audio.moveProcessOutput(process, "headphones"); },
         "Headphones"},
    };
    for (const auto& step : steps) {
        step.change();
        refresh();
        EXPECT_EQ(spoken(button), "Output for Tunebox: " + step.says) << step.what;
    }
}

TEST_F(OutputsTest, AnOutputIsChosenAndClearedByKeyboard) {
    const auto view = makeView();
    auto& button = *row(*view, tunebox).outputButton();
    EXPECT_EQ(button.focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    pickWithKeys(button, "Headphones");
    EXPECT_EQ(model->chosenOutput(tunebox), "headphones");
    EXPECT_EQ(spoken(&button), "Output for Tunebox: Headphones");
    pickWithKeys(button, "System default");
    EXPECT_EQ(model->chosenOutput(tunebox), std::nullopt);
    EXPECT_EQ(sim.audio.processOutput(process), "speakers");
}

TEST_F(OutputsTest, WithoutOutputsToChooseFromThereIsNoButton) {
    sim.audio.removeDevice(headphones);
    sim.audio.removeDevice(speakers);
    const auto view = makeView();
    EXPECT_FALSE(row(*view, tunebox).outputButton()->isVisible());
}

// Hidden by the row's menu from the keyboard (the Menu key, Shift+F10), the
// row goes under "Hidden", closed; opened there, its menu shows it again.
TEST_F(OutputsTest, ARowIsHiddenAndShownAgainByKeyboard) {
    const auto view = makeView();
    const auto takeMenu = [](ui::AppRow& r, const QString& text) {
        QMenu* menu = r.rowMenu();
        ASSERT_TRUE(menu->isVisible());
        ASSERT_NE(menu->activeAction(), nullptr);
        EXPECT_EQ(menu->activeAction()->text(), text);
        QTest::keyClick(menu, Qt::Key_Return);
        settle();
    };
    ui::AppRow& shown = row(*view, tunebox);
    // What the desktop's platform plugin sends for the Menu key: a context
    // menu event from the keyboard, to the focused control.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                              shown.volumeSlider()->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(shown.volumeSlider(), &menuKey);
    takeMenu(shown, "Hide Tunebox");
    EXPECT_TRUE(model->isHidden(tunebox));
    auto* toggle = view->hiddenToggle();
    EXPECT_TRUE(toggle->isVisible());
    EXPECT_EQ(spoken(toggle), "Hidden (1)");
    EXPECT_TRUE(view->hiddenRows()->rows().empty()) << "closed";
    for (const ui::AppRow* r : rows(*view)) {
        EXPECT_NE(r->entry().id, tunebox);
    }

    toggle->setFocus();
    QTest::keyClick(toggle, Qt::Key_Space);
    settle();
    ASSERT_EQ(view->hiddenRows()->rows().size(), 1u);
    ui::AppRow& hidden = *view->hiddenRows()->rows().front();
    EXPECT_EQ(hidden.entry().id, tunebox);
    QTest::keyClick(hidden.muteButton(), Qt::Key_F10, Qt::ShiftModifier);
    takeMenu(hidden, "Show Tunebox");
    EXPECT_FALSE(model->isHidden(tunebox));
    EXPECT_NO_THROW(row(*view, tunebox));
    EXPECT_FALSE(toggle->isVisible());
}

}  // namespace
}  // namespace morvale::testing
