// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DemoSystem.h"


#include "model/Settings.h"
#include "ui/DesktopCalls.h"

namespace morvale::app {

namespace {

constexpr std::int32_t chatterPid = 2104;

struct DemoApp {
    std::int32_t pid;
    const char* bundleID;  // null: a process without one
    const char* name;
    bool playing;
    bool regular;  // an application with windows, as opposed to a background helper
};

constexpr DemoApp demoApps[] = {
    {2101, "org.example.Tunebox", "Tunebox", true, true},
    {2102, "org.example.Webfox", "Webfox", true, true},
    // A helper process: the desktop finds it the application's desktop ID.
    {2103, "org.example.Webfox", "Webfox Media Helper", true, false},
    {chatterPid, "org.example.Chatter", "Chatter", false, true},
    {2105, nullptr, "mpv", true, false},
};

// Applications the demo's workspace knows, with their pictures.
constexpr struct {
    const char* bundleID;
    const char* name;
} installed[] = {
    {"org.example.Tunebox", "Tunebox"},
    {"org.example.Webfox", "Webfox"},
    {"org.example.Chatter", "Chatter"},
    {"org.example.Podnest", "Podnest"},
};

}  // namespace

DemoSystem::DemoSystem() : grouping_(ui::desktopGrouping()) {
    for (const auto& app : installed) {
        const std::string path = std::string(":/demo/") + app.bundleID + ".svg";
        workspace_.applicationPaths[app.bundleID] = path;
        workspace_.displayNames[path] = app.name;
    }

    const AudioObjectID speakers = audio_.addOutputDevice("demo-speakers");
    audio_.setDeviceName(speakers, "Speakers");
    audio_.setDeviceName(audio_.addOutputDevice("demo-headphones"), "Headphones");
    audio_.setDefaultOutputDevice(speakers);
    for (const DemoApp& app : demoApps) {
        std::optional<std::string> bundleID;
        if (app.bundleID != nullptr) {
            bundleID = app.bundleID;
        }
        audio_.addProcess(app.pid, bundleID, app.playing);
        processes_.shortNames[app.pid] = app.name;
        if (bundleID) {  // a command-line player belongs to no application
            processes_.applications[app.pid] = RunningApplication{
                app.name, app.regular ? ActivationPolicy::regular : ActivationPolicy::prohibited};
        }
    }

    // Remembered volumes: a quieter chat application, and one that is closed.
    settings_.standardStore.values[std::string(Settings::kVolumes)] =
        PlistValue::Dict{{"org.example.Chatter", 0.4}, {"org.example.Podnest", 0.25}};
    settings_.standardStore.values[std::string(Settings::kDuckBoostDB)] = 6.0;
    settings_.standardStore.values[std::string(Settings::kMigrated)] = true;
}

Platform DemoSystem::platform() {
    return Platform{audio_,     processes_, processes_, workspace_,   collator_, settings_,
                    loginItem_, mainQueue_, timers_,    termination_, grouping_};
}

void DemoSystem::setCallActive(bool active) {
    // The chat application's call stream is an object of its own while the
    // call lasts, as the audio server reports it.
    if (active && callStream_ == 0) {
        callStream_ = audio_.addProcess(chatterPid, std::string(kCallStreamsBundleID), true);
    } else if (!active && callStream_ != 0) {
        audio_.removeProcess(callStream_);
        callStream_ = 0;
    }
}

}  // namespace morvale::app
