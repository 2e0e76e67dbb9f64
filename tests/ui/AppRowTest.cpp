#include <QLayout>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolButton>

#include "UiFixture.h"
#include "ui/AppIcons.h"
#include "ui/AppRow.h"
#include "ui/ContentView.h"
#include "ui/ContinuousSlider.h"
#include "ui/RowList.h"
#include "ui/TextWidgets.h"

namespace morvale::testing {
namespace {

using ui::AppRow;

class AppRowTest : public UiFixture {
protected:
    const std::string key = "org.example.Tunebox";

    const AppEntry& entry(const std::string& id) const {
        for (const AppEntry& e : model->entries()) {
            if (e.id == id) {
                return e;
            }
        }
        throw std::runtime_error("no entry " + id);
    }

    std::unique_ptr<AppRow> makeRow(const std::string& id) {
        auto row = std::make_unique<AppRow>(*model, entry(id));
        row->resize(292, row->sizeHint().height());
        row->show();
        settle();
        return row;
    }

    static ui::ContinuousSlider* slider(const QWidget& row) {
        return child<ui::ContinuousSlider>(row, "volumeSlider");
    }
    static QString percent(const QWidget& row) {
        return child<ui::DigitsLabel>(row, "percent")->text();
    }

    // Where the slider's thumb is, in the slider's coordinates.
    static QPoint thumbCentre(ui::ContinuousSlider& s) {
        QStyleOptionSlider option;
        option.initFrom(&s);
        option.orientation = s.orientation();
        option.minimum = s.minimum();
        option.maximum = s.maximum();
        option.sliderPosition = s.sliderPosition();
        option.sliderValue = s.value();
        return s.style()
            ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &s)
            .center();
    }
};

TEST_F(AppRowTest, PercentageAndSpeakerShowTheModelsVolume) {
    addApp(101, key, "Tunebox", true);
    makeModel();
    const struct {
        double volume;
        const char* percent;
        const char* symbol;
    } cases[] = {
        // Thresholds are FormattingTest's; here: the row shows the unrounded volume.
        {0.0, "0%", "speaker.slash.fill"},
        {0.004, "0%", "speaker.wave.1.fill"},
        {0.75, "75%", "speaker.wave.2.fill"},
        {-3.0, "0%", "speaker.slash.fill"},  // stored as set, shown as muted
    };
    for (const auto& c : cases) {
        model->setVolume(key, c.volume);
        const auto row = makeRow(key);
        EXPECT_EQ(percent(*row), c.percent) << c.volume;
        EXPECT_EQ(row->symbolName(), c.symbol) << c.volume;
        EXPECT_FALSE(child<QToolButton>(*row, "muteButton")->icon().isNull());
        EXPECT_EQ(slider(*row)->value(), slider(*row)->stepOfValue(c.volume)) << c.volume;
    }
}

TEST_F(AppRowTest, DotAndIconTellPlayingAndRunning) {
    addApp(101, key, "Tunebox", true);
    addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    model->setVolume("org.example.Gone", 0.5);  // remembered, not running
    tick();
    const struct {
        const char* id;
        bool dot;
        qreal opacity;
    } cases[] = {
        {"org.example.Tunebox", true, 1.0},
        {"org.example.Chatter", false, 1.0},
        {"org.example.Gone", false, 0.45},
    };
    for (const auto& c : cases) {
        const auto row = makeRow(c.id);
        EXPECT_EQ(child<QWidget>(*row, "playingDot")->isVisibleTo(row.get()), c.dot) << c.id;
        EXPECT_EQ(row->iconOpacity(), c.opacity) << c.id;
    }
}

TEST(AppIcons, TheCallRowsSymbolIsShippedForThemesThatLackIt) {
    const QIcon icon = ui::appIcon(makeIcon(IconSource::Kind::themeName, "call-start"));
    EXPECT_FALSE(icon.pixmap(24, 24).isNull());
    EXPECT_NE(icon.cacheKey(), ui::genericAppIcon().cacheKey());
}

TEST_F(AppRowTest, ALongNameIsCutAndThePercentageStays) {
    const std::string name(200, 'W');
    addApp(101, key, name, false);
    makeModel();
    model->setVolume(key, 0.42);
    const auto row = makeRow(key);
    const auto* label = child<ui::ElidedLabel>(*row, "name");
    EXPECT_EQ(label->text().toStdString(), name);
    EXPECT_TRUE(label->shownText().endsWith(QChar(0x2026)));
    EXPECT_EQ(label->height(), label->fontMetrics().height());  // one line
    const auto* percentLabel = child<ui::DigitsLabel>(*row, "percent");
    EXPECT_TRUE(percentLabel->isVisible());
    EXPECT_LE(percentLabel->geometry().right(), row->width() - 1);
    EXPECT_GE(percentLabel->width(), percentLabel->textWidth("42%"));
}

TEST_F(AppRowTest, SliderAndMuteButtonCallTheModelAndFollowIt) {
    addApp(101, key, "Tunebox", true);
    makeModel();
    const auto row = makeRow(key);

    // The value reaches the model as set, not rounded to a percentage.
    slider(*row)->setValue(3330);
    EXPECT_EQ(model->volume(key), 0.333);
    slider(*row)->setValue(1);
    EXPECT_EQ(model->volume(key), 0.0001);

    slider(*row)->setValue(6000);
    settle();
    QTest::mouseClick(child<QToolButton>(*row, "muteButton"), Qt::LeftButton);
    EXPECT_EQ(model->volume(key), 0.0);
    settle();
    EXPECT_EQ(row->symbolName(), "speaker.slash.fill");
    EXPECT_EQ(slider(*row)->value(), 0);
    QTest::mouseClick(child<QToolButton>(*row, "muteButton"), Qt::LeftButton);
    EXPECT_EQ(model->volume(key), 0.6);
}

// The panel's rows over refreshes: the same widgets, a drag that goes on.
class RowIdentityTest : public AppRowTest {
protected:
    std::unique_ptr<ui::ContentView> makeView() {
        auto view = std::make_unique<ui::ContentView>(*model);
        view->show();
        settle();
        return view;
    }
    static std::vector<AppRow*> rowsOf(const ui::ContentView& view) {
        return child<ui::RowList>(view, "rows")->rows();
    }
};

// Counts the paint events of a widget and everything inside it.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget& widget) {
        widget.installEventFilter(this);
        for (QWidget* inner : widget.findChildren<QWidget*>()) {
            inner->installEventFilter(this);
        }
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// The model announces every refresh, also one that changes nothing: the panel
// listens once however many rows it has, and only a row whose entry or volume
// changed draws again.
TEST_F(RowIdentityTest, OnlyARowWhoseEntryOrVolumeChangedRedraws) {
    addApp(101, key, "Tunebox", false);
    addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    const std::size_t listeners = model->objectWillChange().subscriberCount();
    const auto view = makeView();
    EXPECT_EQ(model->objectWillChange().subscriberCount(), listeners + 1);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const auto rows = rowsOf(*view);
    ASSERT_EQ(rows.size(), 3u);
    std::vector<std::unique_ptr<PaintCounter>> counters;
    for (AppRow* row : rows) {
        counters.push_back(std::make_unique<PaintCounter>(*row));
    }
    const auto painted = [&] {
        QTest::qWait(50);  // painting waits for the window's next frame
        std::vector<bool> result;
        for (auto& counter : counters) {
            result.push_back(counter->paints > 0);
            counter->paints = 0;
        }
        return result;
    };

    tick();
    settle();
    EXPECT_EQ(painted(), (std::vector<bool>{false, false, false}));

    // A change from elsewhere moves the slider without being sent back.
    const auto writes = sim.settings.standardStore.writes;
    model->setVolume("org.example.Chatter", 0.75);
    settle();
    EXPECT_EQ(slider(*rows[1])->value(), 7500);
    EXPECT_EQ(sim.settings.standardStore.writes, writes + 1);  // only the model's own
    // However slow the machine, the changed row paints; the others had as long.
    EXPECT_TRUE(QTest::qWaitFor([&] { return counters[1]->paints > 0; }, 5000));
    EXPECT_EQ(painted(), (std::vector<bool>{false, true, false}));
}

TEST_F(RowIdentityTest, ARowStaysTheSameWidgetAcrossRefreshes) {
    const auto tunebox = addApp(101, key, "Tunebox", false);
    addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    const auto view = makeView();
    const auto before = rowsOf(*view);
    ASSERT_EQ(before.size(), 3u);

    for (int i = 0; i < 3; ++i) {
        tick();
        settle();
    }
    EXPECT_EQ(rowsOf(*view), before);

    // A new application gets a new row; the others keep theirs, also when
    // their order changes (Tunebox plays and moves up).
    addApp(103, "org.example.Banjo", "Banjo", false);
    sim.audio.setProcessPlaying(tunebox, true);
    tick();
    settle();
    const auto after = rowsOf(*view);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0], before[0]);  // FaceTime
    EXPECT_EQ(after[1], before[2]);  // Tunebox
    EXPECT_TRUE(after[1]->entry().isPlaying);
    EXPECT_EQ(after[2]->entry().name, "Banjo");
    EXPECT_EQ(after[3], before[1]);  // Chatter
}

