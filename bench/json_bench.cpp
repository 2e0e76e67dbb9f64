// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the settings file: the densest files the store accepts (just under
// its 256 KiB cap), timed, with the heap that the value read holds.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <string>

#include "platform/linux/Json.h"

namespace {

constexpr std::size_t kCap = 256 * 1024;

// A list of single-digit numbers: the most values per byte.
std::string denseNumbers() {
    std::string text = "[0";
    while (text.size() + 3 < kCap) {
        text += ",0";
    }
    return text + "]";
}

// Remembered volumes, as many as fit: the file as it grows in real use.
std::string manyVolumes() {
    std::string text = "{\"volumes\": {";
    for (int i = 0;; ++i) {
        std::string entry = "\"org.example.Application" + std::to_string(i) + "\": 0.25";
        if (text.size() + entry.size() + 8 >= kCap) {
            break;
        }
        text += (i == 0 ? "" : ", ") + entry;
    }
    return text + "}, \"duckBoostDB\": 6}";
}

// Lists nested as deep as accepted, then wide: the reader's deepest state.
std::string deepAndWide() {
    std::string text(64 - 1, '[');
    text += "[0";
    while (text.size() + 64 + 3 < kCap) {
        text += ",0";
    }
    return text + "]" + std::string(64 - 1, ']');
}

void parse(benchmark::State& state, const std::string& text) {
    std::size_t heldBytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto parsed = morvale::LinuxDesktop::parseJson(text);
        benchmark::DoNotOptimize(parsed);
        if (!parsed.value) {
            state.SkipWithError(parsed.error.c_str());
            break;
        }
        heldBytes = mallinfo2().uordblks - before;
    }
    state.counters["bytes"] = static_cast<double>(text.size());
    state.counters["held_KiB"] = static_cast<double>(heldBytes) / 1024.0;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

BENCHMARK_CAPTURE(parse, dense_numbers, denseNumbers())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parse, many_volumes, manyVolumes())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parse, deep_and_wide, deepAndWide())->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
