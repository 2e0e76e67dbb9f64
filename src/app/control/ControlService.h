// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QVariantMap>
#include <optional>
#include <string>

#include "model/WillChange.h"

class QTimer;

namespace morvale {
class Model;
}

namespace morvale::control {

// Morvale's service on the session bus (interface io.github.morvale.Morvale1,
// see data/dbus/io.github.morvale.Morvale1.xml; the adaptor generated from it
// calls the methods below). Every method runs on the main thread and goes
// through the model's own operations, as the panel's controls do, so a change
// is saved, applied and shown in the panel alike. A bad argument gets an error
// reply and changes nothing.
class ControlService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(double Boost READ boost)
    Q_PROPERTY(double MaxBoost READ maxBoost CONSTANT)
    Q_PROPERTY(bool CallActive READ callActive)
public:
    // Changes gather this long before one Changed signal goes out for them all.
    static constexpr int kChangeDelayMs = 200;

    explicit ControlService(Model& model, QObject* parent = nullptr);
    ~ControlService() override;

    // Serves the object on connection and takes the bus name, or waits in
    // line for it while another instance has it. Empty when this instance
    // has the name; else, for the user, why not or not yet (the program runs
    // on without it).
    QString publish(const QDBusConnection& connection);

    // ---- The interface's methods ----
    QList<QVariantMap> ListApplications() const;
    void SetVolume(const QString& key, double volume);
    double ChangeVolume(const QString& key, double step);
    void Mute(const QString& key);
    void Unmute(const QString& key);
    bool ToggleMute(const QString& key);
    void SetBoost(double decibels);
    QList<QVariantMap> ListOutputs() const;
    void SetOutput(const QString& key, const QString& uid);
    void SetHidden(const QString& key, bool hidden);

    // ---- Its properties ----
    double boost() const;
    double maxBoost() const;
    bool callActive() const;

signals:
    void Changed();

private:
    // The key when the model knows it; else replies with an error.
    std::optional<std::string> knownKey(const QString& key);
    void refuse(const QString& errorName, const QString& message);
    void sendIfChanged();

    Model& model_;
    QTimer* changeTimer_;
    WillChangeChannel::Subscription subscription_;
    // What the last Changed signal (or the start) showed.
    QList<QVariantMap> shownRows_;
    double shownBoost_ = 0.0;
    bool shownCallActive_ = false;
    std::optional<QDBusConnection> published_;
};

}  // namespace morvale::control
