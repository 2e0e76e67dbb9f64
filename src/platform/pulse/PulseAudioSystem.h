// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/AudioHardware.h"
#include "platform/linux/AppIdentity.h"
#include "platform/pulse/server/ConnectionState.h"

namespace morvale::pulse {

// The audio hardware layer on a PulseAudio server (or PipeWire's PulseAudio
// server), through libpulse: one threaded main loop and one context.
//
// Objects: the system object (1); one process object per client process that
// has playback streams, or capture streams from a source that is not a
// monitor (it reports recording, 'piri', while one of those runs), with an id
// that stays while the process has streams; a second process object (bundle
// ID kCallStreamsBundleID) per process that has playback streams with the
// media role "phone", which stands for those streams only; one device object
// per sink, except this program's own tap sinks, which are also the output
// devices that output routes (kOutputRoutes) may name. A process
// tap is a private null sink that the tapped processes' streams are moved
// into while an IO proc reads it (mute behaviour mutedWhenTapped; `muted`
// taps capture from their creation; `unmuted` ones cannot be made: a stream
// plays in one sink only). An aggregate device pairs a tap with the sink
// named as its master; an IO proc on it records the tap sink's monitor and
// plays to the master, calling the IO block once per captured fragment with
// interleaved 32-bit floats. IO procs run on aggregate devices only.
//
// Threads: the AudioHardware calls are made on one thread (the main thread).
// Property reads answer from a table that server events keep current and do
// not wait for the server; calls that change the server wait for its answer
// at most `Options::timeout`. IO blocks run on libpulse's thread.
class PulseAudioSystem final : public AudioHardware {
public:
    struct Options {
        // The server to connect to ("unix:/run/user/1000/pulse/native"); empty
        // for libpulse's default (PULSE_SERVER, the client configuration, the
        // user's runtime folder).
        std::string server;
        // The longest a call waits for the server before it gives up with
        // kAudioHardwareNotRunningError and the connection is renewed.
        std::chrono::milliseconds timeout{2000};
        // The pause between connection attempts while the server is away.
        std::chrono::milliseconds retryInterval{500};
        // Start the process that cleans up this program's tap sinks when it
        // dies. The first backend of a process forks it, before it makes any
        // libpulse object; later ones share it. Make the first backend early,
        // before other threads of the process use libpulse.
        bool watchdog = true;
        // Ask for real-time scheduling of the thread that runs the IO blocks.
        bool realtime = true;
        // Capture fragment and playback target length of IO procs.
        std::chrono::milliseconds fragment{10};
        std::chrono::milliseconds target{30};
    };

    using ConnectionState = pulse::ConnectionState;

    // Counters of the IO path, for diagnostics and benchmarks.
    struct IOStats {
        std::uint64_t fragments = 0;      // IO block calls
        std::uint64_t frames = 0;         // frames captured and passed to IO blocks
        std::uint64_t underflows = 0;     // playback streams that ran dry
        std::uint64_t droppedFrames = 0;  // frames left out to keep the output queue bounded
        bool realtime = false;            // the IO blocks' thread has real-time scheduling
    };

    // Connects and waits (at most Options::timeout) until the server's objects
    // are known. A server that is not there is not an error: the backend keeps
    // trying, and its objects appear once the server does.
    explicit PulseAudioSystem(const LinuxDesktop::AppIdentifier& identifier);
    PulseAudioSystem(const LinuxDesktop::AppIdentifier& identifier, Options options);
    ~PulseAudioSystem() override;

    PulseAudioSystem(const PulseAudioSystem&) = delete;
    PulseAudioSystem& operator=(const PulseAudioSystem&) = delete;

    ConnectionState connectionState() const;
    // Why the connection was lost or could not be made; empty while ready.
    std::string errorText() const;
    // Called whenever the connection state changes, on libpulse's thread or
    // inside a call that found the server gone, with the backend's lock held:
    // it must not call back into this object; post the news to the main thread.
    void setConnectionObserver(std::function<void(ConnectionState)> observer);

    IOStats ioStats() const;

    // While not connected: "Lost the connection to the sound server;
    // reconnecting…", or "Couldn't connect to the sound server; retrying…"
    // when it was never reached. While connected, that an application has
    // more streams than its tap sink takes in (PulseAudio mixes only so
    // many into one sink), so that some play at their own volume or are not
    // heard; absent otherwise.
    std::optional<std::string> availabilityProblem() const override;

    // Whether tap sinks that a dead process of this program left behind are
    // still on the server (they are cleaned up as soon as they are seen).
    bool hasOrphanedSinks() const;

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
    // Only the system object's process list can be listened to. Blocks are
    // called on libpulse's thread (or inside a call that finds the server
    // gone) with the backend's lock held.
    OSStatus addPropertyListenerBlock(AudioObjectID object,
                                      const AudioObjectPropertyAddress& address,
                                      DispatchQueue queue, AudioObjectPropertyListenerBlock block,
                                      AudioObjectPropertyListenerID* outListener) override;
    OSStatus removePropertyListenerBlock(AudioObjectID object,
                                         const AudioObjectPropertyAddress& address,
                                         DispatchQueue queue,
                                         AudioObjectPropertyListenerID listener) override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

std::string toString(PulseAudioSystem::ConnectionState state);

}  // namespace morvale::pulse
