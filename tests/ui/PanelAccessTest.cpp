// The panel as a screen-reader and keyboard user meets it: what the
// accessibility tree says, and what the keys do.
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <array>
#include <map>
#include <set>

#include "UiFixture.h"
#include "ui/Keyboard.h"
#include "ui/PanelStyle.h"
#include "ui/PanelWindow.h"

namespace morvale::testing {
namespace {

const std::string tunebox = "org.example.Tunebox";
const std::string chatter = "org.example.Chatter";
const QString loginError = QStringLiteral("Can't write the autostart entry");

// FaceTime, Tunebox playing at 50%, Chatter muted, a boost of 6 dB and a
// failed "Open at login" in the error line, in an open panel.
class PanelAccessTest : public UiFixture {
protected:
    std::unique_ptr<ui::PanelWindow> window;
    AudioObjectID chatterObject = 0;

    void SetUp() override {
        addApp(101, tunebox, "Tunebox", true);
        chatterObject = addApp(102, chatter, "Chatter", false);
        makeModel();
        model->setVolume(tunebox, 0.5);
        model->toggleMute(chatter);
        model->setDuckBoost(6);
        sim.loginItem.failRegisterWith = loginError.toStdString();
        model->toggleLaunchAtLogin();
        sim.loginItem.failRegisterWith.reset();
        open();
    }

    // A new panel, opened.
    void open(const QPalette& palette = QApplication::palette()) {
        window.reset();
        window = std::make_unique<ui::PanelWindow>(new ui::ContentView(*model));
        window->setPalette(palette);
        window->open(QRect(1000, 0, 24, 24));
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        settle();
    }
};

QString spokenName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

void collect(QAccessibleInterface* node, std::vector<QAccessibleInterface*>& all) {
    for (int i = 0; i < node->childCount(); ++i) {
        all.push_back(node->child(i));
        collect(node->child(i), all);
    }
}

TEST_F(PanelAccessTest, EveryControlIsNamedForItsApplicationAndTellsItsStateAndValue) {
    // As on X11, where the panel is a popup, which Qt leaves out of the tree.
    window->hide();
    settle();
    window->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    window->open(QRect(1000, 0, 24, 24));
    settle();

    QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp);
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_GE(app->indexOfChild(panel), 0);
    EXPECT_EQ(app->child(app->indexOfChild(panel)), panel);

    std::vector<QAccessibleInterface*> all;
    collect(panel, all);
    std::map<QString, QAccessibleInterface*> controls;
    std::set<QString> texts;
    QStringList names;
    for (QAccessibleInterface* node : all) {
        const QString name = node->text(QAccessible::Name);
        if (!node->state().invisible && node->role() == QAccessible::StaticText) {
            texts.insert(name);
        }
        if (!node->state().invisible && node->state().focusable) {
            controls.emplace(name, node);
            names << name;
        }
    }
    names.sort();  // each control once, none without a name
    EXPECT_EQ(names, (QStringList{loginError, "Chatter volume", "FaceTime volume", "Mute Chatter",
                                  "Mute FaceTime", "Mute Tunebox", "Open at login", "Quit",
                                  "Tunebox volume", "Undo call ducking"}));

    const struct {
        const char* name;
        const char* text;
        double number, maximum;
    } sliders[] = {{"FaceTime volume", "100%", 100, 100},
                   {"Tunebox volume", "50%", 50, 100},
                   {"Chatter volume", "0%", 0, 100},
                   {"Undo call ducking", "+6 dB", 6, 30}};
    for (const auto& s : sliders) {
        QAccessibleValueInterface* value = controls[s.name]->valueInterface();
        ASSERT_NE(value, nullptr) << s.name;
        EXPECT_EQ(controls[s.name]->text(QAccessible::Value), s.text);
        EXPECT_EQ(value->currentValue().toDouble(), s.number) << s.name;
        EXPECT_EQ(value->maximumValue().toDouble(), s.maximum) << s.name;
        EXPECT_EQ(value->minimumStepSize().toDouble(), 1.0) << s.name;
    }
    // "Muted" is not "volume 0": the button says which.
    for (const auto& [name, muted] : {std::pair{"Mute Tunebox", false}, {"Mute Chatter", true}}) {
        EXPECT_TRUE(controls[name]->state().checkable) << name;
        EXPECT_EQ(controls[name]->state().checked, muted) << name;
    }
    EXPECT_EQ(controls[loginError]->role(), QAccessible::Notification);

