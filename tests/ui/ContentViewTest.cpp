// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include "UiFixture.h"

namespace morvale::testing {
namespace {

using ContentViewTest = UiFixture;

bool shown(const QWidget& view, const char* name) {
    return child(view, name)->isVisibleTo(&view);
}

template <typename Label = QLabel>
QString text(const QWidget& view, const char* name) {
    return child<Label>(view, name)->text();
}

// Nine applications besides the Calls row are more than the panel shows at
// once: the list scrolls, and the focus arriving on the last row (as by
// Shift+Tab from the boost) scrolls it into view. The help text wraps within
// the panel instead of being cut.
TEST_F(ContentViewTest, ALongListScrollsToTheFocusedRowAndTheHelpTextWraps) {
    for (int i = 0; i < 9; ++i) {
        addApp(3001 + i, "org.example.app" + std::to_string(i), "App", false);
    }
    const auto view = makeView();
    const auto* scroll = child<QScrollArea>(*view, "rowsScroll");
    ASSERT_TRUE(child<ui::RowList>(*view, "rows")->isScrolling());
    EXPECT_TRUE(scroll->verticalScrollBar()->isVisibleTo(view.get()));
    QWidget* last = rows(*view).back()->volumeSlider();
    last->setFocus();
    const QRect shownRect(last->mapTo(scroll->viewport(), QPoint()), last->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(shownRect));
    const auto* help = child<QLabel>(*view, "helpText");
    EXPECT_LT(help->geometry().right(), view->width());
    EXPECT_GE(help->height(), help->heightForWidth(help->width()));
    EXPECT_GT(help->height(), help->fontMetrics().height());
}

TEST_F(ContentViewTest, BoostTextAndCallBadgeFollowTheModel) {
    const auto call = addCallStream(200, false);
    const auto view = makeView();
    EXPECT_EQ(text<ui::DigitsLabel>(*view, "boostText"), "Off");
    EXPECT_FALSE(shown(*view, "callBadge"));

    model->setDuckBoost(6);
    sim.audio.setProcessPlaying(call, true);
    refresh();
    model->setDuckBoost(1e308);  // not from the slider: shown as far as it acts
    settle();
    EXPECT_EQ(text<ui::DigitsLabel>(*view, "boostText"), "+30 dB");
    EXPECT_TRUE(shown(*view, "callBadge"));

    sim.audio.setProcessPlaying(call, false);
    refresh();
    EXPECT_FALSE(shown(*view, "callBadge"));

    // Where the system says it lowers nothing during calls, a line under the
    // boost says why the boost does nothing; not while the boost is off.
    EXPECT_FALSE(shown(*view, "boostNote"));
    sim.audio.setCallDuckingDB(0.0f);
    refresh();
    EXPECT_TRUE(shown(*view, "boostNote"));
    model->setDuckBoost(0);
    settle();
    EXPECT_FALSE(shown(*view, "boostNote"));
}

TEST_F(ContentViewTest, BoostSliderPassesWholeDecibels) {
    const auto view = makeView();
    auto* boost = child<ui::ContinuousSlider>(*view, "boostSlider");
    for (const auto& [position, passed] : {std::pair{12.5, 13.0}, {0.49, 0.0}, {7.3, 7.0}}) {
        boost->setValue(boost->stepOfValue(position));  // as a drag would
        EXPECT_EQ(model->duckBoostDB(), passed) << position;
    }
    // Let go, the thumb shows the model's whole decibels.
    settle();
    EXPECT_EQ(boost->continuousValue(), 7.0);
}

TEST_F(ContentViewTest, LoginCheckboxAsksTheModelAndShowsItsAnswer) {
    const auto view = makeView();
    const auto click = [box = child<QCheckBox>(*view, "launchAtLogin")] {
        box->click();
        settle();
        return box->isChecked();
    };
    // Registration that needs the user's approval leaves it off, whatever the
    // click asked for.
    sim.loginItem.afterRegister = LoginItemStatus::requiresApproval;
    EXPECT_FALSE(click());
    sim.loginItem.current = LoginItemStatus::notRegistered;

    // A failure stays off and shows the platform's message as it is, never as
    // markup.
    const QString failure = "Can't write <autostart> entry: Permission denied";
    sim.loginItem.failRegisterWith = failure.toStdString();
    EXPECT_FALSE(click());
    EXPECT_EQ(sim.loginItem.registerCalls, 2);
    EXPECT_EQ(text(*view, "errorLine"), failure);
    EXPECT_EQ(child<QLabel>(*view, "errorLine")->textFormat(), Qt::PlainText);
}

// The model announces before it changes: nothing is drawn inside the
// announcement, all of it on the next turn of the event loop.
TEST_F(ContentViewTest, ABurstOfChangesIsDrawnOnceAfterwards) {
    const auto tunebox = addApp(101, "org.example.Tunebox", "Tunebox", false);
    const auto view = makeView();
    const ui::AppRow& r = row(*view, "org.example.Tunebox");
    model->setVolume("org.example.Tunebox", 0.2);
    model->setVolume("org.example.Tunebox", 0.3);
    model->setDuckBoost(4);
    sim.audio.setProcessPlaying(tunebox, true);
    sim.advance(Model::refreshInterval);
    EXPECT_EQ(percent(r), "100%");
    settle();
    EXPECT_EQ(percent(r), "30%");
    EXPECT_TRUE(child(r, "playingDot")->isVisibleTo(&r));
    EXPECT_EQ(text<ui::DigitsLabel>(*view, "boostText"), "+4 dB");
}

}  // namespace
}  // namespace morvale::testing
