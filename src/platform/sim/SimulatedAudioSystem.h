// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/OutputRoute.h"

namespace morvale::sim {

// An in-memory audio hardware layer that behaves as the real one does for the
// calls this system makes, scripted by tests and demos: processes and devices
// come and go, any call can be made to fail, and a test can have every call
// logged.
//
// Thread safety: every method may be called from any thread; IO cycles run the
// registered IO blocks under the same lock that device stop and IO proc
// destruction take, so a stopped IO proc is never called again, as on the real
// hardware. Listeners of the process list are told on the thread that changed
// it, after the change and outside the lock.
class SimulatedAudioSystem : public AudioHardware {
public:
    enum class Call {
        getPropertyDataSize,
        getPropertyData,
        setPropertyData,
        createProcessTap,
        destroyProcessTap,
        createAggregateDevice,
        destroyAggregateDevice,
        createIOProcIDWithBlock,
        destroyIOProcID,
        deviceStart,
        deviceStop,
        addPropertyListenerBlock,
        removePropertyListenerBlock,
        createGainStage,
        destroyGainStage,
    };

    // One call as it arrived, with its arguments.
    struct CallRecord {
        Call call;
        AudioObjectID object = kAudioObjectUnknown;  // the object or device called on
        AudioObjectPropertyAddress address{};        // property calls only
        std::uint32_t dataSize = 0;   // property calls: the size passed in (0 for size queries)
        AudioDeviceIOProcID ioProc = nullptr;  // IO proc calls
        std::string detail;           // tap or aggregate description, as text
        OSStatus status = kAudioNoError;       // what the call returned

        // e.g. "getPropertyData(7, 'stm#' 'inpt' 0, 8) -> 0"
        std::string text() const;
    };

    // A failure to inject: calls of this kind (optionally only on one selector
    // or object) return status, for the next `times` matching calls or forever.
    struct Failure {
        Call call;
        OSStatus status;
        std::optional<std::uint32_t> selector = std::nullopt;
        std::optional<AudioObjectID> object = std::nullopt;
        int times = -1;
    };

    // A gain stage as it stands: whom it holds, at which gain.
    struct GainStageInfo {
        TapDescription description;
        float gain = 1.0f;
    };

    // An IO proc as registered.
    struct IOProcInfo {
        AudioObjectID device;
        AudioDeviceIOProcID id;
        bool running;
    };

    SimulatedAudioSystem();
    ~SimulatedAudioSystem() override;

    // ---- Scripting the system ----
    AudioObjectID addProcess(std::int32_t pid, std::optional<std::string> bundleID,
                             bool playing = false);
    void setProcessPlaying(AudioObjectID process, bool playing);
    void setProcessRecording(AudioObjectID process, bool recording);
    void setProcessBundleID(AudioObjectID process, std::optional<std::string> bundleID);
    // The name the process gives itself ('pdnm'); none by default.
    void setProcessDeclaredName(AudioObjectID process, std::optional<std::string> name);
    void setProcessPID(AudioObjectID process, std::int32_t pid);
    void removeProcess(AudioObjectID process);
    // Puts a process first in the system's list (lists need not be in id order).
    void moveProcessToFront(AudioObjectID process);

    AudioObjectID addOutputDevice(std::string uid, std::uint32_t inputStreams = 0);
    void removeDevice(AudioObjectID device);
    void setDefaultOutputDevice(AudioObjectID device);  // 0: none
    // The device's name for people ('lnam'); empty by default.
    void setDeviceName(AudioObjectID device, std::string name);
    // Another mixer moves the process's streams to a device: they stay there,
    // whatever the routes say, until a route for them changes.
    void moveProcessOutput(AudioObjectID process, std::string deviceUID);
    // How far the system lowers others during a call ('dcks'); none (the
    // default) leaves the property absent, as a platform that can not tell.
    void setCallDuckingDB(std::optional<float> decibels);

