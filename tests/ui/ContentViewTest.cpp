#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "UiFixture.h"
#include "catalog/Grouping.h"
#include "ui/AppRow.h"
#include "ui/ContentView.h"
#include "ui/ContinuousSlider.h"
#include "ui/RowList.h"
#include "ui/TextWidgets.h"

namespace morvale::testing {
namespace {

using ui::ContentView;

class ContentViewTest : public UiFixture {
protected:
    // Adds silent ordinary applications "App 01", "App 02"... (FaceTime's row
    // always comes on top of them).
    void addApps(int count) {
        for (int i = 1; i <= count; ++i) {
            const auto n = QString::asprintf("%02d", i).toStdString();
            addApp(3000 + i, "org.example.app" + n, "App " + n, false);
        }
    }

    std::unique_ptr<ContentView> makeView() {
        auto view = std::make_unique<ContentView>(*model);
        view->show();
        settle();
        return view;
    }

    // The panel's children that are shown, top to bottom, by name.
    static std::vector<std::string> shownChildren(const ContentView& view) {
        std::vector<std::string> names;
        const QLayout* layout = view.layout();
        for (int i = 0; i < layout->count(); ++i) {
            const QWidget* widget = layout->itemAt(i)->widget();
            if (widget != nullptr && widget->isVisibleTo(&view)) {
                names.push_back(widget->objectName().toStdString());
            }
        }
        return names;
    }

    static std::vector<std::string> rowNames(const ContentView& view) {
        std::vector<std::string> names;
        for (const ui::AppRow* row : child<ui::RowList>(view, "rows")->rows()) {
            names.push_back(row->entry().name);
        }
        return names;
    }

    static QString text(const ContentView& view, const char* name) {
        return child<QLabel>(view, name)->text();
    }

