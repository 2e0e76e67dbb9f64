// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/pulse/server/ObjectTable.h"
#include "platform/pulse/replay/OutputRing.h"
#include "platform/pulse/replay/ReplayTarget.h"

namespace morvale::pulse {

// What every IO path counts, read by ioStats() on any thread.
struct IOCounters {
    std::atomic<std::uint64_t> fragments{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> underflows{0};
    std::atomic<std::uint64_t> dropped{0};
};

// One IO proc's streams and the real-time path between them. It owns the
// capture of a tap sink's monitor, whose fragments go through the IO block,
// the replay that plays the block's output on a real sink, the output ring
// in between (OutputRing), and the replay's period and target
// (ReplayTarget).
//
// Everything runs on libpulse's thread or under the main loop's lock. The
// IO path proper (a captured fragment through the block into the ring, the
// ring into the replay, an underflow) runs on libpulse's thread and takes no
// lock, allocates nothing and logs nothing: its buffers are made with the
// streams.
//
// Where the streams play, and when they cork, is its owner's to decide; it
// tells the owner when a stream's state changes.
class IOPath {
public:
    // How a stream's state change leaves the path.
    enum class Change {
        none,
        // The capture ended, or the replay ended before it ever ran: the
        // path can not go on.
        failed,
        // The replay ended after it ran (its sink went): a new one can be
        // made while the capture runs on.
        replayEnded,
    };

    IOPath(AudioDeviceIOBlock block, IOCounters& counters, ReplayTiming timing,
           std::function<void()> stateChanged);
    IOPath(const IOPath&) = delete;
    IOPath& operator=(const IOPath&) = delete;

    // Makes the capture of `tapSink`'s monitor and the replay on `target`,
    // both named `name` for other mixers, in periods of `period`. Returns
    // false when they could not be made (none is left then). A `movable`
    // replay can be moved by other mixers (see takeReplayMove); else the
    // server refuses to move it, and ends it when its sink goes.
    bool make(pa_context* context, const SinkRecord& tapSink, const SinkRecord& target, bool corked,
              std::chrono::milliseconds period, const std::string& name, bool movable);
    // Makes the replay again on `target`, while the capture runs on; what
    // waits for the old one is dropped. Returns false when it could not be
    // made.
    bool moveReplay(pa_context* context, const SinkRecord& target, const std::string& name);
    // Corks or uncorks both streams (a silent tap lets the device go idle).
    void setCorked(bool corked);
    // Sizes the running path for a new period: the capture's fragments, and
    // the replay's target and requests, which follow it.
    void setPeriod(std::chrono::milliseconds period);
    // Reads what the streams' states say, after a change.
    Change onStateChange();
    // The replay was moved by the server or another client since the last
    // call: the sink it left and the one it plays on now.
    struct ReplayMove {
        std::string from;
        std::string to;
    };
    std::optional<ReplayMove> takeReplayMove();
    void destroy();
    void destroyReplay();

    // Both streams are there and ready.
    bool ready() const;
    // Both streams ran, and the capture still does (the replay may be being
    // made again on another sink).
    bool reading() const;
    bool made() const { return capture_ != nullptr; }
    bool hasReplay() const { return playback_ != nullptr; }
    // The first time both streams are ready: the tap sink is kicked then.
    bool kicked() const { return kicked_; }
    void setKicked() { kicked_ = true; }
    bool corked() const { return corked_; }
    // The sink the replay was made on; empty when it has gone.
    const std::string& replaySink() const { return playbackSink_; }
    std::chrono::milliseconds period() const { return period_; }

private:
    bool connectReplay(pa_context* context, const SinkRecord& target, bool corked,
                       const std::string& name);
    void setTarget(std::chrono::milliseconds target);
    static void stateShim(pa_stream*, void* data);
    void onReplayMoved();

    // ---- The IO path, on libpulse's thread ----
    void onCaptured();
    void runBlock(const void* input, std::size_t length);
    void drainOutput();
    void onUnderflow();

    const AudioDeviceIOBlock block_;
    IOCounters& counters_;
    const ReplayTiming timing_;
    const std::function<void()> stateChanged_;

    // Streams of the current connection; null while stopped or unrealised.
    pa_stream* capture_ = nullptr;
    pa_stream* playback_ = nullptr;
    std::string playbackSink_;  // the sink the playback was made on
    bool playbackRan_ = false;  // it has been ready since it was made
    bool movable_ = false;
    std::optional<ReplayMove> replayMove_;
    bool corked_ = false;
    bool kicked_ = false;
    ReplayTarget target_{std::chrono::milliseconds(30), std::chrono::milliseconds(120),
                         std::chrono::seconds(30)};
    std::chrono::milliseconds period_{0};  // see ioPeriod

    // Buffers of the IO path, sized when the streams are made.
    std::uint32_t channels_ = 0;
    std::size_t frameBytes_ = 0;
    std::size_t maxChunk_ = 0;  // bytes per IO block call at most
    OutputRing pending_;
    std::size_t droppedBytes_ = 0;
    std::vector<float> silence_;
    std::vector<float> output_;
    AudioBuffer inBuffer_{};
    AudioBuffer outBuffer_{};
    AudioBufferList inList_{1, &inBuffer_};
    AudioBufferList outList_{1, &outBuffer_};
    double sampleTime_ = 0;
};

}  // namespace morvale::pulse
