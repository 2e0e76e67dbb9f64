// PulseAudioSystem::Impl: the IO path. Real-time code on libpulse's thread:
// nothing here allocates.

#include <algorithm>
#include <cstdint>
#include <ctime>

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

namespace {

std::uint64_t monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

// The IO path, on libpulse's thread: one IO block call per captured
// fragment. Nothing here allocates.
void Impl::onCaptured(IOProc& proc) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (proc.capture != nullptr && pa_stream_peek(proc.capture, &data, &bytes) == 0 &&
           bytes > 0) {
        std::size_t offset = 0;
        while (offset < bytes) {
            std::size_t length = std::min(bytes - offset, proc.maxChunk);
            length -= length % proc.frameBytes;
            if (length == 0) {
                break;
            }
            // A hole in the captured data reads as silence.
            const void* chunk = data != nullptr ? static_cast<const unsigned char*>(data) + offset
                                                : static_cast<const void*>(proc.silence.data());
            runBlock(proc, chunk, length);
            offset += length;
        }
        pa_stream_drop(proc.capture);
    }
}

void Impl::runBlock(IOProc& proc, const void* input, std::size_t length) {
    const auto size = static_cast<std::uint32_t>(length);
    proc.inBuffer = AudioBuffer{proc.channels, size, const_cast<void*>(input)};
    proc.outBuffer = AudioBuffer{proc.channels, size, proc.output.data()};
    const AudioTimeStamp now{proc.sampleTime, monotonicNanos()};
    proc.block(&now, &proc.inList, &now, &proc.outList, &now);
    proc.sampleTime += static_cast<double>(length / proc.frameBytes);
    fragments.fetch_add(1, std::memory_order_relaxed);
    frames.fetch_add(length / proc.frameBytes, std::memory_order_relaxed);

    if (proc.playback == nullptr || pa_stream_get_state(proc.playback) != PA_STREAM_READY) {
        return;
    }
    proc.droppedBytes +=
        proc.pending.push({reinterpret_cast<const unsigned char*>(proc.output.data()), length});
    drainOutput(proc);
}

// Hands the replay what it asks for of the output waiting in the ring.
void Impl::drainOutput(IOProc& proc) {
    if (const auto target = proc.target.settle(std::chrono::steady_clock::now())) {
        setTarget(proc, *target);
    }
    if (proc.droppedBytes >= proc.frameBytes) {
        dropped.fetch_add(proc.droppedBytes / proc.frameBytes, std::memory_order_relaxed);
        proc.droppedBytes %= proc.frameBytes;
    }
    if (proc.playback == nullptr || pa_stream_get_state(proc.playback) != PA_STREAM_READY) {
        return;
    }
    const std::size_t writable = pa_stream_writable_size(proc.playback);
    if (writable == static_cast<std::size_t>(-1)) {
        return;
    }
    std::size_t want = std::min(writable, proc.pending.size());
    want -= want % proc.frameBytes;
    while (want > 0) {
        const auto piece = proc.pending.front(want);
        pa_stream_write(proc.playback, piece.data(), piece.size(), nullptr, 0, PA_SEEK_RELATIVE);
        proc.pending.pop(piece.size());
        want -= piece.size();
    }
}

}  // namespace morvale::pulse