TEST_F(RowIdentityTest, ADragSurvivesRefreshesAndTheListHoldsStill) {
    addApp(101, key, "Tunebox", true);
    const auto chatter = addApp(102, "org.example.Chatter", "Chatter", false);
    makeModel();
    const auto view = makeView();
    view->resize(view->sizeHint());
    const auto before = rowsOf(*view);
    AppRow* row = before[1];
    ASSERT_EQ(row->entry().id, key);
    auto* s = slider(*row);

    // The user takes the thumb and drags it left.
    const QPoint thumb = thumbCentre(*s);
    QTest::mousePress(s, Qt::LeftButton, {}, thumb);
    ASSERT_TRUE(s->isSliderDown());
    QTest::mouseMove(s, thumb - QPoint(60, 0));
    const int dragged = s->value();
    ASSERT_LT(dragged, 10000);
    EXPECT_EQ(model->volume(key), s->continuousValue());

    // Refreshes come, one of them with a change that would reorder the list
    // and one with a new application; another change of the volume arrives.
    sim.audio.setProcessPlaying(chatter, true);
    addApp(103, "org.example.Banjo", "Banjo", true);
    model->setVolume(key, 0.9);
    tick();
    settle();
    tick();
    settle();
    EXPECT_TRUE(s->isSliderDown());
    EXPECT_EQ(s->value(), dragged);
    EXPECT_EQ(rowsOf(*view), before);  // nothing moved under the pointer
    EXPECT_EQ(percent(*row), "90%");   // the row still shows the model

    // Dragging on continues from where the thumb is.
    QTest::mouseMove(s, thumb - QPoint(80, 0));
    EXPECT_LT(s->value(), dragged);
    EXPECT_EQ(model->volume(key), s->continuousValue());

    // Let go: the list catches up, the row stays the same widget.
    QTest::mouseRelease(s, Qt::LeftButton, {}, thumb - QPoint(80, 0));
    settle();
    EXPECT_FALSE(s->isSliderDown());
    const auto after = rowsOf(*view);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_NE(std::find(after.begin(), after.end(), row), after.end());
    EXPECT_EQ(s->value(), s->stepOfValue(model->volume(key)));
}

