// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's application rows: what one shows and sends, its output button
// and hiding, and how the list of them keeps its widgets, a drag and its order
// over refreshes.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "UiFixture.h"
#include "audio/CA.h"
#include "ui/OutputButton.h"

namespace morvale::testing {
namespace {

using ui::AppRow;
using Rows = std::vector<AppRow*>;
using AppRowTest = UiFixture;
using RowListTest = UiFixture;

// The row shows the volume unrounded on its slider; its mute button mutes
// with the slider staying where unmuting returns to. A volume of 0 set by
// hand is no mute: the slider shows it; so is a new volume set on a muted
// row, which also forgets the old.
TEST_F(AppRowTest, ARowShowsTheVolumeAndTheMuteAsTheSliderAndMuteButtonSetThem) {
    addApp(101, tunebox, "Tunebox", true);
    const auto view = makeView();
    AppRow& r = row(*view, tunebox);
    const auto shows = [&] {
        return QString("%1 %2 %3 %4 %5")
            .arg(percent(r), QString::number(slider(r).continuousValue()),
                 slider(r).isMuted() ? "muted" : "-", slider(r).spokenText(), r.symbolName());
    };
    // clang-format off
    const struct { const char* action; double set, volume; const char* shows; } steps[] = {
        {"set",    0.004, 0.004, "0% 0.004 - 0% speaker.wave.1.fill"},  // rounds to 0%, audible
        {"set",    -3.0,  0.0,   "0% 0 - 0% speaker.slash.fill"},  // below 0: silent
        {"drag",   0.333, 0.333, "33% 0.333 - 33% speaker.wave.1.fill"},  // not rounded
        {"set",    0.6,   0.6,   "60% 0.6 - 60% speaker.wave.2.fill"},
        {"mute",   0,     0.0,   "muted 0.6 muted muted, 60% speaker.slash.fill"},
        {"unmute", 0,     0.6,   "60% 0.6 - 60% speaker.wave.2.fill"},
        {"set",    0.0,   0.0,   "0% 0 - 0% speaker.slash.fill"},
        {"set",    0.3,   0.3,   "30% 0.3 - 30% speaker.wave.1.fill"},
        {"mute",   0,     0.0,   "muted 0.3 muted muted, 30% speaker.slash.fill"},
        {"set",    0.0,   0.0,   "0% 0 - 0% speaker.slash.fill"},
        {"unmute", 0,     1.0,   "100% 1 - 100% speaker.wave.2.fill"}};
    // clang-format on
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.action) + " " + step.shows);
        if (std::string_view(step.action) == "set") {
            model->setVolume(tunebox, step.set);
        } else if (std::string_view(step.action) == "drag") {
            slider(r).setValue(slider(r).stepOfValue(step.set));
        } else {
            QTest::mouseClick(r.muteButton(), Qt::LeftButton);
        }
        settle();
        EXPECT_EQ(model->volume(tunebox), step.volume);
        EXPECT_EQ(shows(), step.shows);
    }
}

TEST_F(AppRowTest, ALongNameIsCutToOneLineAndThePercentageStays) {
    addApp(101, tunebox, std::string(200, 'W'), false);
    const auto view = makeView();
    const AppRow& r = row(*view, tunebox);
    const auto* name = child<ui::ElidedLabel>(r, "name");
    EXPECT_TRUE(name->shownText().endsWith(QChar(0x2026)));
    EXPECT_EQ(name->height(), name->fontMetrics().height());
    const auto* shown = child<ui::DigitsLabel>(r, "percent");
    EXPECT_LE(shown->geometry().right(), r.width() - 1);
    EXPECT_GE(shown->width(), shown->textWidth("100%"));
}

