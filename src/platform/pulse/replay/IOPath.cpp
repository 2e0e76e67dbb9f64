// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/replay/IOPath.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "platform/pulse/server/PulseHandles.h"
#include "platform/pulse/server/PulseKeys.h"

namespace morvale::pulse {

namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFFu;
// How long a replay keeps up before its target shrinks back a step.
constexpr std::chrono::seconds kCalm{30};
// The longest replay target, in shortest targets; the longest period, in
// shortest periods (see ioPeriod).
constexpr int kLongestTarget = 4;
constexpr int kLongestPeriods = 4;

std::size_t bytesFor(std::chrono::milliseconds span, std::uint32_t rate, std::uint32_t channels) {
    const auto frames = static_cast<std::size_t>(span.count()) * rate / 1000u;
    return std::max<std::size_t>(frames, 1) * channels * sizeof(float);
}

// The replay's shortest target for a period: room for a whole period's
// burst on top of the target at the shortest period. It may grow to four
// times that under load.
ReplayTarget replayTarget(const ReplayTiming& timing,
                          std::chrono::milliseconds period) {
    const auto shortest = timing.target + std::max(period - timing.fragment, {});
    return ReplayTarget(shortest, kLongestTarget * shortest, kCalm);
}

// How much the replay asks for at a time: half a period (PipeWire runs the
// replay in periods twice that long), at least the shortest period.
std::chrono::milliseconds replayRequest(const ReplayTiming& timing,
                                        std::chrono::milliseconds period) {
    return std::max(timing.fragment, period / 2);
}

std::uint64_t monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

IOPath::IOPath(AudioDeviceIOBlock block, IOCounters& counters,
               ReplayTiming timing, std::function<void()> stateChanged)
    : block_(std::move(block)),
      counters_(counters),
      timing_(timing),
      stateChanged_(std::move(stateChanged)) {}

bool IOPath::ready() const {
    return capture_ != nullptr && playback_ != nullptr &&
           pa_stream_get_state(capture_) == PA_STREAM_READY &&
           pa_stream_get_state(playback_) == PA_STREAM_READY;
}

bool IOPath::reading() const {
    return kicked_ && capture_ != nullptr && pa_stream_get_state(capture_) == PA_STREAM_READY;
}

bool IOPath::make(pa_context* context, const SinkRecord& tapSink, const SinkRecord& target,
                  bool corked, std::chrono::milliseconds period, const std::string& name,
                  bool movable) {
    movable_ = movable;
    pa_sample_spec sampleSpec{};
    sampleSpec.format = PA_SAMPLE_FLOAT32LE;
    sampleSpec.rate = tapSink.rate;
    sampleSpec.channels = tapSink.channels;
    pa_channel_map map{};
    if (pa_channel_map_parse(&map, tapSink.channelMap.c_str()) == nullptr ||
        map.channels != sampleSpec.channels) {
        pa_channel_map_init_extend(&map, sampleSpec.channels, PA_CHANNEL_MAP_DEFAULT);
    }
    // The IO path's buffers, made here so that it never allocates: room for
    // the longest period, whatever the period is now.
    channels_ = sampleSpec.channels;
    frameBytes_ = pa_frame_size(&sampleSpec);
    maxChunk_ = bytesFor(std::chrono::milliseconds(100), sampleSpec.rate, sampleSpec.channels);
    period_ = period;
    pending_.reset(maxChunk_ + 2 * bytesFor(kLongestPeriods * timing_.fragment, sampleSpec.rate,
                                            sampleSpec.channels),
                   2 * bytesFor(period_, sampleSpec.rate, sampleSpec.channels));
    droppedBytes_ = 0;
    target_ = replayTarget(timing_, period_);
    target_.restart(std::chrono::steady_clock::now());
    silence_.assign(maxChunk_ / sizeof(float), 0.0f);
    output_.assign(maxChunk_ / sizeof(float), 0.0f);

    Proplist captureProps;
    captureProps.set(kStreamKey, "capture");
    captureProps.set(kRestoreIdKey, "morvale-capture");
    // Named for what it is for, not as a recording: other mixers list it with
    // the recordings ("Morvale: <application> (volume)").
    capture_ = pa_stream_new_with_proplist(context, (name + " (volume)").c_str(), &sampleSpec,
                                           &map, captureProps.list);
    if (capture_ == nullptr) {
        return false;
    }
    pa_stream_set_state_callback(capture_, &IOPath::stateShim, this);
    pa_stream_set_read_callback(
        capture_,
        [](pa_stream*, std::size_t, void* data) { static_cast<IOPath*>(data)->onCaptured(); },
        this);

    const auto periodBytes =
        static_cast<std::uint32_t>(bytesFor(period_, sampleSpec.rate, sampleSpec.channels));
    pa_buffer_attr captureAttr{kUnknownSize, kUnknownSize, kUnknownSize, kUnknownSize, periodBytes};
    // The capture never moves: following the default onto a monitor would
    // play our own output back into itself.
    // Unmuted from the start, whatever the server's stream restore remembers
    // for our key (a record stream can not be given a volume here: a stored
    // one is put back to 100% once the server reports it, see keepLevel).
    auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE | PA_STREAM_START_UNMUTED;
    if (corked) {
        flags |= PA_STREAM_START_CORKED;
    }
    corked_ = corked;
    if (pa_stream_connect_record(capture_, tapSink.monitorName.c_str(), &captureAttr,
                                 static_cast<pa_stream_flags_t>(flags)) < 0 ||
        !connectReplay(context, target, corked, name)) {
        destroy();
        return false;
    }
    return true;
}

bool IOPath::moveReplay(pa_context* context, const SinkRecord& target, const std::string& name) {
    destroyStream(playback_);
    replayMove_.reset();
    pending_.clear();
    return connectReplay(context, target, corked_, name);
}

// The replay, in the capture's format, on the given sink.
bool IOPath::connectReplay(pa_context* context, const SinkRecord& target, bool corked,
                           const std::string& name) {
    const pa_sample_spec& sampleSpec = *pa_stream_get_sample_spec(capture_);
    Proplist playbackProps;
    playbackProps.set(kStreamKey, "replay");
    playbackProps.set(kRestoreIdKey, "morvale-replay");
    // A role of its own, whatever the environment gives the connection: a
    // replay is neither a call (that would make role-cork silence the music
    // of others) nor music or video (that would make it cork the replay,
    // and with it every tapped stream inside).
    playbackProps.set(PA_PROP_MEDIA_ROLE, kReplayRole);
    playback_ =
        pa_stream_new_with_proplist(context, name.c_str(), &sampleSpec,
                                    pa_stream_get_channel_map(capture_), playbackProps.list);
    if (playback_ == nullptr) {
        return false;
    }
    playbackSink_ = target.name;
    playbackRan_ = false;
    pa_stream_set_state_callback(playback_, &IOPath::stateShim, this);
    pa_stream_set_write_callback(
        playback_,
        [](pa_stream*, std::size_t, void* data) { static_cast<IOPath*>(data)->drainOutput(); },
        this);
    pa_stream_set_underflow_callback(
        playback_, [](pa_stream*, void* data) { static_cast<IOPath*>(data)->onUnderflow(); }, this);
    pa_stream_set_moved_callback(
        playback_, [](pa_stream*, void* data) { static_cast<IOPath*>(data)->onReplayMoved(); },
        this);
    const auto length = static_cast<std::uint32_t>(
        bytesFor(target_.current(), sampleSpec.rate, sampleSpec.channels));
    const auto request = static_cast<std::uint32_t>(
        bytesFor(replayRequest(timing_, period_), sampleSpec.rate, sampleSpec.channels));
    pa_buffer_attr playbackAttr{kUnknownSize, length, kUnknownSize, request, kUnknownSize};
    // Where the replay plays is decided by the owner, or by a user who moves
    // it in another mixer (the routing is theirs); a replay that may not move
    // is refused to them.
    auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_UNMUTED;
    if (!movable_) {
        flags |= PA_STREAM_DONT_MOVE;
    }
    if (corked) {
        flags |= PA_STREAM_START_CORKED;
    }
    // At 100%, unmuted: a volume given here is one the server's stream
    // restore leaves alone, so a level someone once set on a replay in
    // another mixer never reaches the next one.
    const pa_cvolume full = fullVolume(sampleSpec.channels);
    return pa_stream_connect_playback(playback_, target.name.c_str(), &playbackAttr,
                                      static_cast<pa_stream_flags_t>(flags), &full,
                                      nullptr) >= 0;
}

void IOPath::setCorked(bool corked) {
    corked_ = corked;
    forget(pa_stream_cork(capture_, corked ? 1 : 0, nullptr, nullptr));
    forget(pa_stream_cork(playback_, corked ? 1 : 0, nullptr, nullptr));
    if (corked) {
        // What waits would be stale when the application plays again,
        // and a longer target is not needed once it does.
        forget(pa_stream_flush(playback_, nullptr, nullptr));
        pending_.clear();
        if (const auto shorter = target_.restart(std::chrono::steady_clock::now())) {
            setTarget(*shorter);
        }
    }
}

void IOPath::setPeriod(std::chrono::milliseconds period) {
    period_ = period;
    target_ = replayTarget(timing_, period);
    target_.restart(std::chrono::steady_clock::now());
    const pa_sample_spec* format = pa_stream_get_sample_spec(capture_);
    const auto bytes = bytesFor(period, format->rate, format->channels);
    droppedBytes_ += pending_.setLimit(2 * bytes);
    pa_buffer_attr attr{kUnknownSize, kUnknownSize, kUnknownSize, kUnknownSize,
                        static_cast<std::uint32_t>(bytes)};
    forget(pa_stream_set_buffer_attr(capture_, &attr, nullptr, nullptr));
    setTarget(target_.current());
}

void IOPath::setTarget(std::chrono::milliseconds target) {
    if (playback_ == nullptr || pa_stream_get_state(playback_) != PA_STREAM_READY) {
        return;
    }
    const pa_sample_spec* format = pa_stream_get_sample_spec(playback_);
    const auto request = replayRequest(timing_, period_);
    pa_buffer_attr attr{
        kUnknownSize, static_cast<std::uint32_t>(bytesFor(target, format->rate, format->channels)),
        kUnknownSize, static_cast<std::uint32_t>(bytesFor(request, format->rate, format->channels)),
        kUnknownSize};
    forget(pa_stream_set_buffer_attr(playback_, &attr, nullptr, nullptr));
}

void IOPath::stateShim(pa_stream*, void* data) {
    static_cast<IOPath*>(data)->stateChanged_();
}

IOPath::Change IOPath::onStateChange() {
    const auto ended = [](pa_stream* stream) {
        return stream != nullptr && (pa_stream_get_state(stream) == PA_STREAM_FAILED ||
                                     pa_stream_get_state(stream) == PA_STREAM_TERMINATED);
    };
    if (playback_ != nullptr && pa_stream_get_state(playback_) == PA_STREAM_READY) {
        playbackRan_ = true;
    }
    if (ended(capture_) || (ended(playback_) && !playbackRan_)) {
        return Change::failed;
    }
    if (ended(playback_)) {
        return Change::replayEnded;
    }
    return Change::none;
}

void IOPath::onReplayMoved() {
    const char* sink = playback_ != nullptr ? pa_stream_get_device_name(playback_) : nullptr;
    if (sink == nullptr || playbackSink_ == sink) {
        return;
    }
    // The first place it left counts, should it move on before the owner looks.
    replayMove_ = ReplayMove{replayMove_ ? replayMove_->from : playbackSink_, sink};
    playbackSink_ = sink;
    stateChanged_();
}

std::optional<IOPath::ReplayMove> IOPath::takeReplayMove() {
    return std::exchange(replayMove_, std::nullopt);
}

void IOPath::destroy() {
    kicked_ = false;
    replayMove_.reset();
    destroyStream(capture_);
    destroyStream(playback_);
}

void IOPath::destroyReplay() {
    destroyStream(playback_);
    replayMove_.reset();
    playbackSink_.clear();
}

// ---- The IO path, on libpulse's thread: nothing here allocates ----

// One IO block call per captured fragment.
void IOPath::onCaptured() {
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (capture_ != nullptr && pa_stream_peek(capture_, &data, &bytes) == 0 && bytes > 0) {
        std::size_t offset = 0;
        while (offset < bytes) {
            std::size_t length = std::min(bytes - offset, maxChunk_);
            length -= length % frameBytes_;
            if (length == 0) {
                break;
            }
            // A hole in the captured data reads as silence.
            const void* chunk = data != nullptr ? static_cast<const unsigned char*>(data) + offset
                                                : static_cast<const void*>(silence_.data());
            runBlock(chunk, length);
            offset += length;
        }
        pa_stream_drop(capture_);
    }
}

void IOPath::runBlock(const void* input, std::size_t length) {
    const auto size = static_cast<std::uint32_t>(length);
    inBuffer_ = AudioBuffer{channels_, size, const_cast<void*>(input)};
    outBuffer_ = AudioBuffer{channels_, size, output_.data()};
    const AudioTimeStamp now{sampleTime_, monotonicNanos()};
    block_(&now, &inList_, &now, &outList_, &now);
    sampleTime_ += static_cast<double>(length / frameBytes_);
    counters_.fragments.fetch_add(1, std::memory_order_relaxed);
    counters_.frames.fetch_add(length / frameBytes_, std::memory_order_relaxed);

    if (playback_ == nullptr || pa_stream_get_state(playback_) != PA_STREAM_READY) {
        return;
    }
    droppedBytes_ +=
        pending_.push({reinterpret_cast<const unsigned char*>(output_.data()), length});
    drainOutput();
}

// Hands the replay what it asks for of the output waiting in the ring.
void IOPath::drainOutput() {
    if (const auto target = target_.settle(std::chrono::steady_clock::now())) {
        setTarget(*target);
    }
    if (droppedBytes_ >= frameBytes_) {
        counters_.dropped.fetch_add(droppedBytes_ / frameBytes_, std::memory_order_relaxed);
        droppedBytes_ %= frameBytes_;
    }
    if (playback_ == nullptr || pa_stream_get_state(playback_) != PA_STREAM_READY) {
        return;
    }
    const std::size_t writable = pa_stream_writable_size(playback_);
    if (writable == static_cast<std::size_t>(-1)) {
        return;
    }
    std::size_t want = std::min(writable, pending_.size());
    want -= want % frameBytes_;
    while (want > 0) {
        const auto piece = pending_.front(want);
        pa_stream_write(playback_, piece.data(), piece.size(), nullptr, 0, PA_SEEK_RELATIVE);
        pending_.pop(piece.size());
        want -= piece.size();
    }
}

void IOPath::onUnderflow() {
    counters_.underflows.fetch_add(1, std::memory_order_relaxed);
    if (const auto target = target_.underflow(std::chrono::steady_clock::now())) {
        setTarget(*target);
    }
}

}  // namespace morvale::pulse
