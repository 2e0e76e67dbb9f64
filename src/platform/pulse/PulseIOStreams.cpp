// PulseAudioSystem::Impl: the capture and replay streams of IO procs, made,
// corked and destroyed as the tap sink, the master device and the tapped
// processes come and go.

#include <algorithm>
#include <cstdint>

#include "platform/pulse/IOPeriod.h"
#include "platform/pulse/PulseImpl.h"

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
ReplayTarget replayTarget(const PulseAudioSystem::Options& options,
                          std::chrono::milliseconds period) {
    const auto shortest = options.target + std::max(period - options.fragment, {});
    return ReplayTarget(shortest, kLongestTarget * shortest, kCalm);
}

// How much the replay asks for at a time: half a period (PipeWire runs the
// replay in periods twice that long), at least the shortest period.
std::chrono::milliseconds replayRequest(const PulseAudioSystem::Options& options,
                                        std::chrono::milliseconds period) {
    return std::max(options.fragment, period / 2);
}

}  // namespace

const Impl::Tap* Impl::tapOf(const IOProc& proc) const {
    const auto agg = aggregates.find(proc.device);
    if (agg == aggregates.end()) {
        return nullptr;
    }
    const auto tap = tapSinks.taps().find(agg->second.tap);
    return tap == tapSinks.taps().end() ? nullptr : &tap->second;
}

// Whether a tapped process plays (has an uncorked stream); a silent tap
// corks its streams so that the real device can go idle.
bool Impl::tapIsSounding(const Tap& tap) const {
    return std::any_of(tap.members.begin(), tap.members.end(), [&](AudioObjectID id) {
        const auto* process = table.process(id);
        return process != nullptr && process->running;
    });
}

// Where the replay plays: where the tapped streams play on their own (see
// StreamOrigins), while that sink is there; else the aggregate's master; or,
// once that has gone too, the default (until the owner makes a new session
// for the new default).
const SinkRecord* Impl::replaySink(const IOProc& proc, const Tap& tap) const {
    const auto agg = aggregates.find(proc.device);
    const std::string master = agg != aggregates.end() ? agg->second.master : std::string();
    for (const std::string& name :
         {tap.origins.replaySink(proc.playbackSink, master), master, table.lastRealDefault()}) {
        const SinkRecord* sink = table.sinkByName(name);
        if (sink != nullptr && !sink->isTap()) {
            return sink;
        }
    }
    return nullptr;
}

void Impl::updateStreams(IOProc& proc) {
    if (!proc.running) {
        destroyStreams(proc);
        return;
    }
    const Tap* tap = tapOf(proc);
    const SinkRecord* tapSink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
    const SinkRecord* target = tap != nullptr ? replaySink(proc, *tap) : nullptr;
    if (tapSink == nullptr || target == nullptr || tapSink->name != tap->sinkName) {
        return;  // not yet (or no longer) there; a later change brings them
    }
    const bool silent = !tapIsSounding(*tap);
    if (proc.capture == nullptr && proc.failure == kAudioNoError) {
        makeStreams(proc, *tapSink, *target, silent);
        return;
    }
    if (proc.reading() && proc.playbackSink != target->name) {
        // The tapped streams play elsewhere now (or the replay's sink went):
        // the replay follows, and the capture runs on, so they stay captured
        // meanwhile.
        destroyStream(proc.playback);
        proc.pending.clear();
        if (!connectPlayback(proc, *target, proc.corked)) {
            proc.failure = kAudioHardwareUnspecifiedError;
            destroyStreams(proc);
        }
        return;
    }
    if (proc.ready() && proc.corked != silent) {
        proc.corked = silent;
        forget(pa_stream_cork(proc.capture, silent ? 1 : 0, nullptr, nullptr));
        forget(pa_stream_cork(proc.playback, silent ? 1 : 0, nullptr, nullptr));
        if (silent) {
            // What waits would be stale when the application plays again,
            // and a longer target is not needed once it does.
            forget(pa_stream_flush(proc.playback, nullptr, nullptr));
            proc.pending.clear();
            if (const auto shorter = proc.target.restart(std::chrono::steady_clock::now())) {
                setTarget(proc, *shorter);
            }
        }
    }
    if (proc.ready()) {
        // The tap's streams came or went: their period may be another now.
        if (const auto period = tapPeriod(*tap); period != proc.period) {
            setPeriod(proc, period);
        }
    }
}