// The model announces every refresh, also one that changes nothing: the panel
// listens once however many rows it has. A refresh that changes nothing
// draws no row again and leaves the layout alone (rows taken out and put back
// would flicker and lose the scroll position of a long list); a row whose
// volume changed draws again, and a change of order lays the rows out.
TEST_F(RowListTest, ARefreshRedrawsAndLaysOutOnlyWhatChanged) {
    std::vector<AudioObjectID> objects;
    for (int i = 0; i < 14; ++i) {
        const std::string n = std::to_string(10 + i);
        objects.push_back(addApp(200 + i, "org.example.App" + n, "App " + n, false));
    }
    makeModel();
    const std::size_t listeners = model->objectWillChange().subscriberCount();
    const auto view = makeView();
    EXPECT_EQ(model->objectWillChange().subscriberCount(), listeners + 1);
    view->resize(view->sizeHint());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    ASSERT_TRUE(child<ui::RowList>(*view, "rows")->isScrolling());
    const Rows before = rows(*view);
    std::vector<std::unique_ptr<EventCounter>> paints;
    for (AppRow* r : before) {
        paints.push_back(std::make_unique<EventCounter>(*r, QEvent::Paint));
    }
    const auto painted = [&] {
        QTest::qWait(50);  // painting waits for the window's next frame
        std::vector<bool> result;
        for (auto& counter : paints) {
            result.push_back(std::exchange(counter->count, 0) > 0);
        }
        return result;
    };
    painted();  // the frames of the showing
    std::vector<bool> changed(before.size(), false);
    refresh();
    EXPECT_EQ(painted(), changed);

    // A change from elsewhere moves the slider without being sent back.
    const auto writes = sim.settings.standardStore.writes;
    model->setVolume(before[1]->entry().id, 0.75);
    settle();
    EXPECT_EQ(slider(*before[1]).value(), 7500);
    EXPECT_EQ(sim.settings.standardStore.writes, writes + 1);  // only the model's own
    // However slow the machine, the changed row paints; the others had as long.
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints[1]->count > 0; }, 5000));
    changed[1] = true;
    EXPECT_EQ(painted(), changed);

    QScrollBar* bar = child<QScrollArea>(*view, "rowsScroll")->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();
    ASSERT_GT(scrolled, 0);
    QWidget& host = *child(*view, "rowsHost");
    EventCounter layouts(host, QEvent::LayoutRequest);
    EventCounter moves(host, QEvent::Move);
    refresh();
    refresh();
    EXPECT_EQ(std::tuple(rows(*view), layouts.count, moves.count, bar->value()),
              std::tuple(before, 0, 0, scrolled));

    sim.audio.setProcessPlaying(objects.back(), true);  // its row moves to the top
    refresh();
    EXPECT_EQ(rows(*view)[1], before.back());
    EXPECT_GT(layouts.count + moves.count, 0);
}

TEST_F(RowListTest, ADragSurvivesRefreshesAndTheListHoldsStill) {
    addApp(101, tunebox, "Tunebox", true);
    const auto chatterObject = addApp(102, chatter, "Chatter", false);
    const auto view = makeView();
    view->resize(view->sizeHint());
    const Rows before = rows(*view);
    AppRow* r = &row(*view, tunebox);
    auto& s = slider(*r);

    // The user takes the thumb and drags it left.
    QStyleOptionSlider option;
    option.initFrom(&s);
    option.maximum = s.maximum();
    option.sliderPosition = option.sliderValue = s.value();
    const QPoint thumb =
        s.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &s).center();
    QTest::mousePress(&s, Qt::LeftButton, {}, thumb);
    ASSERT_TRUE(s.isSliderDown());
    QTest::mouseMove(&s, thumb - QPoint(60, 0));
    const int dragged = s.value();
    ASSERT_LT(dragged, 10000);

    // Refreshes come, one with a change that would reorder the list and one
    // with a new application; another change of the volume arrives.
    sim.audio.setProcessPlaying(chatterObject, true);
    addApp(103, "org.example.Banjo", "Banjo", true);
    model->setVolume(tunebox, 0.9);
    refresh();
    refresh();
    // The thumb stays held, nothing moves under the pointer, and the row
    // still shows the model.
    EXPECT_EQ(std::tuple(s.isSliderDown(), s.value(), rows(*view), percent(*r)),
              std::tuple(true, dragged, before, QString("90%")));

    // Dragging on continues from where the thumb is.
    QTest::mouseMove(&s, thumb - QPoint(80, 0));
    EXPECT_LT(s.value(), dragged);
    EXPECT_EQ(model->volume(tunebox), s.continuousValue());

    // Let go: the list catches up, the row stays the same widget.
    QTest::mouseRelease(&s, Qt::LeftButton, {}, thumb - QPoint(80, 0));
    settle();
    EXPECT_EQ(std::tuple(s.isSliderDown(), rows(*view).size(), &row(*view, tunebox), s.value()),
              std::tuple(false, 4u, r, s.stepOfValue(model->volume(tunebox))));
}