TEST_F(RowIdentityTest, RowsHoldStillUnderThePointerAndTakeTheModelsOrderWhenItLeaves) {
    addApp(101, "org.example.Alpha", "Alpha", false);
    const auto beta = addApp(102, "org.example.Beta", "Beta", false);
    const auto gamma = addApp(103, "org.example.Gamma", "Gamma", false);
    makeModel();
    const auto view = makeView();
    const auto shown = [&] {
        std::vector<std::string> names;
        for (const AppRow* row : rowsOf(*view)) {
            names.push_back(row->entry().name + (row->isEnabled() ? "" : " (dimmed)"));
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
    tick();
    settle();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Alpha", "Beta", "Gamma (dimmed)", "Delta"}));
    EXPECT_EQ(rowsOf(*view)[3]->iconOpacity(), 0.45);

    QCoreApplication::sendEvent(view.get(), &leave);
    settle();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Beta", "Delta", "Alpha"}));

    // The panel opening under the pointer shows the model's order too.
    QCoreApplication::sendEvent(view.get(), &enter);
    sim.audio.setProcessPlaying(beta, false);
    tick();
    settle();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Beta", "Delta", "Alpha"}));
    view->prepareToOpen();
    EXPECT_EQ(shown(), (Names{"FaceTime", "Delta", "Alpha", "Beta"}));
}

}  // namespace
}  // namespace morvale::testing