    static bool shown(const ContentView& view, const char* name) {
        return child<QWidget>(view, name)->isVisibleTo(&view);
    }
};

TEST_F(ContentViewTest, WrapsTheHelpTextNamesTheCallRowAndQuits) {
    makeModel();
    const auto view = makeView();

    // The help text wraps within the panel instead of being cut.
    const auto* help = child<QLabel>(*view, "helpText");
    EXPECT_TRUE(help->wordWrap());
    EXPECT_LT(help->geometry().right(), view->width());
    EXPECT_GE(help->height(), help->heightForWidth(help->width()));
    EXPECT_GT(help->height(), help->fontMetrics().height());

    QSignalSpy quit(view.get(), &ContentView::quitRequested);
    QTest::mouseClick(child<QPushButton>(*view, "quitButton"), Qt::LeftButton);
    EXPECT_EQ(quit.count(), 1);

    // The help text names the call row as the desktop shows it.
    sim.calls = Grouping::callStreamCalls("Calls");
    makeModel();
    EXPECT_TRUE(text(*makeView(), "helpText").contains("Calls"));
}

TEST_F(ContentViewTest, LaysOutEmptyShortAndLongLists) {
    const struct {
        int apps;  // besides FaceTime
        bool emptyList;
        bool scrolling;
    } cases[] = {{-1, true, false}, {8, false, false}, {9, false, true}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.apps);
        // A fresh desktop each time.
        sim.processes.applications.clear();
        for (const auto object : sim.audio.processObjects()) {
            sim.audio.removeProcess(object);
        }
        addApps(std::max(c.apps, 0));
        makeModel();
        const auto view = makeView();
        if (c.apps < 0) {
            view->draw({});  // the list the model hands over can be empty
        }

        std::vector<std::string> expected = {"title",       "rows",     "divider1",
                                             "duckSection", "divider2", "bottomRow"};
        if (c.emptyList) {
            expected.insert(expected.begin() + 1, "emptyLine");
        }
        EXPECT_EQ(shownChildren(*view), expected);

        const auto* rows = child<ui::RowList>(*view, "rows");
        const auto* scroll = child<QScrollArea>(*view, "rowsScroll");
        const std::size_t rowCount = c.emptyList ? 0 : static_cast<std::size_t>(c.apps) + 1;
        EXPECT_EQ(rows->rows().size(), rowCount);
        EXPECT_EQ(rows->isScrolling(), c.scrolling);
        EXPECT_EQ(scroll->isVisibleTo(view.get()), c.scrolling);
        if (c.scrolling) {
            EXPECT_EQ(scroll->height(), 378);
            EXPECT_EQ(scroll->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_TRUE(scroll->verticalScrollBar()->isVisibleTo(view.get()));
            // The focus arriving on the last row (as by Shift+Tab from the
            // boost) scrolls it into view.
            QWidget* last = rows->rows().back()->volumeSlider();
            last->setFocus();
            const QRect shown(last->mapTo(scroll->viewport(), QPoint()), last->size());
            EXPECT_TRUE(scroll->viewport()->rect().contains(shown));
        } else {
            // The panel grows with its rows.
            int rowsHeight = 0;
            for (const ui::AppRow* row : rows->rows()) {
                rowsHeight += row->height();
            }
            EXPECT_GE(rows->height(), rowsHeight);
        }
    }
}

TEST_F(ContentViewTest, ListsRowsInTheModelsOrderAndFollowsChanges) {
    addApp(101, "org.example.Zither", "Zither", true);
    addApp(102, "org.example.alpha", "alpha", false);
    const auto beta = addApp(103, "org.example.Beta", "Beta", false);
    makeModel();
    const auto view = makeView();
    EXPECT_EQ(rowNames(*view), (std::vector<std::string>{"FaceTime", "Zither", "alpha", "Beta"}));

    // Beta starts playing and moves up; new apps join the list.
    sim.audio.setProcessPlaying(beta, true);
    addApps(6);
    tick();
    settle();
    EXPECT_EQ(rowNames(*view).size(), 10u);
    EXPECT_EQ(rowNames(*view)[1], "Beta");
}

TEST_F(ContentViewTest, BoostTextAndBadgeFollowTheModel) {
    const auto faceTime = addApp(200, "com.apple.FaceTime", "FaceTime", false);
    makeModel();
    const auto view = makeView();
    const auto* boost = child<ui::DigitsLabel>(*view, "boostText");
    EXPECT_EQ(boost->text(), "Off");
    EXPECT_FALSE(shown(*view, "callBadge"));

    model->setDuckBoost(6);
    sim.audio.setProcessPlaying(faceTime, true);
    tick();
    settle();
    EXPECT_EQ(boost->text(), "+6 dB");
    model->setDuckBoost(1e308);  // not from the slider: shown as far as it acts
    settle();
    EXPECT_EQ(boost->text(), "+30 dB");
    EXPECT_TRUE(shown(*view, "callBadge"));
    // Between the section's title and the value, on one line.
    const auto* title = child<QLabel>(*view, "duckTitle");
    const auto* badge = child<QLabel>(*view, "callBadge");
    EXPECT_GT(badge->x(), title->geometry().right());
    EXPECT_LT(badge->geometry().right(), boost->x());

    sim.audio.setProcessPlaying(faceTime, false);
    tick();
    settle();
    EXPECT_FALSE(shown(*view, "callBadge"));
}

TEST_F(ContentViewTest, BoostSliderPassesWholeDecibels) {
    makeModel();
    const auto view = makeView();
    auto* slider = child<ui::ContinuousSlider>(*view, "boostSlider");
    const struct {
        double position;
        double passed;
    } cases[] = {{12.5, 13}, {12.49, 12}, {0.49, 0}, {0.5, 1}, {29.99, 30}, {30, 30}};
    for (const auto& c : cases) {
        slider->setValue(slider->stepOfValue(c.position));  // as a drag would
        EXPECT_EQ(model->duckBoostDB(), c.passed) << c.position;
    }
    // Let go, the thumb shows the model's whole decibels.
    slider->setValue(slider->stepOfValue(7.3));
    settle();
    EXPECT_EQ(slider->continuousValue(), 7.0);
    EXPECT_EQ(child<ui::DigitsLabel>(*view, "boostText")->text(), "+7 dB");
}

TEST_F(ContentViewTest, LoginCheckboxAsksTheModelAndShowsItsAnswer) {
    makeModel();
    const auto view = makeView();
    auto* box = child<QCheckBox>(*view, "launchAtLogin");
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(shown(*view, "errorLine"));

    box->click();
    settle();
    EXPECT_EQ(sim.loginItem.registerCalls, 1);
    EXPECT_TRUE(box->isChecked());

    box->click();
    settle();
    EXPECT_EQ(sim.loginItem.unregisterCalls, 1);
    EXPECT_FALSE(box->isChecked());

    // Registration that needs the user's approval leaves it off, whatever the
    // click asked for.
    sim.loginItem.afterRegister = LoginItemStatus::requiresApproval;
    box->click();
    EXPECT_FALSE(box->isChecked());
    sim.loginItem.current = LoginItemStatus::notRegistered;

    // A failure stays off and shows the platform's message, as it is (never
    // as markup).
    sim.loginItem.failRegisterWith = "Can't write <autostart> entry: Permission denied";
    box->click();
    settle();
    EXPECT_EQ(sim.loginItem.registerCalls, 3);
    EXPECT_FALSE(box->isChecked());
    ASSERT_TRUE(shown(*view, "errorLine"));
    const auto* error = child<QLabel>(*view, "errorLine");
    EXPECT_EQ(error->text(), "Can't write <autostart> entry: Permission denied");
    EXPECT_EQ(error->textFormat(), Qt::PlainText);
    // Between the call-ducking section and the second divider.
    EXPECT_EQ(shownChildren(*view),
              (std::vector<std::string>{"title", "rows", "divider1", "duckSection", "errorLine",
                                        "divider2", "bottomRow"}));
}

TEST_F(ContentViewTest, ALostAudioServerShowsInTheErrorLineWhileItLasts) {
    makeModel();
    const auto view = makeView();
    const std::string problem = "Lost the connection to the sound server; reconnecting…";
    sim.audio.setAvailabilityProblem(problem);
    tick();
    settle();
    ASSERT_TRUE(shown(*view, "errorLine"));
    EXPECT_EQ(text(*view, "errorLine").toStdString(), problem);

    sim.audio.setAvailabilityProblem(std::nullopt);
    tick();
    settle();
    EXPECT_FALSE(shown(*view, "errorLine"));
}

TEST_F(ContentViewTest, ABurstOfChangesIsDrawnOnceAfterwards) {
    const auto tunebox = addApp(101, "org.example.Tunebox", "Tunebox", false);
    makeModel();
    const auto view = makeView();
    auto* rows = child<ui::RowList>(*view, "rows");
    const ui::AppRow* row = rows->rows().at(1);
    const auto* percent = child<ui::DigitsLabel>(*row, "percent");

    // The model announces before it changes: nothing is drawn inside the
    // announcement, all of it on the next turn of the event loop.
    model->setVolume("org.example.Tunebox", 0.2);
    model->setVolume("org.example.Tunebox", 0.3);
    model->setDuckBoost(4);
    sim.audio.setProcessPlaying(tunebox, true);
    tick();
    EXPECT_EQ(percent->text(), "100%");
    settle();
    EXPECT_EQ(percent->text(), "30%");
    EXPECT_TRUE(child<QWidget>(*row, "playingDot")->isVisibleTo(row));
    EXPECT_EQ(child<ui::DigitsLabel>(*view, "boostText")->text(), "+4 dB");
}

}  // namespace
}  // namespace morvale::testing