TEST_F(RowListTest, RowsHoldStillUnderThePointerAndTakeTheModelsOrderWhenItLeaves) {
    addApp(101, "org.example.Alpha", "Alpha", false);
    const auto beta = addApp(102, "org.example.Beta", "Beta", false);
    const auto gamma = addApp(103, "org.example.Gamma", "Gamma", false);
    const auto view = makeView();
    const auto shown = [&] {
        QStringList names;
        for (const AppRow* r : rows(*view)) {
            names << QString::fromStdString(r->entry().name) + (r->isEnabled() ? "" : " (dimmed)");
        }
        return names.join(", ");
    };
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);

    // Under the pointer, Beta starts playing (it would move up), Gamma ends
    // (its row would go) and Delta starts (its row would come in between).
    QCoreApplication::sendEvent(view.get(), &enter);
    sim.audio.setProcessPlaying(beta, true);
    sim.audio.removeProcess(gamma);
    addApp(104, "org.example.Delta", "Delta", true);
    refresh();
    EXPECT_EQ(shown(), "Calls, Alpha, Beta, Gamma (dimmed), Delta");
    EXPECT_EQ(rows(*view)[3]->iconOpacity(), 0.45);
    QCoreApplication::sendEvent(view.get(), &leave);
    settle();
    EXPECT_EQ(shown(), "Calls, Beta, Delta, Alpha");

    // The panel opening under the pointer shows the model's order too.
    QCoreApplication::sendEvent(view.get(), &enter);
    sim.audio.setProcessPlaying(beta, false);
    refresh();
    EXPECT_EQ(shown(), "Calls, Beta, Delta, Alpha");
    view->prepareToOpen();
    EXPECT_EQ(shown(), "Calls, Delta, Alpha, Beta");
}

// A row's output button and hiding rows, as a keyboard and screen-reader user
// meets them.
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

// An output chosen and cleared by keyboard; what the button says as the
// choice, the devices and other mixers change.
TEST_F(OutputsTest, AnOutputIsChosenByKeyboardAndTheButtonSaysWhereTheApplicationPlays) {
    const auto view = makeView();
    auto* button = row(*view, tunebox).outputButton();
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    pickWithKeys(*button, "Headphones");
    EXPECT_EQ(model->chosenOutput(tunebox), "headphones");
    EXPECT_EQ(spokenName(button), "Output for Tunebox: Headphones");
    pickWithKeys(*button, "System default");
    EXPECT_EQ(model->chosenOutput(tunebox), std::nullopt);
    EXPECT_EQ(sim.audio.processOutput(process), "speakers");

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
        EXPECT_EQ(spokenName(button), "Output for Tunebox: " + step.says) << step.what;
    }
    // Without outputs to choose from there is no button.
    sim.audio.removeDevice(headphones);
    sim.audio.removeDevice(speakers);
    refresh();
    EXPECT_FALSE(button->isVisible());
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
    EXPECT_EQ(spokenName(toggle), "Hidden (1)");
    EXPECT_TRUE(view->hiddenRows()->rows().empty()) << "closed";
    EXPECT_THROW(row(*view, tunebox), std::runtime_error);

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
