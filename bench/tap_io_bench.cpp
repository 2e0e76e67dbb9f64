// SPDX-License-Identifier: GPL-3.0-or-later
// The tap IO block beside a plain memcpy of the same output bytes. At the end
// it prints, for each IO block case, its time divided by the memcpy's.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/Gain.h"
#include "audio/TapIOBlock.h"

namespace {

using morvale::AudioBuffer;
using morvale::AudioBufferList;
using morvale::Gain;
using morvale::TapIOBlock;

constexpr std::uint32_t kFrames = 512;

std::vector<float> signal(std::size_t samples) {
    std::vector<float> data(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        data[i] = static_cast<float>(i % 97) / 97.0f - 0.5f;
    }
    return data;
}

AudioBuffer bufferOver(std::vector<float>& data, std::uint32_t channels) {
    return AudioBuffer{channels, static_cast<std::uint32_t>(data.size() * sizeof(float)),
                       data.data()};
}

// One tap channel layout into one output buffer at `steady` gain; `ramp`
// changes the gain before every cycle, so each cycle ramps. A gain above 1
// (a boost) runs the limiter too; at 4 the signal (peaks of 0.5) goes past
// full scale and is turned down.
void tapIO(benchmark::State& state, std::uint32_t inChannels, std::uint32_t outChannels,
           bool ramp, float steady = 0.5f) {
    auto gain = std::make_shared<Gain>(steady);
    TapIOBlock block(gain, 0, steady);
    std::vector<float> inData = signal(std::size_t{kFrames} * inChannels);
    std::vector<float> outData(std::size_t{kFrames} * outChannels);
    AudioBuffer inBuffer = bufferOver(inData, inChannels);
    AudioBuffer outBuffer = bufferOver(outData, outChannels);
    const AudioBufferList input{1, &inBuffer};
    AudioBufferList output{1, &outBuffer};
    bool high = false;
    for (auto _ : state) {
        if (ramp) {
            gain->setValue(high ? steady : steady / 2);
            high = !high;
        }
        block.run(&input, &output);
        benchmark::DoNotOptimize(outData.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(outData.size() * sizeof(float)));
}

void copyOutput(benchmark::State& state, std::uint32_t outChannels) {
    std::vector<float> from = signal(std::size_t{kFrames} * outChannels);
    std::vector<float> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size() * sizeof(float));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(to.size() * sizeof(float)));
}

BENCHMARK_CAPTURE(copyOutput, stereo, 2);
BENCHMARK_CAPTURE(tapIO, stereo, 2, 2, false);
BENCHMARK_CAPTURE(tapIO, stereo_ramp, 2, 2, true);
BENCHMARK_CAPTURE(tapIO, stereo_boost, 2, 2, false, 4.0f);
// A device with eight output channels fed by the stereo tap: L R L R L R L R.
BENCHMARK_CAPTURE(copyOutput, 8ch, 8);
BENCHMARK_CAPTURE(tapIO, 8ch, 2, 8, false);
BENCHMARK_CAPTURE(tapIO, 8ch_ramp, 2, 8, true);
// Eight tapped channels into eight: the identity mapping at that width.
BENCHMARK_CAPTURE(tapIO, 8ch_from_8ch, 8, 8, false);

// The console output, then one line per IO block case with its ratio to the
// memcpy of the same output width.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    // Keeps each case's time: the median when repetitions are asked for, else
    // the one run's.
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[name] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Iteration) {
                times_[name] = run.GetAdjustedCPUTime();
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, time] : medians_) {
            times_[name] = time;
        }
        for (const auto& [name, time] : times_) {
            const std::string prefix = "tapIO/";
            if (name.rfind(prefix, 0) != 0) {
                continue;
            }
            const std::string layout = name.substr(prefix.size());
            const std::string width = layout.rfind("stereo", 0) == 0 ? "stereo" : "8ch";
            const auto copy = times_.find("copyOutput/" + width);
            if (copy != times_.end() && copy->second > 0.0) {
                char line[96];
                std::snprintf(line, sizeof line,
                              "ratio %-14s %5.2fx memcpy of the same output bytes\n",
                              layout.c_str(), time / copy->second);
                GetOutputStream() << line;
            }
        }
    }

private:
    std::map<std::string, double> times_;
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