    void injectFailure(Failure failure);
    void clearFailures();
    // Size queries for this property report `extraBytes` more than a read returns.
    void setShortRead(AudioObjectID object, std::uint32_t selector, std::uint32_t extraBytes);
    // IO proc creation reports success but hands back no id.
    void setIOProcCreationWithoutID(bool enabled);
    // Whether the system applies gains inside the streams (gain stages), as
    // PipeWire does, instead of taps; off by default.
    void setGainStages(bool enabled);
    // What availabilityProblem() reports, as a lost server would.
    void setAvailabilityProblem(std::optional<std::string> problem);

    // ---- Reading back ----
    // Calls are logged only while logging is on (it starts off): a demo or a
    // benchmark that runs for long would otherwise keep every call it made.
    void setCallLogging(bool enabled);
    std::vector<CallRecord> log() const;
    std::vector<std::string> logText() const;
    void clearLog();

    std::vector<AudioObjectID> processObjects() const;
    std::map<AudioObjectID, TapDescription> taps() const;
    std::map<AudioObjectID, PlistValue::Dict> aggregateDevices() const;
    std::vector<IOProcInfo> ioProcs() const;
    std::map<AudioObjectID, GainStageInfo> gainStages() const;
    // The output routes last written, and how many times they were.
    OutputRoutes outputRoutes() const;
    int outputRouteWrites() const;
    // The UID of the device a process plays on ('pdev'): where another mixer
    // moved it, else its route's device while that is there, else the default.
    std::string processOutput(AudioObjectID process) const;
    // The stream usage flags last written for an IO proc; empty if never written.
    std::vector<std::uint32_t> streamUsage(AudioObjectID device, AudioDeviceIOProcID proc) const;
    // Taps, aggregate devices, IO procs and gain stages that still exist.
    bool hasLeftovers() const;
    std::size_t listenerCount() const;

    // ---- IO ----
    // Runs one IO cycle of a device: calls the block of every running IO proc on
    // it with these buffers. Returns how many blocks ran.
    int runIOCycle(AudioObjectID device, const AudioBufferList& input, AudioBufferList& output);

    // ---- AudioHardware ----
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 std::uint32_t qualifierDataSize, const void* qualifierData,
                                 std::uint32_t* outDataSize) override;
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                             std::uint32_t qualifierDataSize, const void* qualifierData,
                             std::uint32_t* ioDataSize, void* outData) override;
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                             std::uint32_t qualifierDataSize, const void* qualifierData,
                             std::uint32_t dataSize, const void* data) override;
    OSStatus createProcessTap(const TapDescription& description, AudioObjectID* outTapID) override;
    OSStatus destroyProcessTap(AudioObjectID tap) override;
    OSStatus createAggregateDevice(const PlistValue::Dict& description,
                                   AudioObjectID* outDeviceID) override;
    OSStatus destroyAggregateDevice(AudioObjectID device) override;
    OSStatus createIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID, AudioObjectID device,
                                     DispatchQueue queue, AudioDeviceIOBlock block) override;
    OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID ioProc) override;
    OSStatus deviceStart(AudioObjectID device, AudioDeviceIOProcID ioProc) override;
    OSStatus deviceStop(AudioObjectID device, AudioDeviceIOProcID ioProc) override;
    // Only the system object's process list can be listened to.
    OSStatus addPropertyListenerBlock(AudioObjectID object,
                                      const AudioObjectPropertyAddress& address,
                                      DispatchQueue queue, AudioObjectPropertyListenerBlock block,
                                      AudioObjectPropertyListenerID* outListener) override;
    OSStatus removePropertyListenerBlock(AudioObjectID object,
                                         const AudioObjectPropertyAddress& address,
                                         DispatchQueue queue,
                                         AudioObjectPropertyListenerID listener) override;
    std::optional<std::string> availabilityProblem() const override;
    bool hasGainStages() const override;
    OSStatus createGainStage(const TapDescription& description, float gain,
                             AudioObjectID* outStage) override;
    OSStatus destroyGainStage(AudioObjectID stage) override;

private:
    void notifyProcessListChanged();

    struct State;
    mutable std::mutex mutex_;
    std::unique_ptr<State> state_;
};

std::string toString(SimulatedAudioSystem::Call call);

}  // namespace morvale::sim
