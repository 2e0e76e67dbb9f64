// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control/CommandLine.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

#include "app/control/AppMatch.h"
#include "app/control/Arguments.h"
#include "app/control/ControlNames.h"
#include "model/VolumeRules.h"
#include "morvale1proxy.h"
#include "ui/Formatting.h"

namespace morvale::control {

namespace {

// A command that hangs on a running Morvale that does not answer would hang
// the key binding that ran it.
constexpr int kCallTimeoutMs = 5000;

void printOut(const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
}

void printError(const QString& text) {
    std::fprintf(stderr, "morvale: %s\n", qPrintable(text));
}

void printJson(const QJsonDocument& document) {
    std::fputs(document.toJson(QJsonDocument::Indented).constData(), stdout);
}

QString quoted(const QString& text) {
    return QStringLiteral("\"%1\"").arg(text);
}

// Text padded with spaces to width characters.
QString padded(const QString& text, qsizetype width) {
    return text.leftJustified(width, QLatin1Char(' '));
}

}  // namespace

std::span<const CommandLine::Command> CommandLine::commands() {
    static const Command table[] = {
        {"list", "", QT_TR_NOOP("List the applications with their volumes."), 0, 0, true,
         &CommandLine::list},
        {"get", "APP", QT_TR_NOOP("Show an application's volume."), 1, 1, true, &CommandLine::get},
        {"set", "APP LEVEL",
         QT_TR_NOOP("Set an application's volume: 40% or 0.4, or a step: +5% or -5%."), 2, 2, false,
         &CommandLine::set},
        {"mute", "APP", QT_TR_NOOP("Mute an application."), 1, 1, false, &CommandLine::mute},
        {"unmute", "APP", QT_TR_NOOP("Unmute an application, back to its volume before."), 1, 1,
         false, &CommandLine::unmute},
        {"toggle-mute", "APP", QT_TR_NOOP("Mute or unmute an application."), 1, 1, false,
         &CommandLine::toggleMute},
        {"boost", "[DB]", QT_TR_NOOP("Show the call boost, or set it in decibels (0 to 30)."), 0, 1,
         true, &CommandLine::boost},
        {"output", "APP [DEVICE|default]",
         QT_TR_NOOP("Show an application's output, or send it to a device (its name or uid, or "
                    "the start of one), or back to the default output."),
         1, 2, false, &CommandLine::output},
        {"hide", "APP", QT_TR_NOOP("Hide an application's row in the panel."), 1, 1, false,
         &CommandLine::hide},
        {"show", "APP", QT_TR_NOOP("Show a hidden application's row again."), 1, 1, false,
         &CommandLine::unhide},
    };
    return table;
}

const CommandLine::Command* CommandLine::find(const QString& name) {
    for (const Command& command : commands()) {
        if (name == QLatin1String(command.name)) {
            return &command;
        }
    }
    return nullptr;
}

QString CommandLine::synopsis(const Command& command) {
    QString text = QLatin1String(command.name);
    if (*command.operands != '\0') {
        text += QLatin1Char(' ') + QLatin1String(command.operands);
    }
    if (command.json) {
        text += QStringLiteral(" [--json]");
    }
    return text;
}

bool CommandLine::isCommand(const QStringList& arguments) {
    return arguments.size() > 1 && !arguments[1].startsWith(QLatin1Char('-'));
}

QString CommandLine::help() {
    QStringList lines{tr("Commands, which control the running Morvale:")};
    qsizetype width = 0;
    for (const Command& command : commands()) {
        width = std::max(width, synopsis(command).size());
    }
    for (const Command& command : commands()) {
        lines << QStringLiteral("  ") + padded(synopsis(command), width + 2) + tr(command.summary);
    }
    lines << tr("APP is an application's name or key, or the start of one, in any case.");
    return lines.join(QLatin1Char('\n'));
}

int CommandLine::run(const QStringList& arguments) {
    CommandLine line;
    return line.execute(arguments.mid(1));
}

CommandLine::CommandLine() = default;
CommandLine::~CommandLine() = default;

int CommandLine::execute(QStringList words) {
    const QString name = words.takeFirst();
    const Command* command = find(name);
    if (command == nullptr) {
        printError(tr("there is no command %1; morvale --help lists them").arg(quoted(name)));
        return usage;
    }
    // Options are words that start with "--", so that a step down ("-5%")
    // is an operand.
    QStringList operands;
    bool optionsEnded = false;
    for (const QString& word : std::as_const(words)) {
        if (optionsEnded || !word.startsWith(QStringLiteral("--"))) {
            operands << word;
        } else if (word == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (word == QStringLiteral("--json") && command->json) {
            json_ = true;
        } else if (word == QStringLiteral("--help")) {
            printOut(QStringLiteral("morvale ") + synopsis(*command) + QStringLiteral("\n  ") +
                     tr(command->summary));
            return done;
        } else {
            printError(tr("%1 takes no option %2").arg(name, word));
            return usage;
        }
    }
    if (operands.size() < command->minOperands || operands.size() > command->maxOperands) {
        printError(tr("usage: %1").arg(QStringLiteral("morvale ") + synopsis(*command)));
        return usage;
    }

    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        printError(
            tr("no session bus, so no Morvale to reach (%1)").arg(bus.lastError().message()));
        return failed;
    }
    registerTypes();
    proxy_ = std::make_unique<Morvale1Proxy>(busName, objectPath, bus);
    proxy_->setTimeout(kCallTimeoutMs);
    const int status = (this->*command->run)(operands);
    return status_ != done ? status_ : status;
}

void CommandLine::reportFailure(const QDBusError& error) {
    const QDBusError::ErrorType type = error.type();
    if (type == QDBusError::ServiceUnknown ||
        error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        printError(tr("Morvale is not running"));
    } else if (type == QDBusError::NoReply || type == QDBusError::Timeout ||
               type == QDBusError::TimedOut) {
        printError(tr("Morvale does not answer"));
    } else {
        printError(error.message());
    }
    status_ = failed;
}

std::optional<QList<QVariantMap>> CommandLine::rows() {
    QDBusPendingReply<QList<QVariantMap>> reply = proxy_->ListApplications();
    if (!succeeded(reply)) {
        return std::nullopt;
    }
    return reply.value();
}

std::optional<QVariantMap> CommandLine::resolve(const QString& query) {
    const std::optional<QList<QVariantMap>> all = rows();
    if (!all) {
        return std::nullopt;
    }
    QList<AppName> names;
    for (const QVariantMap& row : *all) {
        names.append({row.value(row::key).toString(), row.value(row::name).toString()});
    }
    const std::vector<qsizetype> matches = matchApplication(names, query);
    if (matches.size() == 1) {
        return all->at(matches.front());
    }
    if (matches.empty()) {
        printError(tr("no application is called %1; morvale list shows them").arg(quoted(query)));
    } else {
        QStringList candidates;
        for (const qsizetype index : matches) {
            candidates << QStringLiteral("%1 (%2)").arg(names[index].name, names[index].key);
        }
        printError(
            tr("%1 could mean %2").arg(quoted(query), candidates.join(QStringLiteral(", "))));
    }
    status_ = usage;
    return std::nullopt;
}

void CommandLine::print(const QVariantMap& row) {
    if (json_) {
        printJson(QJsonDocument(QJsonObject::fromVariantMap(row)));
        return;
    }
    const QString name = row.value(row::name).toString();
    if (row.value(row::muted).toBool()) {
        printOut(tr("%1: muted").arg(name));
    } else {
        printOut(
            QStringLiteral("%1: %2").arg(name, ui::percentText(row.value(row::volume).toDouble())));
    }
}

int CommandLine::show(const QString& key) {
    const std::optional<QList<QVariantMap>> all = rows();
    if (!all) {
        return failed;
    }
    for (const QVariantMap& row : *all) {
        if (row.value(row::key).toString() == key) {
            print(row);
            return done;
        }
    }
    return done;  // changed, but no longer listed: nothing to show
}

int CommandLine::list(const QStringList&) {
    const std::optional<QList<QVariantMap>> all = rows();
    if (!all) {
        return failed;
    }
    if (json_) {
        QJsonArray array;
        for (const QVariantMap& row : *all) {
            array.append(QJsonObject::fromVariantMap(row));
        }
        printJson(QJsonDocument(array));
        return done;
    }
    // Columns: the volume, the name, the key and what the row's state is.
    qsizetype nameWidth = 0;
    qsizetype keyWidth = 0;
    for (const QVariantMap& row : *all) {
        nameWidth = std::max(nameWidth, row.value(row::name).toString().size());
        keyWidth = std::max(keyWidth, row.value(row::key).toString().size());
    }
    for (const QVariantMap& row : *all) {
        QStringList state;
        if (row.value(row::muted).toBool()) {
            state << tr("muted");
        }
        if (row.value(row::playing).toBool()) {
            state << tr("playing");
        }
        if (!row.value(row::running).toBool() && !row.value(row::callRow).toBool()) {
            state << tr("not running");
        }
        QString line = ui::percentText(row.value(row::volume).toDouble()).rightJustified(5) +
                       QStringLiteral("  ") + padded(row.value(row::name).toString(), nameWidth) +
                       QStringLiteral("  ") + padded(row.value(row::key).toString(), keyWidth) +
                       QStringLiteral("  ") + state.join(QStringLiteral(", "));
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
        printOut(line);
    }
    return done;
}

int CommandLine::get(const QStringList& operands) {
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    print(*row);
    return done;
}

int CommandLine::set(const QStringList& operands) {
    const std::optional<Level> level = parseLevel(operands[1]);
    if (!level) {
        printError(tr("%1 is no volume: write 40% or 0.4, or a step: +5% or -5%")
                       .arg(quoted(operands[1])));
        return usage;
    }
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    const QString key = row->value(row::key).toString();
    if (level->relative) {
        QDBusPendingReply<double> reply = proxy_->ChangeVolume(key, level->value);
        if (!succeeded(reply)) {
            return failed;
        }
    } else {
        QDBusPendingReply<> reply = proxy_->SetVolume(key, level->value);
        if (!succeeded(reply)) {
            return failed;
        }
    }
    return show(key);
}

int CommandLine::mute(const QStringList& operands) {
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    const QString key = row->value(row::key).toString();
    QDBusPendingReply<> reply = proxy_->Mute(key);
    return succeeded(reply) ? show(key) : failed;
}

int CommandLine::unmute(const QStringList& operands) {
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    const QString key = row->value(row::key).toString();
    QDBusPendingReply<> reply = proxy_->Unmute(key);
    return succeeded(reply) ? show(key) : failed;
}

int CommandLine::toggleMute(const QStringList& operands) {
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    const QString key = row->value(row::key).toString();
    QDBusPendingReply<bool> reply = proxy_->ToggleMute(key);
    return succeeded(reply) ? show(key) : failed;
}

int CommandLine::boost(const QStringList& operands) {
    if (!operands.isEmpty()) {
        const std::optional<double> decibels = parseBoost(operands[0], VolumeRules::kMaxBoostDB);
        if (!decibels) {
            printError(tr("%1 is no boost: write decibels from 0 to %2")
                           .arg(quoted(operands[0]))
                           .arg(VolumeRules::kMaxBoostDB));
            return usage;
        }
        QDBusPendingReply<> reply = proxy_->SetBoost(*decibels);
        if (!succeeded(reply)) {
            return failed;
        }
    }
    // Both properties in one call.
    QDBusMessage get = QDBusMessage::createMethodCall(
        busName, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    get << interfaceName;
    QDBusPendingReply<QVariantMap> reply = proxy_->connection().asyncCall(get, kCallTimeoutMs);
    if (!succeeded(reply)) {
        return failed;
    }
    const double decibels = reply.value().value(QStringLiteral("Boost")).toDouble();
    const bool callActive = reply.value().value(QStringLiteral("CallActive")).toBool();
    if (json_) {
        printJson(QJsonDocument(QJsonObject{{QStringLiteral("boost"), decibels},
                                            {QStringLiteral("callActive"), callActive}}));
    } else if (callActive) {
        printOut(tr("Boost: %1, a call is active").arg(ui::boostText(decibels)));
    } else {
        printOut(tr("Boost: %1").arg(ui::boostText(decibels)));
    }
    return done;
}

int CommandLine::output(const QStringList& operands) {
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    const QString key = row->value(row::key).toString();
    QDBusPendingReply<QList<QVariantMap>> listed = proxy_->ListOutputs();
    if (!succeeded(listed)) {
        return failed;
    }
    QList<AppName> devices;
    for (const QVariantMap& device : listed.value()) {
        devices.append(
            {device.value(outputKey::uid).toString(), device.value(outputKey::name).toString()});
    }
    const auto nameOf = [&](const QString& uid) {
        if (uid.isEmpty()) {
            return tr("System default");
        }
        for (const AppName& device : std::as_const(devices)) {
            if (device.key == uid) {
                return device.name;
            }
        }
        //: A chosen output that is not connected now; %1 is its uid.
        return tr("%1 (absent)").arg(uid);
    };
    QString uid = row->value(row::output).toString();
    if (operands.size() == 2) {
        uid.clear();
        if (operands[1] != QStringLiteral("default")) {
            // Devices are named as applications are: a whole name or uid, or
            // a start only one of them has.
            const std::vector<qsizetype> matches = matchApplication(devices, operands[1]);
            if (matches.size() != 1) {
                QStringList known;
                for (const AppName& device : std::as_const(devices)) {
                    known << QStringLiteral("%1 (%2)").arg(device.name, device.key);
                }
                printError(tr("%1 names no one output; there are: %2")
                               .arg(quoted(operands[1]), known.isEmpty()
                                                             ? tr("none")
                                                             : known.join(QStringLiteral(", "))));
                return usage;
            }
            uid = devices[matches.front()].key;
        }
        QDBusPendingReply<> reply = proxy_->SetOutput(key, uid);
        if (!succeeded(reply)) {
            return failed;
        }
    }
    printOut(QStringLiteral("%1: %2").arg(row->value(row::name).toString(), nameOf(uid)));
    return done;
}

int CommandLine::hide(const QStringList& operands) {
    return setHidden(operands, true);
}

int CommandLine::unhide(const QStringList& operands) {
    return setHidden(operands, false);
}

int CommandLine::setHidden(const QStringList& operands, bool hidden) {
    const std::optional<QVariantMap> row = resolve(operands[0]);
    if (!row) {
        return status_;
    }
    QDBusPendingReply<> reply = proxy_->SetHidden(row->value(row::key).toString(), hidden);
    if (!succeeded(reply)) {
        return failed;
    }
    printOut((hidden ? tr("%1: hidden") : tr("%1: shown")).arg(row->value(row::name).toString()));
    return done;
}

}  // namespace morvale::control
