// SPDX-License-Identifier: GPL-3.0-or-later
// The command line end to end: the program started as the demo on the test's
// own session bus, and commands run against it as separate processes, as a
// key binding runs them, without a display.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

class CommandLineTest : public ::testing::Test {
protected:
    QProcess demo;

    void SetUp() override {
        if (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) ==
            "TellsWhenNoMorvaleRuns") {
            return;
        }
        demo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        demo.start(QStringLiteral(MORVALE_PROGRAM), {QStringLiteral("--demo")});
        ASSERT_TRUE(demo.waitForStarted());
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        const QDeadlineTimer deadline(20000);
        while (!bus->isServiceRegistered(busName) && !deadline.hasExpired()) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(bus->isServiceRegistered(busName)) << "the demo did not take its name";
    }

    void TearDown() override {
        if (demo.state() != QProcess::NotRunning) {
            demo.terminate();
            EXPECT_TRUE(demo.waitForFinished(10000));
            EXPECT_EQ(demo.exitCode(), 0);
        }
    }

    QJsonObject row(const QString& app) {
        const Outcome got = morvale({"get", app, "--json"});
        EXPECT_EQ(got.status, 0) << got;
        return QJsonDocument::fromJson(got.out.toUtf8()).object();
    }
};

TEST_F(CommandLineTest, ExitStatusesAndMatching) {
    // Matching and reading levels have their own tests: here, that their
    // answers reach the user with the right exit status.
    const struct {
        QStringList arguments;
        int status;
        const char* out;  // in standard output (0) or standard error (else)
    } cases[] = {
        {{"get", "Tunebox"}, 0, "Tunebox: 100%"},
        {{"get", "org.example.Chatter"}, 0, "Chatter: 40%"},
        {{"get", "org.example."}, 2, "\"org.example.\" could mean "},
        {{"get", "org.example."}, 2, "Tunebox (org.example.Tunebox)"},
        {{"get", "nowhere"}, 2, "no application is called \"nowhere\""},
        {{"get"}, 2, "usage: morvale get APP [--json]"},
        {{"get", "a", "b"}, 2, "usage:"},
        {{"list", "--loud"}, 2, "list takes no option --loud"},
        {{"set", "--json", "tunebox", "1"}, 2, "set takes no option --json"},
        {{"louder"}, 2, "there is no command \"louder\""},
        {{"set", "tunebox", "40"}, 2, "\"40\" is no volume"},
        {{"set", "nowhere", "40%"}, 2, "no application is called"},
        {{"boost", "31"}, 2, "\"31\" is no boost"},
        {{"--demo", "list"}, 2, "a command comes first"},
        {{"set", "webfox", "40%"}, 0, "Webfox: 40%"},
        {{"mute", "webfox"}, 0, "Webfox: muted"},
        {{"unmute", "webfox"}, 0, "Webfox: 40%"},
        {{"toggle-mute", "webfox"}, 0, "Webfox: muted"},
        {{"toggle-mute", "webfox"}, 0, "Webfox: 40%"},
        {{"output", "tunebox"}, 0, "Tunebox: System default"},
        {{"output", "tunebox", "head"}, 0, "Tunebox: Headphones"},
        {{"output", "tunebox"}, 0, "Tunebox: Headphones"},
        {{"output", "tunebox", "demo-speakers"}, 0, "Tunebox: Speakers"},
        {{"output", "tunebox", "nowhere"}, 2, "\"nowhere\" names no one output; there are: "},
        {{"output", "tunebox", "demo-"}, 2, "Headphones (demo-headphones)"},
        {{"output", "tunebox", "default"}, 0, "Tunebox: System default"},
        {{"output"}, 2, "usage: morvale output APP [DEVICE|default]"},
        {{"hide", "tune"}, 0, "Tunebox: hidden"},
        {{"show", "tune"}, 0, "Tunebox: shown"},
        {{"boost", "12"}, 0, "Boost: +12 dB, a call is active"},
        {{"boost"}, 0, "Boost: +12 dB, a call is active"},
        {{"set", "--help"}, 0, "morvale set APP LEVEL"},
        {{"--help"}, 0, "toggle-mute APP"},
        {{"--version"}, 0, "morvale "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome got = morvale(c.arguments);
        EXPECT_EQ(got.status, c.status) << got;
        EXPECT_TRUE((c.status == 0 ? got.out : got.err).contains(QString::fromUtf8(c.out))) << got;
    }
}

// Levels with a sign are steps, sent as such; the service stops them at the
// ends of the range (its own test goes through the rounding on the way).
TEST_F(CommandLineTest, StepsStopAtTheEndsOfTheRange) {
    const struct {
        const char* level;
        double volume;
    } steps[] = {
        {"100%", 1.0}, {"+5%", 1.0}, {"-5%", 0.95}, {"+0.05", 1.0}, {"7%", 0.07},
        {"-5%", 0.02}, {"-5%", 0.0}, {"-5%", 0.0},  {"+5%", 0.05},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.level);
        const Outcome got = morvale({"set", "Tunebox", step.level});
        ASSERT_EQ(got.status, 0) << got;
        const QJsonObject now = row("tunebox");
        EXPECT_DOUBLE_EQ(now["volume"].toDouble(), step.volume);
        EXPECT_EQ(now["muted"].toBool(), step.volume == 0.0);
    }
}

TEST_F(CommandLineTest, ListsAsTextAndAsJsonThatParses) {
    const Outcome text = morvale({"list"});
    ASSERT_EQ(text.status, 0) << text;
    EXPECT_TRUE(text.out.contains(QRegularExpression("40%  Chatter +org\\.example\\.Chatter")))
        << text;
    EXPECT_TRUE(
        text.out.contains(QRegularExpression("25%  Podnest +org\\.example\\.Podnest  not running")))
        << text;

    const Outcome json = morvale({"list", "--json"});
    ASSERT_EQ(json.status, 0) << json;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    ASSERT_TRUE(document.isArray());
    const QJsonArray rows = document.array();
    EXPECT_EQ(rows.size(), text.out.count('\n'));
    int callRows = 0;
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        for (const char* key : {"key", "name", "output"}) {
            EXPECT_TRUE(row[key].isString()) << key;
        }
        for (const char* key : {"muted", "playing", "running", "callRow", "hidden"}) {
            EXPECT_TRUE(row[key].isBool()) << key;
        }
        EXPECT_GE(row["volume"].toDouble(-1), 0.0);
        EXPECT_LE(row["volume"].toDouble(2), 1.0);
        callRows += row["callRow"].toBool() ? 1 : 0;
    }
    EXPECT_EQ(callRows, 1);

    const Outcome boost = morvale({"boost", "--json"});
    ASSERT_EQ(boost.status, 0) << boost;
    const QJsonObject state = QJsonDocument::fromJson(boost.out.toUtf8()).object();
    EXPECT_EQ(state["boost"].toDouble(-1), 6.0);
    EXPECT_EQ(state["callActive"].toBool(), true);
}

TEST_F(CommandLineTest, TellsWhenNoMorvaleRuns) {
    for (const char* command : {"list", "get", "boost"}) {
        SCOPED_TRACE(command);
        QStringList arguments{command};
        if (QString::fromLatin1(command) == "get") {
            arguments << "tunebox";
        }
        const Outcome got = morvale(arguments);
        EXPECT_EQ(got.status, 1) << got;
        EXPECT_TRUE(got.err.contains("Morvale is not running")) << got;
    }
}

}  // namespace
}  // namespace morvale::control
