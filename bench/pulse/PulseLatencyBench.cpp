// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a tap on a private sound server (started and ended here):
//   - added latency: a test client plays a click every 200 ms; the onset phase
//     of the clicks on the output's monitor is compared without and with a
//     tap at gain 1 (and again after the tap is stopped, as a check that
//     moving the stream in and out loses nothing);
//   - underflows of the replay streams per minute after start-up, and the
//     frames left out to keep the output queue bounded;
//   - CPU of this process and of the server per active tap, against the same
//     clients playing untapped;
//   - with --streams N: the server's CPU for one application playing N
//     streams that keep two seconds of audio in the server (as paplay's do),
//     untapped and then tapped in one session;
//   - with --load S: dropouts of a tapped and an untapped stream, recorded
//     side by side on two outputs while stress-ng keeps twice as many
//     workers busy as there are cores, for S seconds.
// Usage: morvale_pulse_latency [--seconds N (default 30)] [--taps N (default 1)]
//                              [--streams N] [--load S] [--fragment MS] [--target MS]
//                              [--no-realtime]
// The test player is the one built in <build>/tools/soundlab.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PulseHarness.h"
#include "audio/AudioProcess.h"
#include "audio/CA.h"
#include "audio/TapSession.h"
#include "platform/FourCC.h"
#include "platform/pulse/PulseAudioSystem.h"

