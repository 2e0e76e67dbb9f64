// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control/ControlService.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/control/ControlNames.h"
#include "catalog/Grouping.h"
#include "model/Model.h"
#include "model/VolumeRules.h"
#include "morvale1adaptor.h"

namespace morvale::control {

namespace {

// Relative steps land on whole hundredths of a percent, so that steps down
// reach exactly 0 (muted) rather than a remainder of rounding that shows 0%
// but is not muted.
double roundedVolume(double volume) {
    return std::round(volume * 10000.0) / 10000.0;
}

}  // namespace

ControlService::ControlService(Model& model, QObject* parent)
    : QObject(parent), model_(model), changeTimer_(new QTimer(this)) {
    registerTypes();
    new Morvale1Adaptor(this);  // owned by this object, which it serves
    shownRows_ = ListApplications();
    shownBoost_ = boost();
    shownCallActive_ = callActive();
    // The model announces every change before it makes it (a refresh too,
    // even when nothing differs): a change starts the wait, changes within it
    // join it, and its end compares what there is to what was shown.
    changeTimer_->setSingleShot(true);
    changeTimer_->setInterval(kChangeDelayMs);
    connect(changeTimer_, &QTimer::timeout, this, &ControlService::sendIfChanged);
    subscription_ = model_.objectWillChange().subscribe([this] {
        if (!changeTimer_->isActive()) {
            changeTimer_->start();
        }
    });
}

ControlService::~ControlService() {
    if (published_) {
        published_->unregisterService(busName);
        published_->unregisterObject(objectPath);
    }
}

QString ControlService::publish(const QDBusConnection& connection) {
    if (!connection.isConnected()) {
        return tr("no session bus (%1)").arg(connection.lastError().message());
    }
    QDBusConnection bus = connection;
    if (!bus.registerObject(objectPath, this)) {
        return tr("could not serve %1 on the session bus").arg(objectPath);
    }
    // Queued behind an owner, the name comes to this instance when that one
    // ends: after a restart, or for a demo started beside the desktop's
    // Morvale.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(busName, QDBusConnectionInterface::QueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        bus.unregisterObject(objectPath);
        return tr("could not take %1 on the session bus (%2)")
            .arg(busName, reply.error().message());
    }
    published_ = bus;
    if (reply.value() == QDBusConnectionInterface::ServiceQueued) {
        return tr("%1 is taken on the session bus, by another Morvale; commands reach this one "
                  "once that one ends")
            .arg(busName);
    }
    return {};
}

QList<QVariantMap> ControlService::ListApplications() const {
    QList<QVariantMap> rows;
    for (const AppEntry& entry : model_.entries()) {
        const double volume = model_.volume(entry.id);
        rows.append(QVariantMap{
            {row::key, QString::fromStdString(entry.id)},
            {row::name, QString::fromStdString(entry.name)},
            {row::volume, volume},
            {row::muted, volume == 0.0},
            {row::playing, entry.isPlaying},
            {row::running, entry.isRunning()},
            {row::callRow, entry.id == Grouping::callRowKey},
            {row::output, QString::fromStdString(model_.chosenOutput(entry.id).value_or(""))},
            {row::hidden, model_.isHidden(entry.id)},
        });
    }
    return rows;
}

void ControlService::SetVolume(const QString& key, double volume) {
    // Negated so that NaN fails too.
    if (!(volume >= 0.0 && volume <= 1.0)) {
        refuse(QDBusError::errorString(QDBusError::InvalidArgs),
               tr("the volume %1 is not within 0 to 1").arg(volume));
        return;
    }
    if (const auto id = knownKey(key)) {
        model_.setVolume(*id, volume);
    }
}

double ControlService::ChangeVolume(const QString& key, double step) {
    if (!(step >= -1.0 && step <= 1.0)) {
        refuse(QDBusError::errorString(QDBusError::InvalidArgs),
               tr("the step %1 is not within -1 to 1").arg(step));
        return 0.0;
    }
    const auto id = knownKey(key);
    if (!id) {
        return 0.0;
    }
    model_.setVolume(*id, roundedVolume(std::clamp(model_.volume(*id) + step, 0.0, 1.0)));
    return model_.volume(*id);
}

void ControlService::Mute(const QString& key) {
    if (const auto id = knownKey(key); id && model_.volume(*id) > 0.0) {
        model_.toggleMute(*id);
    }
}

void ControlService::Unmute(const QString& key) {
    if (const auto id = knownKey(key); id && model_.volume(*id) == 0.0) {
        model_.toggleMute(*id);
    }
}

bool ControlService::ToggleMute(const QString& key) {
    const auto id = knownKey(key);
    if (!id) {
        return false;
    }
    model_.toggleMute(*id);
    return model_.volume(*id) == 0.0;
}

void ControlService::SetBoost(double decibels) {
    if (!(decibels >= 0.0 && decibels <= VolumeRules::kMaxBoostDB)) {
        refuse(QDBusError::errorString(QDBusError::InvalidArgs),
               tr("the boost %1 dB is not within 0 to %2 dB")
                   .arg(decibels)
                   .arg(VolumeRules::kMaxBoostDB));
        return;
    }
    model_.setDuckBoost(decibels);
}

QList<QVariantMap> ControlService::ListOutputs() const {
    QList<QVariantMap> outputs;
    for (const Model::OutputDevice& device : model_.outputDevices()) {
        outputs.append(QVariantMap{{outputKey::uid, QString::fromStdString(device.uid)},
                                   {outputKey::name, QString::fromStdString(device.name)}});
    }
    return outputs;
}

void ControlService::SetOutput(const QString& key, const QString& uid) {
    std::optional<std::string> device;
    if (!uid.isEmpty()) {
        const auto& devices = model_.outputDevices();
        const bool present = std::any_of(devices.begin(), devices.end(), [&](const auto& d) {
            return QString::fromStdString(d.uid) == uid;
        });
        if (!present) {
            refuse(QDBusError::errorString(QDBusError::InvalidArgs),
                   tr("no output device has the uid \"%1\"").arg(uid));
            return;
        }
        device = uid.toStdString();
    }
    if (const auto id = knownKey(key)) {
        model_.setOutput(*id, device);
    }
}

void ControlService::SetHidden(const QString& key, bool hidden) {
    if (const auto id = knownKey(key)) {
        model_.setHidden(*id, hidden);
    }
}

double ControlService::boost() const {
    return model_.appliedBoostDB();
}

double ControlService::maxBoost() const {
    return VolumeRules::kMaxBoostDB;
}

bool ControlService::callActive() const {
    return model_.callActive();
}

std::optional<std::string> ControlService::knownKey(const QString& key) {
    std::string id = key.toStdString();
    if (model_.volumes().contains(id)) {
        return id;
    }
    for (const AppEntry& entry : model_.entries()) {
        if (entry.id == id) {
            return id;
        }
    }
    refuse(unknownApplicationError, tr("no application has the key \"%1\"").arg(key));
    return std::nullopt;
}

void ControlService::refuse(const QString& errorName, const QString& message) {
    if (calledFromDBus()) {
        sendErrorReply(errorName, message);
    }
}

void ControlService::sendIfChanged() {
    QList<QVariantMap> rows = ListApplications();
    const double boostNow = boost();
    const bool callNow = callActive();
    if (rows == shownRows_ && boostNow == shownBoost_ && callNow == shownCallActive_) {
        return;
    }
    shownRows_ = std::move(rows);
    shownBoost_ = boostNow;
    shownCallActive_ = callNow;
    emit Changed();
}

}  // namespace morvale::control