void Impl::makeStreams(IOProc& proc, const SinkRecord& tapSink, const SinkRecord& target,
                       bool corked) {
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
    proc.channels = sampleSpec.channels;
    proc.frameBytes = pa_frame_size(&sampleSpec);
    proc.maxChunk = bytesFor(std::chrono::milliseconds(100), sampleSpec.rate, sampleSpec.channels);
    proc.period = tapPeriod(*tapOf(proc));
    proc.pending.reset(proc.maxChunk + 2 * bytesFor(kLongestPeriods * options.fragment,
                                                    sampleSpec.rate, sampleSpec.channels),
                       2 * bytesFor(proc.period, sampleSpec.rate, sampleSpec.channels));
    proc.droppedBytes = 0;
    proc.target = replayTarget(options, proc.period);
    proc.target.restart(std::chrono::steady_clock::now());
    proc.silence.assign(proc.maxChunk / sizeof(float), 0.0f);
    proc.output.assign(proc.maxChunk / sizeof(float), 0.0f);

    Proplist captureProps;
    captureProps.set(kStreamKey, "capture");
    captureProps.set(kRestoreIdKey, "morvale-capture");
    proc.capture =
        pa_stream_new_with_proplist(connection.context(), (streamName(proc) + " (capture)").c_str(),
                                    &sampleSpec, &map, captureProps.list);
    if (proc.capture == nullptr) {
        proc.failure = kAudioHardwareUnspecifiedError;
        return;
    }
    pa_stream_set_state_callback(proc.capture, &Impl::streamStateShim, &proc);
    pa_stream_set_read_callback(
        proc.capture,
        [](pa_stream*, std::size_t, void* data) {
            auto* p = static_cast<IOProc*>(data);
            p->impl->onCaptured(*p);
        },
        &proc);

    const auto period =
        static_cast<std::uint32_t>(bytesFor(proc.period, sampleSpec.rate, sampleSpec.channels));
    pa_buffer_attr captureAttr{kUnknownSize, kUnknownSize, kUnknownSize, kUnknownSize, period};
    // The capture never moves: following the default onto a monitor would
    // play our own output back into itself.
    auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE;
    if (corked) {
        flags |= PA_STREAM_START_CORKED;
    }
    proc.corked = corked;
    if (pa_stream_connect_record(proc.capture, tapSink.monitorName.c_str(), &captureAttr,
                                 static_cast<pa_stream_flags_t>(flags)) < 0 ||
        !connectPlayback(proc, target, corked)) {
        proc.failure = kAudioHardwareUnspecifiedError;
        destroyStreams(proc);
    }
}

// The replay, in the capture's format, on the given sink.
bool Impl::connectPlayback(IOProc& proc, const SinkRecord& target, bool corked) {
    const pa_sample_spec& sampleSpec = *pa_stream_get_sample_spec(proc.capture);
    Proplist playbackProps;
    playbackProps.set(kStreamKey, "replay");
    playbackProps.set(kRestoreIdKey, "morvale-replay");
    // A role of its own, whatever the environment gives the connection: a
    // replay is neither a call (that would make role-cork silence the music
    // of others) nor music or video (that would make it cork the replay,
    // and with it every tapped stream inside).
    playbackProps.set(PA_PROP_MEDIA_ROLE, kReplayRole);
    proc.playback =
        pa_stream_new_with_proplist(connection.context(), streamName(proc).c_str(), &sampleSpec,
                                    pa_stream_get_channel_map(proc.capture), playbackProps.list);
    if (proc.playback == nullptr) {
        return false;
    }
    proc.playbackSink = target.name;
    proc.playbackRan = false;
    pa_stream_set_state_callback(proc.playback, &Impl::streamStateShim, &proc);
    pa_stream_set_write_callback(
        proc.playback,
        [](pa_stream*, std::size_t, void* data) {
            auto* p = static_cast<IOProc*>(data);
            p->impl->drainOutput(*p);
        },
        &proc);
    pa_stream_set_underflow_callback(
        proc.playback,
        [](pa_stream*, void* data) {
            auto* p = static_cast<IOProc*>(data);
            p->impl->onUnderflow(*p);
        },
        &proc);
    const auto length = static_cast<std::uint32_t>(
        bytesFor(proc.target.current(), sampleSpec.rate, sampleSpec.channels));
    const auto request = static_cast<std::uint32_t>(
        bytesFor(replayRequest(options, proc.period), sampleSpec.rate, sampleSpec.channels));
    pa_buffer_attr playbackAttr{kUnknownSize, length, kUnknownSize, request, kUnknownSize};
    // The replay does not move either: where it plays is decided here.
    auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE;
    if (corked) {
        flags |= PA_STREAM_START_CORKED;
    }
    return pa_stream_connect_playback(proc.playback, target.name.c_str(), &playbackAttr,
                                      static_cast<pa_stream_flags_t>(flags), nullptr, nullptr) >= 0;
}

// What other mixers list the IO proc's streams as: the aggregate device's name.
std::string Impl::streamName(const IOProc& proc) const {
    const auto agg = aggregates.find(proc.device);
    return agg != aggregates.end() && !agg->second.name.empty() ? agg->second.name : "Morvale";
}

void Impl::streamStateShim(pa_stream*, void* data) {
    auto* proc = static_cast<IOProc*>(data);
    proc->impl->onStreamState(*proc);
}

