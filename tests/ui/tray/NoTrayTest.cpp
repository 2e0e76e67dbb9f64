#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "FakeTrayHost.h"
#include "UiFixture.h"
#include "ui/MorvaleApp.h"
#include "ui/PanelWindow.h"
#include "ui/TrayWatch.h"

namespace morvale::testing {
namespace {

QStringList messages;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    // Qt's offscreen platform, which stands in for Wayland here, cannot raise
    // windows and says so; Wayland's can.
    if (message != QLatin1String("This plugin does not support raise()")) {
        messages << message;
    }
}

using NoTray = UiFixture;

// As on a Wayland desktop without a StatusNotifierItem host (GNOME without
// its AppIndicator extension): no tray of either kind.
TEST_F(NoTray, WithoutATrayThePanelOpensAtStartAndSaysHowToComeBack) {
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    makeModel();
    ui::MorvaleApp app(*model, true);
    QSignalSpy restart(&app, &ui::MorvaleApp::restartRequested);
    settle();

    EXPECT_EQ(app.trayIcon(), nullptr);
    EXPECT_TRUE(app.panelWindow()->isVisible());
    EXPECT_TRUE(app.panelWindow()->notice().contains(QLatin1String("application menu")))
        << app.panelWindow()->notice().toStdString();

    // It keeps watching: a tray host that comes later is taken up (by a fresh
    // start, as Qt looks for one only once per process).
    const FakeTrayHost host;
    EXPECT_TRUE(restart.wait(ui::TrayWatch::serviceGraceMs + 3000));

    qInstallMessageHandler(previous);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace morvale::testing
