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
#ifdef MORVALE_HAVE_PIPEWIRE
#include "platform/pipewire/PipeWireAudioSystem.h"
#endif
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtTermination.h"
#include "platform/qt/QtTimers.h"
#include "ui/DesktopCalls.h"

namespace morvale::app {

namespace {

std::unique_ptr<AudioHardware> makeAudio(AudioBackend backend, const std::string& journal,
                                         const LinuxDesktop::AppIdentifier& identifier) {
#ifdef MORVALE_HAVE_PIPEWIRE
    if (backend == AudioBackend::pipeWire) {
        pipewire::PipeWireAudioSystem::Options options;
        options.journalPath = journal;
        return std::make_unique<pipewire::PipeWireAudioSystem>(identifier, options);
    }
#else
    (void)backend;
    (void)journal;
#endif
    return std::make_unique<pulse::PulseAudioSystem>(identifier);
}

}  // namespace

// In order of construction: each service is built from the ones above it.
struct LinuxSystem::Services {
    Services(const QString& appId, const QString& program, AudioBackend backend,
             const std::string& journal)
        : index(LinuxDesktop::DesktopEntryIndex::optionsFromEnvironment()),
          identifier(index),
          audio(makeAudio(backend, journal, identifier)),
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
    std::unique_ptr<AudioHardware> audio;
    LinuxDesktop::LinuxProcessInfo processes;
    LinuxDesktop::DesktopRunningApplications applications;
    LinuxDesktop::DesktopWorkspace workspace;
    LinuxDesktop::LocaleCollator collator;
    LinuxDesktop::JsonSettingsStores settings;
    LinuxDesktop::XdgLoginItem loginItem;
    GroupingRules grouping = ui::desktopGrouping();
};

LinuxSystem::LinuxSystem(const QString& appId, const QString& program, AudioBackend backend,
                         const std::string& journal)
    : services_(std::make_unique<Services>(appId, program, backend, journal)) {
    // Called on the backend's thread: only the news crosses to the main thread.
    const auto tell = [this](auto) {
        QMetaObject::invokeMethod(this, &LinuxSystem::audioConnectionChanged, Qt::QueuedConnection);
    };
    if (auto* pulse = dynamic_cast<pulse::PulseAudioSystem*>(services_->audio.get())) {
        pulse->setConnectionObserver(tell);
    }
#ifdef MORVALE_HAVE_PIPEWIRE
    if (auto* pw = dynamic_cast<pipewire::PipeWireAudioSystem*>(services_->audio.get())) {
        pw->setConnectionObserver(tell);
    }
#endif
}

LinuxSystem::~LinuxSystem() {
    if (auto* pulse = dynamic_cast<pulse::PulseAudioSystem*>(services_->audio.get())) {
        pulse->setConnectionObserver({});
    }
#ifdef MORVALE_HAVE_PIPEWIRE
    if (auto* pw = dynamic_cast<pipewire::PipeWireAudioSystem*>(services_->audio.get())) {
        pw->setConnectionObserver({});
    }
#endif
}

Platform LinuxSystem::platform() {
    Services& s = *services_;
    return Platform{*s.audio,    s.processes, s.applications, s.workspace,   s.collator, s.settings,
                    s.loginItem, s.mainQueue, s.timers,       s.termination, s.grouping};
}

}  // namespace morvale::app