void Impl::onUnderflow(IOProc& proc) {
    underflows.fetch_add(1, std::memory_order_relaxed);
    if (const auto target = proc.target.underflow(std::chrono::steady_clock::now())) {
        setTarget(proc, *target);
    }
}

// The streams of a tap that most of them are content with, see ioPeriod.
std::chrono::milliseconds Impl::tapPeriod(const Tap& tap) const {
    std::vector<std::chrono::microseconds> latencies;
    for (const AudioObjectID id : tap.members) {
        if (const auto* process = table.process(id)) {
            for (const std::uint32_t input : process->sinkInputs) {
                if (const auto it = table.sinkInputs().find(input);
                    it != table.sinkInputs().end()) {
                    latencies.push_back(it->second.latency);
                }
            }
        }
    }
    return ioPeriod(options.fragment, latencies);
}

// Sizes the running IO path for a new period: the capture's fragments, and
// the replay's target and requests, which follow it.
void Impl::setPeriod(IOProc& proc, std::chrono::milliseconds period) {
    proc.period = period;
    proc.target = replayTarget(options, period);
    proc.target.restart(std::chrono::steady_clock::now());
    const pa_sample_spec* spec = pa_stream_get_sample_spec(proc.capture);
    const auto bytes = bytesFor(period, spec->rate, spec->channels);
    proc.droppedBytes += proc.pending.setLimit(2 * bytes);
    pa_buffer_attr attr{kUnknownSize, kUnknownSize, kUnknownSize, kUnknownSize,
                        static_cast<std::uint32_t>(bytes)};
    forget(pa_stream_set_buffer_attr(proc.capture, &attr, nullptr, nullptr));
    setTarget(proc, proc.target.current());
}

void Impl::setTarget(IOProc& proc, std::chrono::milliseconds target) {
    if (proc.playback == nullptr || pa_stream_get_state(proc.playback) != PA_STREAM_READY) {
        return;
    }
    const pa_sample_spec* spec = pa_stream_get_sample_spec(proc.playback);
    const auto request = replayRequest(options, proc.period);
    pa_buffer_attr attr{
        kUnknownSize, static_cast<std::uint32_t>(bytesFor(target, spec->rate, spec->channels)),
        kUnknownSize, static_cast<std::uint32_t>(bytesFor(request, spec->rate, spec->channels)),
        kUnknownSize};
    forget(pa_stream_set_buffer_attr(proc.playback, &attr, nullptr, nullptr));
}

void Impl::onStreamState(IOProc& proc) {
    if (!proc.kicked && proc.ready()) {
        proc.kicked = true;
        kickTapSink(proc);
        reconcile();  // the tapped streams can move in now
    }
    const auto ended = [](pa_stream* stream) {
        return stream != nullptr && (pa_stream_get_state(stream) == PA_STREAM_FAILED ||
                                     pa_stream_get_state(stream) == PA_STREAM_TERMINATED);
    };
    if (proc.playback != nullptr && pa_stream_get_state(proc.playback) == PA_STREAM_READY) {
        proc.playbackRan = true;
    }
    if (ended(proc.capture) || (ended(proc.playback) && !proc.playbackRan)) {
        // The tap sink went away, or the replay could not start: the session
        // is rebuilt by its owner, or the streams are made again on the next
        // connection.
        proc.failure = kAudioHardwareUnspecifiedError;
        destroyStreams(proc);
    } else if (ended(proc.playback)) {
        // The sink the replay played to went away: the replay is made again
        // where it plays now, while the capture runs on.
        destroyStream(proc.playback);
        proc.playbackSink.clear();
        reconcile();
    }
    connection.wake();
}

// PulseAudio's null sink arms its first period with the long latency it had
// before our capture asked for short fragments, so the first captured data
// would come only after about two seconds. Suspending and resuming it
// restarts its timing with the short period.
// PipeWire's graph takes the short quantum at once, and a suspend there
// clears the formats of the sink's ports while our capture is linked to
// them: now and then one monitor port is not set up again and its channel
// stays silent for as long as the tap lives. So PipeWire is left alone.
void Impl::kickTapSink(const IOProc& proc) {
    if (pipeWire) {
        return;
    }
    const Tap* tap = tapOf(proc);
    const SinkRecord* sink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
    if (sink == nullptr) {
        return;
    }
    forget(
        pa_context_suspend_sink_by_index(connection.context(), sink->index, 1, nullptr, nullptr));
    forget(
        pa_context_suspend_sink_by_index(connection.context(), sink->index, 0, nullptr, nullptr));
}

void Impl::destroyStream(pa_stream*& stream) {
    if (stream == nullptr) {
        return;
    }
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream, nullptr, nullptr);
    if (pa_stream_get_state(stream) == PA_STREAM_READY ||
        pa_stream_get_state(stream) == PA_STREAM_CREATING) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
    stream = nullptr;
}

void Impl::destroyStreams(IOProc& proc) {
    proc.kicked = false;
    destroyStream(proc.capture);
    destroyStream(proc.playback);
}

}  // namespace morvale::pulse
