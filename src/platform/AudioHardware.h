// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/PropertyList.h"
#include "platform/TapDescription.h"

namespace morvale {

// The audio hardware layer's calls, one method each, with their argument shapes:
// object ids, {selector, scope, element} addresses, qualifiers, in/out sizes and
// raw data, and a signed status where 0 is success. A backend on a platform that
// has these calls passes them straight through; others emulate them.

using OSStatus = std::int32_t;
inline constexpr OSStatus kAudioNoError = 0;

// The hardware layer's own failure statuses (four-character codes).
inline constexpr OSStatus kAudioHardwareNotRunningError = 0x73746F70;        // 'stop'
inline constexpr OSStatus kAudioHardwareUnspecifiedError = 0x77686174;       // 'what'
inline constexpr OSStatus kAudioHardwareUnknownPropertyError = 0x77686F3F;   // 'who?'
inline constexpr OSStatus kAudioHardwareBadPropertySizeError = 0x2173697A;   // '!siz'
inline constexpr OSStatus kAudioHardwareIllegalOperationError = 0x6E6F7065;  // 'nope'
inline constexpr OSStatus kAudioHardwareBadObjectError = 0x216F626A;         // '!obj'
inline constexpr OSStatus kAudioHardwareBadDeviceError = 0x21646576;         // '!dev'
inline constexpr OSStatus kAudioHardwareUnsupportedOperationError = 0x756E6F70;  // 'unop'
inline constexpr OSStatus kAudioParamError = -50;

inline constexpr AudioObjectID kAudioObjectUnknown = 0;
inline constexpr AudioObjectID kAudioObjectSystemObject = 1;

struct AudioObjectPropertyAddress {
    std::uint32_t mSelector;
    std::uint32_t mScope;
    std::uint32_t mElement;

    friend bool operator==(const AudioObjectPropertyAddress&,
                           const AudioObjectPropertyAddress&) = default;
};

// One buffer of interleaved samples. Any pointer may be null.
struct AudioBuffer {
    std::uint32_t mNumberChannels;
    std::uint32_t mDataByteSize;
    void* mData;
};

// The buffers of one IO cycle. A view: it points at buffers owned by whoever
// runs the cycle. mBuffers may be null only when mNumberBuffers is 0.
struct AudioBufferList {
    std::uint32_t mNumberBuffers;
    AudioBuffer* mBuffers;
};

struct AudioTimeStamp {
    double mSampleTime;
    std::uint64_t mHostTime;
};

// An IO proc registered on a device; null means none.
struct AudioDeviceIOProcOpaque;
using AudioDeviceIOProcID = AudioDeviceIOProcOpaque*;

// A queue to run the IO block on; null runs it on the device's own IO thread.
struct DispatchQueueOpaque;
using DispatchQueue = DispatchQueueOpaque*;

// Called once per IO cycle on the device's real-time thread: now, input buffers,
// input time, output buffers, output time. Copying it happens at registration
// only; calling it must not allocate.
using AudioDeviceIOBlock =
    std::function<void(const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                       AudioBufferList*, const AudioTimeStamp*)>;

// Told that properties of an object changed: how many, and their addresses.
// Called on whatever thread noticed the change, possibly inside a call made
// to the layer: it must return quickly and must not call into the layer
// (post the news to the main thread instead).
using AudioObjectPropertyListenerBlock =
    std::function<void(std::uint32_t, const AudioObjectPropertyAddress*)>;

// A registered listener block; null means none. It stands for the block when
// the listener is removed.
struct AudioObjectPropertyListenerOpaque;
using AudioObjectPropertyListenerID = AudioObjectPropertyListenerOpaque*;

// Threads: every call may be made from any thread, and two threads may call
// at once. The model reads (snapshots, refreshes, listeners) on the main
// thread while its session jobs (taps, aggregate devices, IO procs, gain
// stages and their properties) run on a worker thread; a backend serialises
// its calls itself (a lock over its state, released while a call waits on
// the server, so that a read never waits behind a slow session call).
class AudioHardware {
public:
    virtual ~AudioHardware() = default;

    virtual OSStatus getPropertyDataSize(AudioObjectID object,
                                         const AudioObjectPropertyAddress& address,
                                         std::uint32_t qualifierDataSize, const void* qualifierData,
                                         std::uint32_t* outDataSize) = 0;
    virtual OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                     std::uint32_t qualifierDataSize, const void* qualifierData,
                                     std::uint32_t* ioDataSize, void* outData) = 0;
    virtual OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                     std::uint32_t qualifierDataSize, const void* qualifierData,
                                     std::uint32_t dataSize, const void* data) = 0;

    virtual OSStatus createProcessTap(const TapDescription& description,
                                      AudioObjectID* outTapID) = 0;
    virtual OSStatus destroyProcessTap(AudioObjectID tap) = 0;

    virtual OSStatus createAggregateDevice(const PlistValue::Dict& description,
                                           AudioObjectID* outDeviceID) = 0;
    virtual OSStatus destroyAggregateDevice(AudioObjectID device) = 0;

    virtual OSStatus createIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                             AudioObjectID device, DispatchQueue queue,
                                             AudioDeviceIOBlock block) = 0;
    virtual OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID ioProc) = 0;

    virtual OSStatus deviceStart(AudioObjectID device, AudioDeviceIOProcID ioProc) = 0;
    virtual OSStatus deviceStop(AudioObjectID device, AudioDeviceIOProcID ioProc) = 0;

    // Calls the block whenever the property at the address changes, until the
    // listener is removed; no call begins after removal has returned. The
    // queue is accepted for the call's shape and not used: blocks run as
    // AudioObjectPropertyListenerBlock says.
    virtual OSStatus addPropertyListenerBlock(AudioObjectID object,
                                              const AudioObjectPropertyAddress& address,
                                              DispatchQueue queue,
                                              AudioObjectPropertyListenerBlock block,
                                              AudioObjectPropertyListenerID* outListener) = 0;
    virtual OSStatus removePropertyListenerBlock(AudioObjectID object,
                                                 const AudioObjectPropertyAddress& address,
                                                 DispatchQueue queue,
                                                 AudioObjectPropertyListenerID listener) = 0;

    // A gain stage: a gain that the sound server applies inside the streams
    // of some processes (PipeWire's per-stream volume), with nothing added to
    // their path: no tap, device or IO block. Backends that have one say so
    // here; a session then makes a gain stage instead of a tap. Its processes
    // are named as a tap's are (the description's processes, bundle IDs and
    // process names; its mute behaviour and mixdown are ignored); its gain is
    // the Float32 property kGainStageGain, set with setPropertyData, and its
    // processes change through kTapDescription as a tap's do. A gain stage
    // applies to every stream of its processes, those playing now and each new
    // one from its first sample, and ends with nothing of it left behind.
    virtual bool hasGainStages() const { return false; }
    virtual OSStatus createGainStage(const TapDescription& description, float gain,
                                     AudioObjectID* outStage) {
        (void)description;
        (void)gain;
        (void)outStage;
        return kAudioHardwareUnsupportedOperationError;
    }
    virtual OSStatus destroyGainStage(AudioObjectID stage) {
        (void)stage;
        return kAudioHardwareUnsupportedOperationError;
    }

    // Why the audio system cannot be reached right now, in words for the user
    // ("Lost the connection to the sound server; reconnecting…"); absent while
    // it works. Backends whose system is always there keep the default.
    virtual std::optional<std::string> availabilityProblem() const { return std::nullopt; }
};

}  // namespace morvale
