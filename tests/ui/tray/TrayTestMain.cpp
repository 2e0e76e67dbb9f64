// SPDX-License-Identifier: GPL-3.0-or-later
// The tray tests run in a desktop session of their own: a runtime folder, a
// session bus with nothing on it (no service is started on demand) and,
// unless asked to run on Qt's offscreen platform, an X display (Xvfb) with no
// window manager and no tray (Qt's tray icon speaks D-Bus to tray hosts only
// on a desktop platform). Both are started before Qt first looks for a tray,
// and hold no tray until a test makes one.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>

namespace {

// Starts a server that prints where to reach it (the bus its address, Xvfb
// its display's number) once it is ready, and returns that line, or nothing
// if none comes within ten seconds. The server ends with the test process,
// however that ends.
QByteArray startAndRead(QProcess& server, const QString& program, const QStringList& arguments) {
    server.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    server.setStandardErrorFile(QProcess::nullDevice());  // its chatter would mix with the tests'
    server.start(program, arguments);
    while (!server.canReadLine() && server.waitForReadyRead(10000)) {
    }
    return server.readLine().trimmed();
}

}  // namespace

int main(int argc, char** argv) {
    const QTemporaryDir folder(QDir::tempPath() + "/morvale-desktop-XXXXXX");
    QProcess bus, display;
    QFile config(folder.filePath("bus.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(
        "<busconfig><type>session</type><listen>unix:path=" + folder.filePath("bus").toUtf8() +
        "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
        "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
        "own=\"*\"/></policy></busconfig>\n");
    config.close();
    qputenv("XDG_RUNTIME_DIR", folder.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", MORVALE_TRAY_TEST_PLATFORM);
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            startAndRead(bus, "dbus-daemon",
                         {"--nofork", "--print-address=1", "--config-file=" + config.fileName()}));
    if (qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty()) {
        std::fprintf(stderr, "the session bus (dbus-daemon) did not start\n");
        return 1;
    }
#ifdef MORVALE_TRAY_TEST_ATSPI
    // Qt's accessibility bridge on, speaking to the test's bus as if it were
    // the accessibility bus.
    qputenv("AT_SPI_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
#endif
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen") {
        qputenv("DISPLAY", ":" + startAndRead(display, "Xvfb",
                                              {"-displayfd", "1", "-nolisten", "tcp", "-screen",
                                               "0", "1280x800x24"}));
        if (qgetenv("DISPLAY") == ":") {
            std::fprintf(stderr, "no X display (Xvfb) could be started\n");
            return 1;
        }
    }
    int result = 1;
    {
        // Qt lets go of the display and the bus before they end, or its
        // connections to them are left open at exit.
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    for (QProcess* server : {&display, &bus}) {
        server->kill();
        server->waitForFinished();
    }
    return result;
}
