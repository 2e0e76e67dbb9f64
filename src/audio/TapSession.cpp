// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/TapSession.h"

#include <algorithm>
#include <utility>

#include "audio/AudioError.h"
#include "audio/CA.h"
#include "audio/TapIOBlock.h"
#include "audio/Uuid.h"
#include "platform/FourCC.h"
#include "platform/PropertyString.h"
#include "platform/StreamUsage.h"
#include "platform/Translation.h"

namespace morvale {

namespace {

constexpr const char* kTapName = "Morvale tap";
constexpr const char* kAggregateName = "Morvale";

// What the session makes is named after the application it plays, where
// there is a name, so that other programs that list it say whose it is.
std::string nameFor(const TapApplication& application, const char* unnamed) {
    return application.name.empty() ? unnamed : "Morvale: " + application.name;
}

// A private aggregate device whose main sub-device is the output device and
// which holds the tap.
PlistValue::Dict aggregateDescription(const std::string& name, const std::string& deviceUID,
                                      const std::string& tapUUID) {
    PlistValue::Dict description;
    description["name"] = name;
    description["uid"] = makeUuid();
    description["master"] = deviceUID;
    description["private"] = true;
    description["stacked"] = false;
    description["tapautostart"] = true;
    description["subdevices"] = PlistValue::List{PlistValue::Dict{{"uid", deviceUID}}};
    description["taps"] = PlistValue::List{PlistValue::Dict{{"drift", true}, {"uid", tapUUID}}};
    return description;
}

// Switches the first `streams` input streams of the aggregate device (the
// output device's own inputs, such as a headset microphone) off for the IO
// proc, so the device does not run them for it. Best effort: the IO block skips
// those buffers anyway, so any failure here is ignored.
void switchOffOwnInputs(AudioHardware& hardware, AudioObjectID aggregate, AudioDeviceIOProcID proc,
                        std::uint32_t streams) {
    const auto address = CA::addr(kIOProcStreamUsage, kScopeInput);
    std::uint32_t size = 0;
    if (hardware.getPropertyDataSize(aggregate, address, 0, nullptr, &size) != kAudioNoError ||
        size < StreamUsage::sizeFor(1)) {
        return;
    }
    std::vector<unsigned char> record(size, 0);
    StreamUsage::setProc(record.data(), proc);
    std::uint32_t readSize = size;
    if (hardware.getPropertyData(aggregate, address, 0, nullptr, &readSize, record.data()) !=
        kAudioNoError) {
        return;
    }
    // The count comes from the device and may exceed what the buffer holds
    // (its streams can change between the two calls): such a record is stale,
    // and neither its flags past the buffer nor the record itself are touched.
    const std::uint32_t count = StreamUsage::count(record.data());
    const std::size_t room = (size - StreamUsage::kFlagsOffset) / sizeof(std::uint32_t);
    if (count > room) {
        return;
    }
    const std::uint32_t off = std::min(streams, count);
    for (std::uint32_t i = 0; i < off; ++i) {
        StreamUsage::setFlag(record.data(), i, 0);
    }
    hardware.setPropertyData(aggregate, address, 0, nullptr, size, record.data());
}

std::uint32_t inputStreamCount(AudioHardware& hardware, AudioObjectID device) {
    return static_cast<std::uint32_t>(
        CA::ids(hardware, device, kDeviceStreams, kScopeInput).size());
}

}  // namespace

TapSession::TapSession(AudioHardware& hardware, std::vector<AudioObjectID> processObjects,
                       AudioObjectID outputDevice, std::string deviceUID, float gain,
                       const TapApplication& application)
    : hardware_(hardware),
      processObjects_(std::move(processObjects)),
      deviceUID_(std::move(deviceUID)),
      tap_(TapDescription::stereoMixdown(processObjects_)),
      gain_(std::make_shared<Gain>(1.0f)) {
    gain_->setValue(gain);

    tap_.uuid = makeUuid();
    tap_.muteBehavior = TapMuteBehavior::mutedWhenTapped;
    tap_.isPrivate = true;
    tap_.name = nameFor(application, kTapName);
    tap_.bundleIDs = application.bundleIDs;
    tap_.processNames = application.processNames;

    if (hardware_.hasGainStages()) {
        AudioObjectID stageID = kAudioObjectUnknown;
        if (const OSStatus status = hardware_.createGainStage(tap_, gain, &stageID);
            status != kAudioNoError || stageID == kAudioObjectUnknown) {
            throw asError(status, translate("AudioError", "set the application's volume"));
        }
        stageID_ = stageID;
        return;
    }

    AudioObjectID tapID = kAudioObjectUnknown;
    if (const OSStatus status = hardware_.createProcessTap(tap_, &tapID); status != kAudioNoError) {
        throw asError(status, translate("AudioError", "create tap"));
    }
    tapID_ = tapID;

    // From here on something exists. Whatever ends construction, a failed step
    // or an exception on the way (no memory, no entropy for a UUID), tears it
    // down before the error leaves, as no destructor will run.
    try {
        startOnTap(nameFor(application, kAggregateName), outputDevice, gain);
    } catch (...) {
        stop();
        throw;
    }
}

void TapSession::startOnTap(const std::string& aggregateName, AudioObjectID outputDevice,
                            float gain) {
    // The tap is named by the UUID of its description, which is the one set above.
    const PlistValue::Dict description = aggregateDescription(aggregateName, deviceUID_, tap_.uuid);
    AudioObjectID aggID = kAudioObjectUnknown;
    if (const OSStatus status = hardware_.createAggregateDevice(description, &aggID);
        status != kAudioNoError) {
        throw asError(status, translate("AudioError", "create aggregate device"));
    }
    aggID_ = aggID;

    // The aggregate device's input streams start with the output device's own;
    // the IO block skips that many buffers to reach the tap's.
    const std::uint32_t skippedInputStreams = inputStreamCount(hardware_, outputDevice);
    skippedInputStreams_ = skippedInputStreams;

    auto block = std::make_shared<TapIOBlock>(gain_, skippedInputStreams, gain);
    AudioDeviceIOProcID procID = nullptr;
    if (const OSStatus status =
            hardware_.createIOProcIDWithBlock(&procID, aggID_, nullptr, makeDeviceIOBlock(block));
        status != kAudioNoError || procID == nullptr) {
        throw asError(status, translate("AudioError", "create IO proc"));
    }
    procID_ = procID;

    if (skippedInputStreams > 0) {
        switchOffOwnInputs(hardware_, aggID_, procID, skippedInputStreams);
    }

    if (const OSStatus status = hardware_.deviceStart(aggID_, procID); status != kAudioNoError) {
        throw asError(status, translate("AudioError", "start audio"));
    }
}

TapSession::~TapSession() {
    stop();
}

void TapSession::setGain(float gain) {
    if (stageID_ == kAudioObjectUnknown) {
        gain_->setValue(gain);
        return;
    }
    if (gain == gain_->value()) {
        return;
    }
    if (hardware_.setPropertyData(stageID_, CA::addr(kGainStageGain), 0, nullptr, sizeof gain,
                                  &gain) == kAudioNoError) {
        gain_->setValue(gain);
    }
}

bool TapSession::setOutputDevice(AudioObjectID outputDevice, const std::string& deviceUID) {
    if (stageID_ != kAudioObjectUnknown) {
        deviceUID_ = deviceUID;  // a gain stage plays wherever the application does
        return true;
    }
    if (aggID_ == kAudioObjectUnknown) {
        return false;
    }
    if (deviceUID == deviceUID_) {
        return true;
    }
    // The IO block skips the old device's own input streams to reach the
    // tap's; a device with another number of them would shift that.
    if (inputStreamCount(hardware_, outputDevice) != skippedInputStreams_) {
        return false;
    }
    const OwnedStringRef uid(makeStringRef(deviceUID));
    const StringRef value = uid.get();
    if (hardware_.setPropertyData(aggID_, CA::addr(kAggregateMainSubDevice), 0, nullptr,
                                  sizeof value, &value) != kAudioNoError) {
        return false;
    }
    deviceUID_ = deviceUID;
    return true;
}

bool TapSession::setProcessObjects(std::vector<AudioObjectID> processObjects) {
    // A gain stage is changed like a tap: through its description.
    const AudioObjectID described = stageID_ != kAudioObjectUnknown ? stageID_ : tapID_;
    if (described == kAudioObjectUnknown) {
        return false;
    }
    TapDescription changed = tap_;
    changed.processes = processObjects;
    const TapDescription* value = &changed;
    if (hardware_.setPropertyData(described, CA::addr(kTapDescription), 0, nullptr, sizeof value,
                                  &value) != kAudioNoError) {
        return false;
    }
    tap_ = std::move(changed);
    processObjects_ = std::move(processObjects);
    return true;
}

void TapSession::stop() {
    if (stageID_ != kAudioObjectUnknown) {
        hardware_.destroyGainStage(stageID_);
        stageID_ = kAudioObjectUnknown;
    }
    // Reverse order of creation: the IO proc stops before the device that runs
    // it goes, and the device goes before the tap it lists.
    if (aggID_ != kAudioObjectUnknown) {
        if (procID_) {
            hardware_.deviceStop(aggID_, *procID_);
            hardware_.destroyIOProcID(aggID_, *procID_);
        }
        hardware_.destroyAggregateDevice(aggID_);
        aggID_ = kAudioObjectUnknown;
    }
    if (tapID_ != kAudioObjectUnknown) {
        hardware_.destroyProcessTap(tapID_);
        tapID_ = kAudioObjectUnknown;
    }
    procID_.reset();
}

}  // namespace morvale