    // The painted texts are there to be read; the name labels its slider.
    for (const char* text : {"Tunebox", "playing", "50%", "+6 dB", "Undo call ducking"}) {
        EXPECT_EQ(texts.count(text), 1u) << text;
    }
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

TEST_F(PanelAccessTest, OpensOnTheFirstSliderAndTabsThroughEveryControlWithAVisibleRing) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2e, 0x32));
    dark.setColor(QPalette::WindowText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    const QStringList order = {
        "FaceTime volume", "Mute FaceTime", "Tunebox volume",    "Mute Tunebox",
        "Chatter volume",  "Mute Chatter",  "Undo call ducking", loginError,
        "Open at login",   "Quit",          "FaceTime volume"};

    for (const QPalette& palette : {QApplication::style()->standardPalette(), dark}) {
        open(palette);
        auto* first = rows(*window).front()->volumeSlider();
        ASSERT_EQ(QApplication::focusWidget(), first);
        auto* ring = window->findChild<ui::FocusRing*>();
        EXPECT_FALSE(ring->isShown());  // for a mouse user, the panel looks as it did
        // The wheel still scrolls past the slider the panel chose.
        QWheelEvent wheel(QPointF(5, 5), first->mapToGlobal(QPointF(5, 5)), {}, {0, -120},
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(first, &wheel);
        EXPECT_EQ(model->volume("com.apple.FaceTime"), 1.0);

        QStringList visited = {spokenName(first)};
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            visited << spokenName(focused);
            ASSERT_TRUE(ring->isShown()) << visited.back().toStdString();
            // The ring goes round the control, and stands out from the panel.
            const QRect around(ring->mapTo(window.get(), QPoint()), ring->size());
            const QRect inside(focused->mapTo(window.get(), QPoint()), focused->size());
            EXPECT_TRUE(around.contains(inside) && around != inside);
            const QColor drawn =
                window->grab().toImage().pixelColor(around.center().x(), around.top() + 1);
            EXPECT_GE(ui::contrastRatio(drawn, palette.color(QPalette::Window)), 3.0)
                << visited.back().toStdString() << " " << drawn.name().toStdString();
        }
        EXPECT_EQ(visited, order);
    }
}

TEST_F(PanelAccessTest, KeysStepSlidersPressButtonsAndClose) {
    QSignalSpy quit(window->content(), &ui::ContentView::quitRequested);
    QWidget* volume = row(*window, tunebox).volumeSlider();
    QWidget* boost = child(*window, "boostSlider");
    QWidget* mute = row(*window, chatter).muteButton();
    auto* login = child<QCheckBox>(*window, "launchAtLogin");
    // What each key changes, as a number.
    enum Read { tuneboxVolume, boostDB, chatterVolume, checked, quits };
    const auto read = [&](Read what) {
        return std::array{model->volume(tunebox), model->duckBoostDB(), model->volume(chatter),
                          login->isChecked() ? 1.0 : 0.0, double(quit.count())}[what];
    };
    const struct {
        QWidget* target;
        Qt::Key key;
        Read what;
        double after;
    } keys[] = {
        // A volume moves by 1% and 10%, the boost by whole decibels, 1 and 5.
        {volume, Qt::Key_Right, tuneboxVolume, 0.51},
        {volume, Qt::Key_PageUp, tuneboxVolume, 0.61},
        {volume, Qt::Key_Left, tuneboxVolume, 0.60},
        {volume, Qt::Key_PageDown, tuneboxVolume, 0.50},
        {boost, Qt::Key_Right, boostDB, 7},
        {boost, Qt::Key_PageUp, boostDB, 12},
        {boost, Qt::Key_Left, boostDB, 11},
        {boost, Qt::Key_PageDown, boostDB, 6},
        // Space and Enter press buttons alike.
        {mute, Qt::Key_Space, chatterVolume, 1.0},
        {mute, Qt::Key_Return, chatterVolume, 0.0},
        {login, Qt::Key_Space, checked, 1},
        {login, Qt::Key_Enter, checked, 0},
        {child(*window, "quitButton"), Qt::Key_Return, quits, 1},
    };
    for (const auto& k : keys) {
        k.target->setFocus();
        QTest::keyClick(k.target, k.key);
        settle();  // the boost's thumb goes back to what the model holds
        EXPECT_DOUBLE_EQ(read(k.what), k.after)
            << spokenName(k.target).toStdString() << " " << k.key;
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

}  // namespace
}  // namespace morvale::testing
