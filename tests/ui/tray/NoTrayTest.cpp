// SPDX-License-Identifier: GPL-3.0-or-later
#include <QSignalSpy>

#include "FakeTrayHost.h"
#include "UiFixture.h"
#include "ui/MorvaleApp.h"
#include "ui/PanelWindow.h"
#include "ui/TrayWatch.h"

namespace morvale::testing {
namespace {

QStringList messages;

using NoTray = UiFixture;

// As on a Wayland desktop without a StatusNotifierItem host (GNOME without
// its AppIndicator extension): no tray of either kind.
TEST_F(NoTray, WithoutATrayThePanelOpensAtStartAndSaysHowToComeBack) {
    // Qt's offscreen platform, which stands in for Wayland here, cannot raise
    // windows and says so; Wayland's can. Anything else Qt says is a fault.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            if (message != "This plugin does not support raise()") {
                messages << message;
            }
        });
    makeModel();
    ui::MorvaleApp app(*model, true);
    QSignalSpy restart(&app, &ui::MorvaleApp::restartRequested);
    settle();
    EXPECT_EQ(app.trayIcon(), nullptr);
    EXPECT_TRUE(app.panelWindow()->isVisible());
    EXPECT_TRUE(app.panelWindow()->notice().contains("application menu"))
        << app.panelWindow()->notice();

    // It keeps watching: a tray host that comes later is taken up (by a fresh
    // start, as Qt looks for one only once per process).
    const FakeTrayHost host;
    EXPECT_TRUE(restart.wait(ui::TrayWatch::serviceGraceMs + 3000));
    qInstallMessageHandler(previous);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n');
}

}  // namespace
}  // namespace morvale::testing
