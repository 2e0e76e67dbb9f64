#include <QTest>

#include "UiFixture.h"
#include "ui/PanelWindow.h"

namespace morvale::testing {
namespace {

using PanelWindowTest = UiFixture;

TEST_F(PanelWindowTest, TrayClicksOpenAndCloseThePanelWhichGrowsWithTheList) {
    makeModel();
    ui::PanelWindow window(new ui::ContentView(*model));
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
    QTest::qWait(450);
    window.toggle(icon);
    EXPECT_TRUE(window.isVisible());

    const int before = window.height();
    addApp(101, "org.example.Tunebox", "Tunebox", true);
    refresh();
    settle();
    EXPECT_GT(window.height(), before);
    EXPECT_EQ(window.size(), window.content()->sizeHint());

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace morvale::testing
