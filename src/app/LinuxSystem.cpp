// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LinuxSystem.h"

#include <QMetaObject>

#include "platform/linux/DesktopAppIdentifier.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/DesktopRunningApplications.h"
#include "platform/linux/DesktopWorkspace.h"
#include "platform/linux/JsonSettingsStore.h"
#include "platform/linux/LinuxProcessInfo.h"
#include "platform/linux/LocaleCollator.h"
#include "platform/linux/XdgLoginItem.h"
#include "platform/pulse/PulseAudioSystem.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtTermination.h"
#include "platform/qt/QtTimers.h"
#include "ui/DesktopCalls.h"

namespace morvale::app {

// In order of construction: each service is built from the ones above it.
struct LinuxSystem::Services {
    Services(const QString& appId, const QString& program)
        : index(LinuxDesktop::DesktopEntryIndex::optionsFromEnvironment()),
          identifier(index),
          audio(identifier),
          applications(identifier, index),
          workspace(index),
          settings(LinuxDesktop::JsonSettingsStores::defaultFolder(), {}, &timers),
          loginItem(LinuxDesktop::AutostartEntry{
              appId.toStdString(), "Morvale", {program.toStdString()}}) {}

    qt::QtMainQueue mainQueue;
    qt::QtTimers timers;
    qt::QtTermination termination;
    LinuxDesktop::DesktopEntryIndex index;
    LinuxDesktop::DesktopAppIdentifier identifier;
    pulse::PulseAudioSystem audio;
    LinuxDesktop::LinuxProcessInfo processes;
    LinuxDesktop::DesktopRunningApplications applications;
    LinuxDesktop::DesktopWorkspace workspace;
    LinuxDesktop::LocaleCollator collator;
    LinuxDesktop::JsonSettingsStores settings;
    LinuxDesktop::XdgLoginItem loginItem;
    CallGroup calls = ui::desktopCalls();
};

LinuxSystem::LinuxSystem(const QString& appId, const QString& program)
    : services_(std::make_unique<Services>(appId, program)) {
    // Called on libpulse's thread: only the news crosses to the main thread.
    services_->audio.setConnectionObserver([this](pulse::PulseAudioSystem::ConnectionState) {
        QMetaObject::invokeMethod(this, &LinuxSystem::audioConnectionChanged, Qt::QueuedConnection);
    });
}

LinuxSystem::~LinuxSystem() {
    services_->audio.setConnectionObserver({});
}

Platform LinuxSystem::platform() {
    Services& s = *services_;
    return Platform{s.audio,     s.processes, s.applications, s.workspace,   s.collator, s.settings,
                    s.loginItem, s.mainQueue, s.timers,       s.termination, s.calls};
}

}  // namespace morvale::app
