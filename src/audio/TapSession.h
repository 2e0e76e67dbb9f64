// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Gain.h"
#include "platform/AudioHardware.h"

namespace morvale {

// Who a tap session plays: the application's name, which names what the
// session makes where other programs list it, and who its processes are, so
// that one that starts later is captured at once (see TapDescription).
struct TapApplication {
    std::string name;  // empty: unnamed
    std::vector<std::string> bundleIDs;
    std::vector<std::string> processNames;
};

// Plays one application's audio again at a chosen gain: a private process tap
// that captures (and silences) the application's processes, a private aggregate
// device on the output device that holds the tap, and an IO block on it that
// copies the tapped samples to the output times the gain.
//
// Where the system applies a gain inside the processes' own streams (a gain
// stage, see AudioHardware::hasGainStages), the session is that stage instead:
// nothing is added to the application's path, and the output device plays no
// part, so the session never needs rebuilding for a new default device.
//
// Construction either leaves the session running or throws the MorvaleError of
// the failed step, having torn down what it built. One thread at a time (the
// model's session jobs); the IO block runs on the device's real-time thread
// and shares only the Gain, which sharedGain() hands out.
class TapSession {
public:
    TapSession(AudioHardware& hardware, std::vector<AudioObjectID> processObjects,
               AudioObjectID outputDevice, std::string deviceUID, float gain,
               const TapApplication& application = {});
    ~TapSession();

    TapSession(const TapSession&) = delete;
    TapSession& operator=(const TapSession&) = delete;

    // Ends whatever parts of the session exist; safe to call any number of times.
    void stop();

    // Taps these process objects from now on, in place: the streams already
    // playing go on without a break. False when the system refused (or the
    // session has ended); the session then goes on with its old processes.
    bool setProcessObjects(std::vector<AudioObjectID> processObjects);

    // Plays at this gain from now on: a tap's IO block ramps to it, a gain
    // stage hands it to the system (a change the system refuses keeps the
    // old gain and is tried again by the next call).
    void setGain(float gain);

    // Plays on this output device from now on, in place: the tap and its IO
    // block go on, so the application moves to the new device in one step
    // instead of being let go and taken in again. False when the system
    // refused, or the device has another number of input streams than the
    // IO block skips; the session then goes on where it played.
    bool setOutputDevice(AudioObjectID outputDevice, const std::string& deviceUID);

    const std::vector<AudioObjectID>& processObjects() const { return processObjects_; }
    const std::string& deviceUID() const { return deviceUID_; }
    const Gain& gain() const { return *gain_; }
    // A tap's gain, to be set from another thread without a call into the
    // session (a relaxed atomic that the IO block reads); null for a gain
    // stage, whose gain only setGain changes.
    std::shared_ptr<Gain> sharedGain() const { return isGainStage() ? nullptr : gain_; }
    // The session is a gain stage: the output device does not matter to it.
    bool isGainStage() const { return stageID_ != kAudioObjectUnknown; }

private:
    // Construction after the tap exists: the aggregate device, the IO proc and
    // the start. Throws the failed step's error; the caller tears down.
    void startOnTap(const std::string& aggregateName, AudioObjectID outputDevice, float gain);

    AudioHardware& hardware_;
    std::vector<AudioObjectID> processObjects_;
    std::string deviceUID_;
    std::uint32_t skippedInputStreams_ = 0;
    TapDescription tap_;
    const std::shared_ptr<Gain> gain_;
    AudioObjectID stageID_ = kAudioObjectUnknown;
    AudioObjectID tapID_ = kAudioObjectUnknown;
    AudioObjectID aggID_ = kAudioObjectUnknown;
    std::optional<AudioDeviceIOProcID> procID_;
};

}  // namespace morvale
