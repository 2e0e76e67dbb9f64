// SPDX-License-Identifier: GPL-3.0-or-later
// The service on a session bus of the test's own, called from a second
// connection, as another program would: every method, every refusal, the
// Changed signal, and the name taken over from another instance.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTest>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "app/control/ControlNames.h"
#include "app/control/ControlService.h"
#include "model/Settings.h"
#include "ui/UiFixture.h"

namespace morvale::testing {
namespace {

using control::ControlService;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
const std::string podnest = "org.example.Podnest";

// Counts a bus signal that reaches it.
class SignalCounter final : public QObject {
    Q_OBJECT
public:
    int received = 0;
public slots:
    void count() { ++received; }
};

// Waits for a pending call while the event loop runs: the service answers on
// this same thread.
QDBusMessage await(const QDBusPendingCall& pending) {
    const QDeadlineTimer deadline(5000);
    while (!pending.isFinished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return pending.reply();
}

class ControlServiceTest : public UiFixture {
protected:
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    std::unique_ptr<ControlService> service;

    ControlServiceTest() {
        control::registerTypes();
        addApp(101, tunebox, "Tunebox", true);
        addApp(102, "org.example.Webfox", "Webfox", false);
        // A closed application, listed for its remembered volume.
        sim.settings.standardStore.values[std::string(Settings::kVolumes)] =
            PlistValue::Dict{{podnest, 0.25}};
    }

    void serve() {
        makeModel();
        service = std::make_unique<ControlService>(*model);
        ASSERT_EQ(service->publish(QDBusConnection::sessionBus()), QString());
    }

    QDBusPendingCall send(const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(control::busName, control::objectPath,
                                                              control::interfaceName, method);
        message.setArguments(arguments);
        return client.asyncCall(message);
    }

    QDBusMessage call(const QString& method, const QVariantList& arguments = {}) {
        return await(send(method, arguments));
    }

    QVariant property(const QString& name) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            control::busName, control::objectPath,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        message << control::interfaceName << name;
        const QDBusMessage reply = await(client.asyncCall(message));
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
};

TEST_F(ControlServiceTest, ListsTheRowsAsThePanelShowsThem) {
    serve();
    model->setHidden(tunebox, true);
    model->setOutput("org.example.Webfox", "speakers");
    model->toggleMute("org.example.Webfox");
    // In the panel's order, each row with its state as the panel shows it.
    QStringList listed;
    const QVariant reply = call("ListApplications").arguments().value(0);
    for (const QVariantMap& r : qdbus_cast<QList<QVariantMap>>(reply)) {
        QStringList fields;
        for (const char* field : {"key", "name", "volume", "muted", "playing", "running", "callRow",
                                  "output", "hidden"}) {
            fields << r[field].toString();
        }
        listed << fields.join(' ');
    }
    EXPECT_EQ(listed.join('\n'),
              "facetime Calls 1 false false false true  false\n"
              "org.example.Tunebox Tunebox 1 false true true false  true\n"
              "org.example.Podnest org.example.Podnest 0.25 false false false false  false\n"
              "org.example.Webfox Webfox 0 true false true false speakers false");
}

// One application through every method, in order, each checked against the
// model: what the method answers and the volume it leaves.
TEST_F(ControlServiceTest, EveryMethodGoesThroughTheModel) {
    serve();
    const QString key = QString::fromStdString(tunebox);
    // An invalid answer: the method answers nothing to check.
    // clang-format off
    const struct { const char* method; QVariantList arguments; QVariant answer; double volume; }
        steps[] = {
        {"SetVolume", {key, 0.4}, {}, 0.4},
        {"ChangeVolume", {key, 0.05}, 0.45, 0.45},
        {"ChangeVolume", {key, -0.1}, 0.35, 0.35},
        {"Mute", {key}, {}, 0.0},
        {"Mute", {key}, {}, 0.0},     // stays muted
        {"Unmute", {key}, {}, 0.35},  // back to the volume before
        {"Unmute", {key}, {}, 0.35},  // not muted: unchanged
        {"ToggleMute", {key}, true, 0.0},
        {"ToggleMute", {key}, false, 0.35},
        {"ChangeVolume", {key, 1.0}, 1.0, 1.0},  // stops at the top
        {"SetVolume", {key, 0.2}, {}, 0.2},
        {"ChangeVolume", {key, -0.05}, 0.15, 0.15},
        {"ChangeVolume", {key, -0.05}, 0.1, 0.1},
        {"ChangeVolume", {key, -0.05}, 0.05, 0.05},
        // Exactly silent, hence muted, though 0.2 - 4 * 0.05 in binary
        // fractions is a little above 0.
        {"ChangeVolume", {key, -0.05}, 0.0, 0.0},
        {"ChangeVolume", {key, -0.05}, 0.0, 0.0},  // stops at the bottom
        {"SetVolume", {key, 1.0}, {}, 1.0},
        {"SetVolume", {QString::fromStdString(podnest), 0.5}, {}, 1.0},  // a closed one
    };
    // clang-format on
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.method) + " " +
                     step.arguments.value(1).toString().toStdString());
        const QDBusMessage reply = call(QString::fromLatin1(step.method), step.arguments);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage();
        if (step.answer.isValid()) {
            EXPECT_EQ(reply.arguments().value(0), step.answer);
        }
        EXPECT_EQ(model->volume(tunebox), step.volume);
    }
    EXPECT_EQ(model->volume(podnest), 0.5);