namespace {

using namespace std::chrono_literals;
using namespace morvale;
using namespace morvale::pulse::testing;

constexpr std::size_t kPeriod = Recorder::kRate / 5;  // frames between clicks

// Onset phase (in frames, within the click period) of every click in a stereo
// recording: the first frame above the threshold after a quiet stretch.
std::vector<double> onsetPhases(const std::vector<float>& samples, std::size_t fromFrame) {
    std::vector<double> phases;
    std::size_t quiet = 0;
    for (std::size_t f = fromFrame; f < samples.size() / 2; ++f) {
        if (std::fabs(samples[2 * f]) > 0.1f) {
            if (quiet > kPeriod / 2) {
                phases.push_back(static_cast<double>(f % kPeriod));
            }
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return phases;
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median onset phase of the clicks recorded over the next `span`.
double measurePhase(const Recorder& recorder, std::chrono::milliseconds span) {
    const std::size_t from = recorder.samples().size() / 2;
    std::this_thread::sleep_for(span);
    return median(onsetPhases(recorder.samples(), from));
}

double phaseShiftMs(double from, double to) {
    double shift =
        std::fmod(to - from + static_cast<double>(kPeriod), static_cast<double>(kPeriod));
    if (shift > static_cast<double>(kPeriod) / 2) {
        shift -= static_cast<double>(kPeriod);
    }
    return shift * 1000.0 / Recorder::kRate;
}

double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    if (stat.empty()) {
        return 0;
    }
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double cpuSeconds(const std::vector<pid_t>& pids) {
    double sum = 0;
    for (const pid_t pid : pids) {
        sum += cpuSeconds(pid);
    }
    return sum;
}

struct Cpu {
    double self;
    double server;
};

// Percent of one core over the next `span`.
Cpu measureCpu(const PulseServer& server, std::chrono::seconds span) {
    const double s0 = cpuSeconds(::getpid()), v0 = cpuSeconds(server.pids());
    std::this_thread::sleep_for(span);
    const double seconds = static_cast<double>(span.count());
    return {(cpuSeconds(::getpid()) - s0) / seconds * 100.0,
            (cpuSeconds(server.pids()) - v0) / seconds * 100.0};
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one;
}

class Processes final : public ProcessInfo, public RunningApplications {
public:
    std::int32_t ownPid() const override { return static_cast<std::int32_t>(::getpid()); }
    int procName(std::int32_t, char* buffer, std::uint32_t) const override {
        buffer[0] = '\0';
        return 0;
    }
    std::optional<RunningApplication> application(std::int32_t) const override {
        return std::nullopt;
    }
};


struct Settings {
    int seconds = 30;
    int taps = 1;
    int streams = 0;
    int load = 0;
    pulse::PulseAudioSystem::Options backend;
};

// A backend on the server and the clients it taps.
class Bench {
public:
    Bench(const PulseServer& server, const Settings& settings) {
        auto options = settings.backend;
        options.server = server.address();
        hw_ = std::make_unique<pulse::PulseAudioSystem>(identifier_, options);
        device_ = CA::defaultOutputDevice(*hw_);
        uid_ = CA::string(*hw_, device_, kDeviceUID).value_or("");
    }

    std::unique_ptr<Child> start(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), helperPath("morvale_pulse_test_player"));
        auto child = std::make_unique<Child>(arguments);
        if (!child->waitForOutput("ready", 20s)) {
            // Thrown, not exited: the server and the clients started so far
            // are ended on the way out.
            throw std::runtime_error("the test player did not start (" + arguments[0] + ")");
        }
        return child;
    }

    std::vector<AudioObjectID> objectsOf(pid_t pid) {
        std::vector<AudioObjectID> objects;
        eventually(
            [&] {
                objects.clear();
                for (const auto& p : AudioProcess::all({*hw_, processes_, processes_})) {
                    if (p.pid == pid) {
                        objects.push_back(p.objectID);
                    }
                }
                return !objects.empty();
            },
            5s);
        return objects;
    }

    std::unique_ptr<TapSession> tap(pid_t pid, float gain) {
        return std::make_unique<TapSession>(*hw_, objectsOf(pid), device_, uid_, gain);
    }

    pulse::PulseAudioSystem& hw() { return *hw_; }

private:
    FakeIdentifier identifier_;
    Processes processes_;
    std::unique_ptr<pulse::PulseAudioSystem> hw_;
    AudioObjectID device_ = 0;
    std::string uid_;
};

void latencyAndCpuPerTap(const Settings& settings) {
    PulseServer server;
    Bench bench(server, settings);
    std::vector<std::unique_ptr<Child>> clients;
    clients.push_back(bench.start({"--click"}));
    for (int i = 1; i < settings.taps; ++i) {
        // Further tapped clients play a quiet tone under the clicks.
        clients.push_back(bench.start({"--amplitude=0.01"}));
    }

    double direct = NAN, tapped = NAN, after = NAN;
    {
        Recorder recorder(server.address(), "speakers.monitor");
        std::this_thread::sleep_for(500ms);
        direct = measurePhase(recorder, 3s);
        {
            const auto session = bench.tap(clients[0]->pid(), 1.0f);
            std::this_thread::sleep_for(1s);
            tapped = measurePhase(recorder, 3s);
        }
        std::this_thread::sleep_for(500ms);
        after = measurePhase(recorder, 3s);
    }

    const auto window = std::chrono::seconds(settings.seconds);
    const Cpu untapped = measureCpu(server, window);
    std::vector<std::unique_ptr<TapSession>> sessions;
    for (const auto& client : clients) {
        sessions.push_back(bench.tap(client->pid(), 0.5f));
    }
    std::this_thread::sleep_for(1s);  // start-up
    const auto before = bench.hw().ioStats();
    const Cpu withTaps = measureCpu(server, window);
    const auto stats = bench.hw().ioStats();
    sessions.clear();

    const double minutes = static_cast<double>(settings.seconds) / 60.0;
    const int taps = settings.taps;
    std::printf("%s private server, %d tap(s), %d s windows, load average %s\n",
                PulseServer::onPipeWire() ? "PipeWire" : "PulseAudio", taps, settings.seconds,
                loadAverage().c_str());
    std::printf("IO thread real-time                    %6s\n", stats.realtime ? "yes" : "no");
    std::printf("added latency of a tap (click onset)   %6.1f ms\n", phaseShiftMs(direct, tapped));
    std::printf("after the tap stopped (check: ~0)      %6.1f ms\n", phaseShiftMs(direct, after));
    std::printf("underflows per minute after start-up   %6.1f\n",
                static_cast<double>(stats.underflows - before.underflows) / minutes);
    std::printf("frames left out per minute (bounding)  %6.0f\n",
                static_cast<double>(stats.droppedFrames - before.droppedFrames) / minutes);
    std::printf("frames captured per second             %6.0f\n",
                static_cast<double>(stats.frames - before.frames) / settings.seconds);
    std::printf("IO block calls per second              %6.1f\n",
                static_cast<double>(stats.fragments - before.fragments) / settings.seconds);
    std::printf("CPU, this process, per tap             %6.2f %% of a core (untapped %.2f %%)\n",
                (withTaps.self - untapped.self) / taps, untapped.self);
    std::printf("CPU, server, per tap                   %6.2f %% of a core (untapped %.2f %%)\n",
                (withTaps.server - untapped.server) / taps, untapped.server);
}

void cpuOfManyStreams(const Settings& settings) {
    PulseServer server;
    Bench bench(server, settings);
    const auto crowd = bench.start(
        {"--streams=" + std::to_string(settings.streams), "--server-buffer", "--amplitude=0.01"});
    const auto window = std::chrono::seconds(settings.seconds);
    std::this_thread::sleep_for(2s);
    const Cpu untapped = measureCpu(server, window);
    const auto session = bench.tap(crowd->pid(), 0.5f);
    std::this_thread::sleep_for(2s);
    const auto before = bench.hw().ioStats();
    const Cpu tapped = measureCpu(server, window);
    const auto stats = bench.hw().ioStats();
    std::printf(
        "%s private server, one application with %d streams, %d s windows, load average %s\n",
        PulseServer::onPipeWire() ? "PipeWire" : "PulseAudio", settings.streams, settings.seconds,
        loadAverage().c_str());
    std::printf("CPU, server, untapped                  %6.2f %% of a core\n", untapped.server);
    std::printf(
        "CPU, server, tapped                    %6.2f %% of a core (%.3f %% per stream more)\n",
        tapped.server, (tapped.server - untapped.server) / settings.streams);
    std::printf("CPU, this process, tapped              %6.2f %% of a core\n", tapped.self);
    std::printf("underflows while tapped                %6llu\n",
                static_cast<unsigned long long>(stats.underflows - before.underflows));
}

// What a listener notices of a sine recording: 20 ms windows whose level
// fell below half the usual one, and stretches of silence of 1 ms or more.
struct Dropouts {
    std::size_t windows = 0;
    std::size_t dipped = 0;
    std::size_t gaps = 0;
    double longestGapMs = 0;
};

Dropouts dropoutsOf(const std::vector<float>& samples, std::size_t fromFrame) {
    constexpr std::size_t kWindow = Recorder::kRate / 50;
    constexpr std::size_t kGap = Recorder::kRate / 1000;
    std::vector<double> levels;
    for (std::size_t f = fromFrame; f + kWindow <= samples.size() / 2; f += kWindow) {
        double sum = 0;
        for (std::size_t i = f; i < f + kWindow; ++i) {
            sum += static_cast<double>(samples[2 * i]) * static_cast<double>(samples[2 * i]);
        }
        levels.push_back(std::sqrt(sum / kWindow));
    }
    Dropouts d;
    const double usual = median(levels);
    d.windows = levels.size();
    d.dipped = static_cast<std::size_t>(
        std::count_if(levels.begin(), levels.end(), [&](double l) { return l < usual / 2; }));
    std::size_t quiet = 0;
    for (std::size_t f = fromFrame; f <= samples.size() / 2; ++f) {
        if (f < samples.size() / 2 && std::fabs(samples[2 * f]) < 1e-3f) {
            ++quiet;
            continue;
        }
        if (quiet >= kGap) {
            ++d.gaps;
            d.longestGapMs =
                std::max(d.longestGapMs, 1000.0 * static_cast<double>(quiet) / Recorder::kRate);
        }
        quiet = 0;
    }
    return d;
}

void dropoutsUnderLoad(const Settings& settings) {
    PulseServer::Config config;
    config.secondSink = true;
    PulseServer server(config);
    Bench bench(server, settings);
    // The tapped stream is replayed to "speakers"; the untapped one plays
    // to "headphones" on its own.
    const auto tappedPlayer = bench.start({"--device=speakers"});
    const auto untappedPlayer = bench.start({"--device=headphones"});
    const auto session = bench.tap(tappedPlayer->pid(), 1.0f);
    Recorder tapped(server.address(), "speakers.monitor");
    Recorder untapped(server.address(), "headphones.monitor");
    std::this_thread::sleep_for(1s);
    const std::string background = loadAverage();
    const std::size_t tappedFrom = tapped.samples().size() / 2;
    const std::size_t untappedFrom = untapped.samples().size() / 2;
    const auto before = bench.hw().ioStats();
    const unsigned workers = 2 * std::max(1u, std::thread::hardware_concurrency());
    {
        Child stress({"stress-ng", "--quiet", "--cpu", std::to_string(workers), "--timeout",
                      std::to_string(settings.load) + "s"});
        std::this_thread::sleep_for(std::chrono::seconds(settings.load));
    }
    std::this_thread::sleep_for(500ms);  // what was played is recorded
    const auto stats = bench.hw().ioStats();
    const Dropouts t = dropoutsOf(tapped.samples(), tappedFrom);
    const Dropouts u = dropoutsOf(untapped.samples(), untappedFrom);
    std::printf(
        "%s private server, stress-ng --cpu %u for %d s, load average before %s, after %s\n",
        PulseServer::onPipeWire() ? "PipeWire" : "PulseAudio", workers, settings.load,
        background.c_str(), loadAverage().c_str());
    std::printf("                                        tapped   untapped\n");
    std::printf("20 ms windows below half level       %5zu/%zu %5zu/%zu\n", t.dipped, t.windows,
                u.dipped, u.windows);
    std::printf("gaps of 1 ms or more                   %6zu   %6zu\n", t.gaps, u.gaps);
    std::printf("longest gap                            %6.1f   %6.1f ms\n", t.longestGapMs,
                u.longestGapMs);
    std::printf("replay underflows                      %6llu\n",
                static_cast<unsigned long long>(stats.underflows - before.underflows));
    std::printf("replay frames left out (bounding)      %6llu\n",
                static_cast<unsigned long long>(stats.droppedFrames - before.droppedFrames));
    std::printf("IO thread real-time                    %6s\n", stats.realtime ? "yes" : "no");
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-realtime")
            settings.backend.realtime = false;
        if (i + 1 == argc)
            break;
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--seconds")
            settings.seconds = std::max(5, value);
        if (arg == "--taps")
            settings.taps = std::max(1, value);
        if (arg == "--streams")
            settings.streams = std::max(1, value);
        if (arg == "--load")
            settings.load = std::max(5, value);
        if (arg == "--fragment")
            settings.backend.fragment = std::chrono::milliseconds(std::max(1, value));
        if (arg == "--target")
            settings.backend.target = std::chrono::milliseconds(std::max(1, value));
    }
    try {
        if (settings.load > 0) {
            dropoutsUnderLoad(settings);
        } else if (settings.streams > 0) {
            cpuOfManyStreams(settings);
        } else {
            latencyAndCpuPerTap(settings);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
