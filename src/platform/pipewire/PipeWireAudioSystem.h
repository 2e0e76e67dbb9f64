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

namespace morvale::pipewire {

// The audio hardware layer on a PipeWire server, through libpipewire: one
// thread loop and one connection, nothing added to the graph.
//
// Objects: the system object (1); one process object per client process that
// has playback streams, or capture streams fed by a source (a microphone and
// the like, not a sink's output); a second process object (bundle ID
// kCallStreamsBundleID) per process that has Communication playback streams,
// which stands for those streams only; one device object per Audio/Sink node
// ('uid ' is its node.name). Processes are told apart by the pid a PulseAudio
// client's stream names (application.process.id, checked against /proc) or,
// for native and ALSA streams, by their client's socket credentials.
//
// Gains are gain stages: each playback stream node of a stage's processes has
// its adapter's `volume` (Props) held at the stage's gain from the node's
// first appearance on, set again whenever anyone else (WirePlumber's restore,
// the client) changes it. Changes are spread over steps of at most 0.05, one per
// 10 ms, so that they do not click on servers that step volumes at the next
// quantum. Taps, aggregate devices and IO procs are not supported.
//
// Threads: the AudioHardware calls are made on one thread (the main thread)
// and answer from a mirror that registry events keep current; they take the
// loop's lock, never wait for the server. Listener blocks and the connection
// observer run on the loop's thread with its lock held.
class PipeWireAudioSystem final : public AudioHardware {
public:
    struct Options {
        // The server's socket: a name in the runtime folder ("pipewire-0") or
        // a full path; empty for libpipewire's default (PIPEWIRE_REMOTE, then
        // pipewire-0).
        std::string remote;
        // The longest the constructor waits for the graph to be known, and
        // the destructor for its last gains to reach the server.
        std::chrono::milliseconds timeout{2000};
        // The pause between connection attempts while the server is away.
        std::chrono::milliseconds retryInterval{500};
        // The interval between steps of a gain change.
        std::chrono::milliseconds rampInterval{10};
        // The journal of what is lowered (memory/GainJournal.h), which a
        // watchdog or the next start replays; empty for none.
        std::string journalPath;
    };

    enum class ConnectionState { connecting, ready, disconnected };

    // Connects and waits (at most Options::timeout) until the graph is known.
    // A server that is not there is not an error: the backend keeps trying.
    explicit PipeWireAudioSystem(const LinuxDesktop::AppIdentifier& identifier);
    PipeWireAudioSystem(const LinuxDesktop::AppIdentifier& identifier, Options options);
    // Puts every stream it holds back at 1.0 first.
    ~PipeWireAudioSystem() override;

    PipeWireAudioSystem(const PipeWireAudioSystem&) = delete;
    PipeWireAudioSystem& operator=(const PipeWireAudioSystem&) = delete;

    // Whether a PipeWire daemon answers at `remote` (empty: the default).
    static bool daemonAnswers(const std::string& remote = {});
    // The libpipewire this runs on ("0.3.65").
    static std::string libraryVersion();

    ConnectionState connectionState() const;
    // Called whenever the connection state changes, on the loop's thread with
    // its lock held: it must not call back into this object.
    void setConnectionObserver(std::function<void(ConnectionState)> observer);

    // How many playback nodes are held at a gain now (for tests and benchmarks).
    std::size_t heldNodeCount() const;
    // How many volume writes were sent to the server so far.
    std::uint64_t volumeWrites() const;

    // While not connected: that the connection was lost (or never made) and
    // is tried again. While connected, that the journal of lowered streams
    // could not be written, so that a crash may leave them lowered.
    std::optional<std::string> availabilityProblem() const override;

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
    bool hasGainStages() const override { return true; }
    OSStatus createGainStage(const TapDescription& description, float gain,
                             AudioObjectID* outStage) override;
    OSStatus destroyGainStage(AudioObjectID stage) override;
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
    // Only the system object's process list can be listened to; it is told
    // when processes come or go and when one starts or stops playing or
    // recording.
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

}  // namespace morvale::pipewire
