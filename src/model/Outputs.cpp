// SPDX-License-Identifier: GPL-3.0-or-later
// The model's outputs: which device each application plays on, the devices
// there are to choose from, and which rows the user hid.

#include "audio/CA.h"
#include "catalog/Grouping.h"
#include "model/Model.h"
#include "platform/CallGroup.h"
#include "platform/Translation.h"

namespace morvale {

std::optional<std::string> Model::chosenOutput(const std::string& key) const {
    const auto it = outputs_->find(key);
    return it == outputs_->end() ? std::nullopt : std::optional(it->second);
}

std::optional<std::string> Model::playingOutput(const std::string& key) const {
    for (const AppEntry& entry : *entries_) {
        if (entry.id != key) {
            continue;
        }
        for (const AudioObjectID object : entry.objects) {
            auto uid = CA::string(platform_.audio, object, kProcessOutputDevice);
            if (uid && !uid->empty()) {
                return uid;
            }
        }
        break;
    }
    return std::nullopt;
}

std::optional<std::string> Model::defaultOutput() const {
    const AudioObjectID device = CA::defaultOutputDevice(platform_.audio);
    auto uid = CA::string(platform_.audio, device, kDeviceUID);
    return uid && !uid->empty() ? uid : std::nullopt;
}

void Model::setOutput(const std::string& key, const std::optional<std::string>& deviceUID) {
    if (chosenOutput(key) == deviceUID || (deviceUID && deviceUID->empty())) {
        return;
    }
    outputs_.modify([&](Settings::Outputs& outputs) {
        if (deviceUID) {
            outputs.insert_or_assign(key, *deviceUID);
        } else {
            outputs.erase(key);
        }
    });
    writeSetting(platform_.settings.standard(), Settings::kOutputs, Settings::toPlist(*outputs_));
    applyRoutes();
}

void Model::setHidden(const std::string& key, bool hidden) {
    if (isHidden(key) == hidden) {
        return;
    }
    hidden_.modify([&](Settings::KeySet& keys) {
        if (hidden) {
            keys.insert(key);
        } else {
            keys.erase(key);
        }
    });
    writeSetting(platform_.settings.standard(), Settings::kHidden, Settings::toPlist(*hidden_));
}

void Model::readOutputDevices() {
    std::vector<OutputDevice> devices;
    for (const AudioObjectID device :
         CA::ids(platform_.audio, kAudioObjectSystemObject, kOutputDeviceList)) {
        auto uid = CA::string(platform_.audio, device, kDeviceUID);
        if (!uid || uid->empty()) {
            continue;
        }
        auto name = CA::string(platform_.audio, device, kDeviceName);
        devices.push_back({*uid, name && !name->empty() ? std::move(*name) : *uid});
    }
    // Published only when it changed: refreshes come every 1.5 s.
    if (devices != *outputDevices_) {
        outputDevices_ = std::move(devices);
    }
}

void Model::applyRoutes() {
    OutputRoutes routes;
    for (const auto& [key, deviceUID] : *outputs_) {
        OutputRoute route;
        route.deviceUID = deviceUID;
        for (const AppEntry& entry : *entries_) {
            if (entry.id == key) {
                route.streams.processes = entry.objects;
                break;
            }
        }
        // Processes that start later are routed by who they are, from their
        // first sample; the call row by the call streams' own objects.
        const Grouping::Identities members = Grouping::identities(key, platform_.grouping);
        route.streams.bundleIDs = members.bundleIDs;
        route.streams.processNames = members.names;
        if (key == Grouping::callRowKey &&
            platform_.grouping.calls.members.contains(std::string(kCallStreamsBundleID))) {
            route.streams.bundleIDs.emplace_back(kCallStreamsBundleID);
        }
        routes.push_back(std::move(route));
    }
    if (appliedRoutes_ == routes || routesInFlight_ == routes) {
        return;
    }
    // Before the first table nothing was routed: an empty one changes nothing,
    // and a platform without routes is not asked at all.
    if (!appliedRoutes_ && routes.empty()) {
        appliedRoutes_ = std::move(routes);
        return;
    }
    // Handing the table over may wait on the server: it is a job like a
    // session's, in the same order as theirs.
    routesInFlight_ = routes;
    AudioHardware& hardware = platform_.audio;
    std::weak_ptr<Model*> weak = self_;
    sessionJobs_.submit([&hardware, weak, routes = std::move(routes)] {
        const OutputRoutes* table = &routes;
        const OSStatus status = hardware.setPropertyData(
            kAudioObjectSystemObject, CA::addr(kOutputRoutes), 0, nullptr,
            static_cast<std::uint32_t>(sizeof table), static_cast<const void*>(&table));
        return SessionExecutor::Result([weak, routes, status] {
            if (const auto self = weak.lock()) {
                (*self)->routesSettled(routes, status);
            }
        });
    });
}

void Model::routesSettled(const OutputRoutes& routes, OSStatus status) {
    if (routesInFlight_ == routes) {
        routesInFlight_.reset();
    }
    if (status != kAudioNoError) {
        if (status != kAudioHardwareUnknownPropertyError) {
            //: Shown when an application could not be sent to the output chosen for it.
            reportError(ErrorLine::Kind::routing,
                        translate("Model", "Couldn't send applications to their outputs"));
        }
        return;  // tried again at the next refresh
    }
    appliedRoutes_ = routes;
    clearError(ErrorLine::Kind::routing);
}

}  // namespace morvale
