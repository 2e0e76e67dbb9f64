// PulseAudioSystem::Impl: the capture and replay streams of IO procs, made,
// corked and destroyed as the tap sink, the master device and the tapped
// processes come and go.

#include <algorithm>
#include <cstdint>

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFFu;

std::size_t bytesFor(std::chrono::milliseconds span, std::uint32_t rate, std::uint32_t channels) {
    const auto frames = static_cast<std::size_t>(span.count()) * rate / 1000u;
    return std::max<std::size_t>(frames, 1) * channels * sizeof(float);
}

}  // namespace

const Impl::Tap* Impl::tapOf(const IOProc& proc) const {
    const auto agg = aggregates.find(proc.device);
    if (agg == aggregates.end()) {
        return nullptr;
    }
    const auto tap = taps.find(agg->second.tap);
    return tap == taps.end() ? nullptr : &tap->second;
}

// Whether a tapped process plays (has an uncorked stream); a silent tap
// corks its streams so that the real device can go idle.
bool Impl::tapIsSounding(const Tap& tap) const {
    return std::any_of(tap.members.begin(), tap.members.end(), [&](AudioObjectID id) {
        const auto* process = table.process(id);
        return process != nullptr && process->running;
    });
}

void Impl::updateStreams(IOProc& proc) {
    if (!proc.running) {
        destroyStreams(proc);
        return;
    }
    const Tap* tap = tapOf(proc);
    const SinkRecord* tapSink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
    const auto agg = aggregates.find(proc.device);
    const SinkRecord* master =
        agg != aggregates.end() ? table.sinkByName(agg->second.master) : nullptr;
    if (tapSink == nullptr || master == nullptr || tapSink->name != tap->sinkName) {
        return;  // not yet (or no longer) there; a later change brings them
    }
    const bool silent = !tapIsSounding(*tap);
    if (proc.capture == nullptr && proc.failure == kAudioNoError) {
        makeStreams(proc, *tapSink, *master, silent);
        return;
    }
    if (proc.ready() && proc.corked != silent) {
        proc.corked = silent;
        forget(pa_stream_cork(proc.capture, silent ? 1 : 0, nullptr, nullptr));
        forget(pa_stream_cork(proc.playback, silent ? 1 : 0, nullptr, nullptr));
        if (silent) {
            // What waits would be stale when the application plays again.
            forget(pa_stream_flush(proc.playback, nullptr, nullptr));
            proc.pendingSize = 0;
        }
    }
}

void Impl::makeStreams(IOProc& proc, const SinkRecord& tapSink, const SinkRecord& master,
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
    // The IO path's buffers, made here so that it never allocates.
    proc.channels = sampleSpec.channels;
    proc.frameBytes = pa_frame_size(&sampleSpec);
    proc.maxChunk = bytesFor(std::chrono::milliseconds(100), sampleSpec.rate, sampleSpec.channels);
    // Two fragments may wait for the server beyond its own target.
    proc.pendingCap = 2 * bytesFor(options.fragment, sampleSpec.rate, sampleSpec.channels);
    proc.pending.assign(proc.maxChunk + proc.pendingCap, 0);
    proc.pendingHead = 0;
    proc.pendingSize = 0;
    proc.droppedBytes = 0;
    proc.silence.assign(proc.maxChunk / sizeof(float), 0.0f);
    proc.output.assign(proc.maxChunk / sizeof(float), 0.0f);

    Proplist captureProps;
    captureProps.set(kStreamKey, "capture");
    captureProps.set(kRestoreIdKey, "morvale-capture");
    Proplist playbackProps;
    playbackProps.set(kStreamKey, "replay");
    playbackProps.set(kRestoreIdKey, "morvale-replay");
    proc.capture = pa_stream_new_with_proplist(context, "Morvale capture", &sampleSpec, &map,
                                               captureProps.list);
    proc.playback = pa_stream_new_with_proplist(context, "Morvale replay", &sampleSpec, &map,
                                                playbackProps.list);
    if (proc.capture == nullptr || proc.playback == nullptr) {
        proc.failure = kAudioHardwareUnspecifiedError;
        destroyStreams(proc);
        return;
    }
    const auto stateShim = [](pa_stream*, void* data) {
        auto* p = static_cast<IOProc*>(data);
        p->impl->onStreamState(*p);
    };
    pa_stream_set_state_callback(proc.capture, stateShim, &proc);
    pa_stream_set_state_callback(proc.playback, stateShim, &proc);
    pa_stream_set_read_callback(
        proc.capture,
        [](pa_stream*, std::size_t, void* data) {
            auto* p = static_cast<IOProc*>(data);
            p->impl->onCaptured(*p);
        },
        &proc);
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
            static_cast<IOProc*>(data)->impl->underflows.fetch_add(1, std::memory_order_relaxed);
        },
        &proc);

    const auto fragment = static_cast<std::uint32_t>(
        bytesFor(options.fragment, sampleSpec.rate, sampleSpec.channels));
    const auto target =
        static_cast<std::uint32_t>(bytesFor(options.target, sampleSpec.rate, sampleSpec.channels));
    pa_buffer_attr captureAttr{kUnknownSize, kUnknownSize, kUnknownSize, kUnknownSize, fragment};
    pa_buffer_attr playbackAttr{kUnknownSize, target, kUnknownSize, fragment, kUnknownSize};
    // The capture never moves: following the default onto a monitor would
    // play our own output back into itself.
    auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE;
    if (corked) {
        flags |= PA_STREAM_START_CORKED;
    }
    proc.corked = corked;
    const auto streamFlags = static_cast<pa_stream_flags_t>(flags);
    if (pa_stream_connect_record(proc.capture, tapSink.monitorName.c_str(), &captureAttr,
                                 streamFlags) < 0 ||
        pa_stream_connect_playback(proc.playback, master.name.c_str(), &playbackAttr, streamFlags,
                                   nullptr, nullptr) < 0) {
        proc.failure = kAudioHardwareUnspecifiedError;
        destroyStreams(proc);
    }
}

void Impl::onStreamState(IOProc& proc) {
    if (!proc.kicked && proc.ready()) {
        proc.kicked = true;
        kickTapSink(proc);
        reconcile();  // the tapped streams can move in now
    }
    for (pa_stream* stream : {proc.capture, proc.playback}) {
        if (stream == nullptr) {
            continue;
        }
        const auto s = pa_stream_get_state(stream);
        if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED) {
            // The tap sink or the master device went away: the session is
            // rebuilt by its owner, or the streams are made again on the
            // next connection.
            proc.failure = kAudioHardwareUnspecifiedError;
            destroyStreams(proc);
            break;
        }
    }
    wake();
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
    forget(pa_context_suspend_sink_by_index(context, sink->index, 1, nullptr, nullptr));
    forget(pa_context_suspend_sink_by_index(context, sink->index, 0, nullptr, nullptr));
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
