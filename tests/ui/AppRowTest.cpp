// The panel's application rows: what one shows and sends, and how the list of
// them keeps its widgets, a drag and its order over refreshes.
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "UiFixture.h"
#include "ui/AppIcons.h"

namespace morvale::testing {
namespace {

using ui::AppRow;
using Rows = std::vector<AppRow*>;
const std::string tunebox = "org.example.Tunebox";
using AppRowTest = UiFixture;
using RowListTest = UiFixture;

TEST_F(AppRowTest, ARowShowsTheUnroundedVolumeAndSetsItAsTheSliderAndMuteButtonSay) {
    addApp(101, tunebox, "Tunebox", true);
    makeModel();
    const auto view = makeView();
    AppRow& r = row(*view, tunebox);
    const struct {
        double volume;
        const char* symbol;
    } cases[] = {{0.004, "speaker.wave.1.fill"},  // rounds to 0%, yet audible
                 {-3.0, "speaker.slash.fill"}};   // stored as set, shown as muted
    for (const auto& c : cases) {
        model->setVolume(tunebox, c.volume);
        settle();
        EXPECT_EQ(percent(r), "0%") << c.volume;
        EXPECT_EQ(r.symbolName(), c.symbol) << c.volume;
        EXPECT_EQ(slider(r).value(), slider(r).stepOfValue(c.volume)) << c.volume;
    }

    slider(r).setValue(3330);
    EXPECT_EQ(model->volume(tunebox), 0.333);  // as set, not rounded to a percentage
    slider(r).setValue(6000);
    settle();
    QTest::mouseClick(r.muteButton(), Qt::LeftButton);
    EXPECT_EQ(model->volume(tunebox), 0.0);
    settle();
    EXPECT_EQ(r.symbolName(), "speaker.slash.fill");
    EXPECT_EQ(slider(r).value(), 0);
    QTest::mouseClick(r.muteButton(), Qt::LeftButton);
    EXPECT_EQ(model->volume(tunebox), 0.6);
}

TEST(AppIcons, TheCallRowsSymbolIsShippedForThemesThatLackIt) {
    const QIcon icon = ui::appIcon(makeIcon(IconSource::Kind::themeName, "call-start"));
    EXPECT_FALSE(icon.pixmap(24, 24).isNull());
    EXPECT_NE(icon.cacheKey(), ui::genericAppIcon().cacheKey());
}

TEST_F(AppRowTest, ALongNameIsCutToOneLineAndThePercentageStays) {
    addApp(101, tunebox, std::string(200, 'W'), false);
    makeModel();
    const auto view = makeView();
    const AppRow& r = *rows(*view).at(1);
    const auto* name = child<ui::ElidedLabel>(r, "name");
    EXPECT_TRUE(name->shownText().endsWith(QChar(0x2026)));
    EXPECT_EQ(name->height(), name->fontMetrics().height());
    const auto* shown = child<ui::DigitsLabel>(r, "percent");
    EXPECT_LE(shown->geometry().right(), r.width() - 1);
    EXPECT_GE(shown->width(), shown->textWidth("100%"));
}

// The model announces every refresh, also one that changes nothing: the panel
// listens once however many rows it has, and only a row whose entry or volume
// changed draws again.
TEST_F(RowListTest, OnlyARowWhoseEntryOrVolumeChangedRedraws) {
    addApp(101, tunebox, "Tunebox", false);
    addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    const std::size_t listeners = model->objectWillChange().subscriberCount();
    const auto view = makeView();
    EXPECT_EQ(model->objectWillChange().subscriberCount(), listeners + 1);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const Rows shown = rows(*view);
    std::vector<std::unique_ptr<EventCounter>> counters;
    for (AppRow* r : shown) {
        counters.push_back(std::make_unique<EventCounter>(*r, QEvent::Paint));
    }
    const auto painted = [&] {
        QTest::qWait(50);  // painting waits for the window's next frame
        std::vector<bool> result;
        for (auto& counter : counters) {
            result.push_back(std::exchange(counter->count, 0) > 0);
        }
        return result;
    };

    refresh();
    EXPECT_EQ(painted(), (std::vector<bool>{false, false, false}));

    // A change from elsewhere moves the slider without being sent back.
    const auto writes = sim.settings.standardStore.writes;
    model->setVolume("org.example.Chatter", 0.75);
    settle();
    EXPECT_EQ(slider(*shown[1]).value(), 7500);
    EXPECT_EQ(sim.settings.standardStore.writes, writes + 1);  // only the model's own
    // However slow the machine, the changed row paints; the others had as long.
    EXPECT_TRUE(QTest::qWaitFor([&] { return counters[1]->count > 0; }, 5000));
    EXPECT_EQ(painted(), (std::vector<bool>{false, true, false}));
}

TEST_F(RowListTest, ARowStaysTheSameWidgetAndTellsPlayingAndRunning) {
    const auto tuneboxObject = addApp(101, tunebox, "Tunebox", false);
    addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    const auto view = makeView();
    const Rows before = rows(*view);
    ASSERT_EQ(before.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        refresh();
    }
    EXPECT_EQ(rows(*view), before);

    // New applications get new rows; the others keep theirs, also when their
    // order changes (Tunebox plays and moves up).
    addApp(103, "org.example.Banjo", "Banjo", false);
    sim.audio.setProcessPlaying(tuneboxObject, true);
    model->setVolume("org.example.Gone", 0.5);  // remembered, not running
    refresh();
    const Rows after = rows(*view);
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(after[0], before[0]);  // FaceTime
    EXPECT_EQ(after[1], before[2]);  // Tunebox
    EXPECT_EQ(after[2]->entry().name, "Banjo");
    EXPECT_EQ(after[3], before[1]);  // Chatter
    AppRow& gone = row(*view, "org.example.Gone");
    for (const auto& [r, dot, opacity] :
         {std::tuple{after[1], true, 1.0}, {after[3], false, 1.0}, {&gone, false, 0.45}}) {
        EXPECT_EQ(child(*r, "playingDot")->isVisibleTo(r), dot) << r->entry().name;
        EXPECT_EQ(r->iconOpacity(), opacity) << r->entry().name;
    }
}

// Where the slider's thumb is, in the slider's coordinates.
QPoint thumbCentre(ui::ContinuousSlider& s) {
    QStyleOptionSlider option;
    option.initFrom(&s);
    option.orientation = s.orientation();
    option.maximum = s.maximum();
    option.sliderPosition = option.sliderValue = s.value();
    return s.style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &s)
        .center();
}

TEST_F(RowListTest, ADragSurvivesRefreshesAndTheListHoldsStill) {
    addApp(101, tunebox, "Tunebox", true);
    const auto chatter = addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    const auto view = makeView();
    view->resize(view->sizeHint());
    const Rows before = rows(*view);
    AppRow* r = &row(*view, tunebox);
    auto& s = slider(*r);

    // The user takes the thumb and drags it left.
    const QPoint thumb = thumbCentre(s);
    QTest::mousePress(&s, Qt::LeftButton, {}, thumb);
    ASSERT_TRUE(s.isSliderDown());
    QTest::mouseMove(&s, thumb - QPoint(60, 0));
    const int dragged = s.value();
    ASSERT_LT(dragged, 10000);
    EXPECT_EQ(model->volume(tunebox), s.continuousValue());

    // Refreshes come, one with a change that would reorder the list and one
    // with a new application; another change of the volume arrives.
    sim.audio.setProcessPlaying(chatter, true);
    addApp(103, "org.example.Banjo", "Banjo", true);
    model->setVolume(tunebox, 0.9);
    refresh();
    refresh();
    EXPECT_TRUE(s.isSliderDown());
    EXPECT_EQ(s.value(), dragged);
    EXPECT_EQ(rows(*view), before);  // nothing moved under the pointer
    EXPECT_EQ(percent(*r), "90%");   // the row still shows the model

    // Dragging on continues from where the thumb is.
    QTest::mouseMove(&s, thumb - QPoint(80, 0));
    EXPECT_LT(s.value(), dragged);
    EXPECT_EQ(model->volume(tunebox), s.continuousValue());

    // Let go: the list catches up, the row stays the same widget.
    QTest::mouseRelease(&s, Qt::LeftButton, {}, thumb - QPoint(80, 0));
    settle();
    EXPECT_FALSE(s.isSliderDown());
    const Rows after = rows(*view);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_NE(std::find(after.begin(), after.end(), r), after.end());
    EXPECT_EQ(s.value(), s.stepOfValue(model->volume(tunebox)));
}

TEST_F(RowListTest, RowsHoldStillUnderThePointerAndTakeTheModelsOrderWhenItLeaves) {
    addApp(101, "org.example.Alpha", "Alpha", false);
    const auto beta = addApp(102, "org.example.Beta", "Beta", false);
    const auto gamma = addApp(103, "org.example.Gamma", "Gamma", false);
    makeModel();
    const auto view = makeView();
    const auto shown = [&] {
        std::vector<std::string> names;
        for (const AppRow* r : rows(*view)) {
            names.push_back(r->entry().name + (r->isEnabled() ? "" : " (dimmed)"));
        }
        return names;
    };
    using Names = std::vector<std::string>;
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);

    // Under the pointer, Beta starts playing (it would move up), Gamma ends
    // (its row would go) and Delta starts (its row would come in between).
    QCoreApplication::sendEvent(view.get(), &enter);
    sim.audio.setProcessPlaying(beta, true);
    sim.audio.removeProcess(gamma);
    addApp(104, "org.example.Delta", "Delta", true);
    refresh();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Alpha", "Beta", "Gamma (dimmed)", "Delta"}));
    EXPECT_EQ(rows(*view)[3]->iconOpacity(), 0.45);

    QCoreApplication::sendEvent(view.get(), &leave);
    settle();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Beta", "Delta", "Alpha"}));

    // The panel opening under the pointer shows the model's order too.
    QCoreApplication::sendEvent(view.get(), &enter);
    sim.audio.setProcessPlaying(beta, false);
    refresh();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Beta", "Delta", "Alpha"}));
    view->prepareToOpen();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Delta", "Alpha", "Beta"}));
}

}  // namespace
}  // namespace morvale::testing
