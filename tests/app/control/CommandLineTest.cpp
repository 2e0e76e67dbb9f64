// SPDX-License-Identifier: GPL-3.0-or-later
// The command line end to end: the program started as the demo on the test's
// own session bus, and commands run against it as separate processes, as a
// key binding runs them, without a display.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <ostream>

#include "app/control/ControlNames.h"

namespace morvale::control {
namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

std::ostream& operator<<(std::ostream& stream, const Outcome& outcome) {
    return stream << "status " << outcome.status << ", out: " << outcome.out.toStdString()
                  << ", err: " << outcome.err.toStdString();
}

// What a shortcut or a script has: the session bus, but no display.
QProcessEnvironment commandEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    return environment;
}

Outcome morvale(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(commandEnvironment());
    process.start(QStringLiteral(MORVALE_PROGRAM), arguments);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(CommandLineTest, ExitStatusesAndMatching) {
    QProcess demo;
    demo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    demo.start(QStringLiteral(MORVALE_PROGRAM), {QStringLiteral("--demo")});
    ASSERT_TRUE(demo.waitForStarted());
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QDeadlineTimer deadline(20000);
    while (!bus->isServiceRegistered(busName) && !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    ASSERT_TRUE(bus->isServiceRegistered(busName)) << "the demo did not take its name";

    // Matching and reading levels have their own tests: here, that their
    // answers reach the user with the right exit status.
    // What the command writes to its standard output (status 0) or error (else).
    // clang-format off
    const struct { QStringList arguments; int status; const char* out; } cases[] = {
        {{"list"}, 0, "\n  40%  Chatter  org.example.Chatter\n"},  // in columns
        {{"list"}, 0, "  25%  Podnest  org.example.Podnest  not running\n"},
        {{"list", "--json"}, 0, "\"key\": \"org.example.Podnest\""},
        {{"get", "Tunebox"}, 0, "Tunebox: 100%"},
        {{"get", "org.example.Chatter"}, 0, "Chatter: 40%"},
        {{"get", "org.example."}, 2, "\"org.example.\" could mean "},
        {{"get", "org.example."}, 2, "Tunebox (org.example.Tunebox)"},
        {{"get", "nowhere"}, 2, "no application is called \"nowhere\""},
        {{"get"}, 2, "usage: morvale get APP [--json]"},
        {{"list", "--loud"}, 2, "list takes no option --loud"},
        {{"set", "--json", "tunebox", "1"}, 2, "set takes no option --json"},
        {{"louder"}, 2, "there is no command \"louder\""},
        {{"set", "tunebox", "40"}, 2, "\"40\" is no volume"},
        {{"boost", "31"}, 2, "\"31\" is no boost"},
        {{"--demo", "list"}, 2, "a command comes first"},
        // Levels with a sign are steps, which the service stops at the ends.
        {{"set", "tunebox", "+5%"}, 0, "Tunebox: 100%"},
        {{"set", "tunebox", "-5%"}, 0, "Tunebox: 95%"},
        {{"set", "webfox", "40%"}, 0, "Webfox: 40%"},
        {{"mute", "webfox"}, 0, "Webfox: muted"},
        {{"unmute", "webfox"}, 0, "Webfox: 40%"},
        {{"toggle-mute", "webfox"}, 0, "Webfox: muted"},
        {{"toggle-mute", "webfox"}, 0, "Webfox: 40%"},
        {{"output", "tunebox"}, 0, "Tunebox: System default"},
        {{"output", "tunebox", "head"}, 0, "Tunebox: Headphones"},
        {{"output", "tunebox"}, 0, "Tunebox: Headphones"},
        {{"output", "tunebox", "demo-speakers"}, 0, "Tunebox: Speakers"},
        {{"output", "tunebox", "demo-"}, 2, "Headphones (demo-headphones)"},
        {{"output", "tunebox", "default"}, 0, "Tunebox: System default"},
        {{"get", "tunebox", "--json"}, 0, "\"output\": \"\""},
        {{"output"}, 2, "usage: morvale output APP [DEVICE|default]"},
        {{"hide", "tune"}, 0, "Tunebox: hidden"},
        {{"get", "tunebox", "--json"}, 0, "\"hidden\": true"},
        {{"show", "tune"}, 0, "Tunebox: shown"},
        {{"get", "tunebox", "--json"}, 0, "\"hidden\": false"},
        {{"boost", "12"}, 0, "Boost: +12 dB, a call is active"},
        {{"boost"}, 0, "Boost: +12 dB, a call is active"},
        {{"boost", "--json"}, 0, "\"callActive\": true"},
        {{"set", "--help"}, 0, "morvale set APP LEVEL"},
        {{"--help"}, 0, "toggle-mute APP"},
        {{"--version"}, 0, "morvale "},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome got = morvale(c.arguments);
        EXPECT_EQ(got.status, c.status) << got;
        EXPECT_TRUE((c.status == 0 ? got.out : got.err).contains(QString::fromUtf8(c.out))) << got;
    }
    // Asked to end, as the session ends it, the demo ends cleanly.
    demo.terminate();
    EXPECT_TRUE(demo.waitForFinished(10000));
    EXPECT_EQ(demo.exitCode(), 0);
}

TEST(CommandLineWithoutMorvale, TellsThatNoneRuns) {
    for (const QStringList& command : {QStringList{"list"}, {"get", "tunebox"}, {"boost"}}) {
        const Outcome got = morvale(command);
        EXPECT_EQ(got.status, 1) << got;
        EXPECT_TRUE(got.err.contains("Morvale is not running")) << got;
    }
}

}  // namespace
}  // namespace morvale::control