    EXPECT_EQ(call("SetBoost", {12.5}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ((QVariantList{model->duckBoostDB(), property("Boost"), property("MaxBoost")}),
              (QVariantList{12.5, 12.5, 30.0}));
}

// Every refusal: its error, a message that names what was wrong, and no change
// at all, not even a write of the settings.
TEST_F(ControlServiceTest, BadArgumentsAreRefusedAndChangeNothing) {
    serve();
    const QString key = QString::fromStdString(tunebox);
    call("SetVolume", {key, 0.6});
    const QString unknown = QStringLiteral("org.example.Nowhere");
    const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const QString missing = control::unknownApplicationError;
    // clang-format off
    const struct { const char* method; QVariantList arguments; QString error; const char* message; }
        cases[] = {
        {"SetVolume", {key, nan}, invalid, "volume nan is not within 0 to 1"},
        {"SetVolume", {key, -0.01}, invalid, "volume -0.01 is not within 0 to 1"},
        {"SetVolume", {key, 1.01}, invalid, "volume 1.01 is not within 0 to 1"},
        {"SetVolume", {unknown, 0.5}, missing, "no application has the key \"org.example.Nowhere"},
        {"SetVolume", {QString(), 0.5}, missing, "no application has the key \"\""},
        {"ChangeVolume", {key, nan}, invalid, "step nan is not within -1 to 1"},
        {"ChangeVolume", {key, -infinity}, invalid, "step -inf is not within -1 to 1"},
        {"ChangeVolume", {key, 1.5}, invalid, "step 1.5 is not within -1 to 1"},
        {"ChangeVolume", {unknown, 0.05}, missing, "org.example.Nowhere"},
        {"Mute", {unknown}, missing, "org.example.Nowhere"},
        {"Unmute", {unknown}, missing, "org.example.Nowhere"},
        {"ToggleMute", {unknown}, missing, "org.example.Nowhere"},
        {"SetBoost", {-1.0}, invalid, "boost -1 dB is not within 0 to 30 dB"},
        {"SetBoost", {30.5}, invalid, "boost 30.5 dB is not within 0 to 30 dB"},
        {"SetBoost", {nan}, invalid, "boost nan dB"},
        {"SetOutput", {key, "nowhere"}, invalid, "no output device has the uid \"nowhere\""},
        {"SetOutput", {unknown, "speakers"}, missing, "org.example.Nowhere"},
        {"SetHidden", {unknown, true}, missing, "org.example.Nowhere"},
    };
    // clang-format on
    const Volumes volumes = model->volumes();
    const double boost = model->duckBoostDB();
    const int writes = sim.settings.standardStore.writes;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.message);
        const QDBusMessage reply = call(QString::fromLatin1(c.method), c.arguments);
        ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), c.error);
        EXPECT_TRUE(reply.errorMessage().contains(QString::fromUtf8(c.message)))
            << reply.errorMessage();
        EXPECT_EQ(model->volumes(), volumes);
        EXPECT_EQ(model->duckBoostDB(), boost);
        EXPECT_EQ(sim.settings.standardStore.writes, writes);
    }
}

TEST_F(ControlServiceTest, ChangedComesOncePerBurstAndNotWhenNothingChanged) {
    const AudioObjectID callStream = addCallStream(200, false);
    serve();
    SignalCounter changed;
    ASSERT_TRUE(client.connect(control::busName, control::objectPath, control::interfaceName,
                               QStringLiteral("Changed"), &changed, SLOT(count())));
    const auto quiet = [] { QTest::qWait(ControlService::kChangeDelayMs * 2); };

    // A burst, as a script or a held key makes one: one signal.
    std::vector<QDBusPendingCall> burst;
    for (int i = 1; i <= 30; ++i) {
        burst.push_back(send("SetVolume", {QString::fromStdString(tunebox), i / 100.0}));
    }
    for (const QDBusPendingCall& pending : burst) {
        EXPECT_EQ(await(pending).type(), QDBusMessage::ReplyMessage);
    }
    quiet();
    EXPECT_EQ(changed.received, 1);

    // Refreshes that find what there was, and a volume set to what it is:
    // the model announces them, but nothing shown changed.
    refresh();
    refresh();
    call("SetVolume", {QString::fromStdString(tunebox), 0.3});
    quiet();
    EXPECT_EQ(changed.received, 1);

    // An application that starts, the boost, a mute, a call: one each.
    const std::function<void()> changes[] = {
        [&] { addApp(103, "org.example.Chatter", "Chatter", true); },
        [&] { call("SetBoost", {9.0}); }, [&] { call("Mute", {QString::fromStdString(tunebox)}); },
        [&] { sim.audio.setProcessPlaying(callStream, true); }};
    EXPECT_EQ(property("CallActive"), QVariant(false));
    int expected = changed.received;
    for (const auto& change : changes) {
        change();
        refresh();
        quiet();
        EXPECT_EQ(changed.received, ++expected);
    }
    EXPECT_EQ(property("CallActive"), QVariant(true));
}

// The demo and the desktop's Morvale both want the name, and a restarted
// Morvale wants it before the one it replaces has ended: the second in line is
// told, and has the name once the first lets go of it.
TEST_F(ControlServiceTest, TheNameGoesToTheNextInLine) {
    serve();
    QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
    {
        ControlService second(*model);
        const QString told = second.publish(other);
        EXPECT_TRUE(told.contains("is taken")) << told;
        const auto owner = [&] {
            return client.interface()->serviceOwner(control::busName).value();
        };
        EXPECT_EQ(owner(), QDBusConnection::sessionBus().baseService());

        service.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return owner() == other.baseService(); }, 5000));
        EXPECT_EQ(call("SetVolume", {QString::fromStdString(tunebox), 0.25}).type(),
                  QDBusMessage::ReplyMessage);
        EXPECT_EQ(model->volume(tunebox), 0.25);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
}

}  // namespace
}  // namespace morvale::testing

#include "ControlServiceTest.moc"
