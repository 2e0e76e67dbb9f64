// Measures a tap on a private PulseAudio server (started and ended here):
//   - added latency: a test client plays a click every 200 ms; the onset phase
//     of the clicks on the output's monitor is compared without and with a
//     tap at gain 1 (and again after the tap is stopped, as a check that
//     moving the stream in and out loses nothing);
//   - underflows of the replay streams per minute after start-up, and the
//     frames left out to keep the output queue bounded;
//   - CPU of this process and of the server per active tap, against the same
//     clients playing untapped.
// Usage: morvale_pulse_latency [--seconds N (default 30)] [--taps N (default 1)]
// The helper player is looked for next to the test executables
// (<build>/tests/pulse/morvale_pulse_test_player).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
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

struct Cpu {
    double self;
    double server;
};

Cpu measureCpu(pid_t server, std::chrono::seconds span) {
    const double s0 = cpuSeconds(::getpid()), v0 = cpuSeconds(server);
    std::this_thread::sleep_for(span);
    const double seconds = static_cast<double>(span.count());
    return {(cpuSeconds(::getpid()) - s0) / seconds * 100.0,
            (cpuSeconds(server) - v0) / seconds * 100.0};
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

std::string playerPath() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    for (const auto& candidate : {self / "morvale_pulse_test_player",
                                  self / "../../tests/pulse/morvale_pulse_test_player"}) {
        if (std::filesystem::exists(candidate)) {
            return candidate.string();
        }
    }
    return "morvale_pulse_test_player";
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    int taps = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds")
            seconds = std::max(5, std::stoi(argv[i + 1]));
        if (arg == "--taps")
            taps = std::max(1, std::stoi(argv[i + 1]));
    }

    PulseServer server;
    const std::string player = playerPath();
    std::vector<std::unique_ptr<Child>> clients;
    clients.push_back(std::make_unique<Child>(std::vector<std::string>{player, "--click"}));
    for (int i = 1; i < taps; ++i) {
        // Further tapped clients play a quiet tone under the clicks.
        clients.push_back(
            std::make_unique<Child>(std::vector<std::string>{player, "--amplitude=0.01"}));
    }
    for (auto& c : clients) {
        if (!c->waitForOutput("ready", 5s)) {
            std::fprintf(stderr, "the test player did not start (%s)\n", player.c_str());
            return 1;
        }
    }

    FakeIdentifier identifier;
    pulse::PulseAudioSystem::Options options;
    options.server = server.address();
    pulse::PulseAudioSystem hw(identifier, options);
    Processes processes;
    std::vector<std::vector<AudioObjectID>> objects(clients.size());
    eventually([&] {
        const auto snapshot = AudioProcess::all({hw, processes, processes});
        bool all = true;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            objects[i].clear();
            for (const auto& p : snapshot) {
                if (p.pid == clients[i]->pid())
                    objects[i].push_back(p.objectID);
            }
            all = all && !objects[i].empty();
        }
        return all;
    });
    const AudioObjectID device = CA::defaultOutputDevice(hw);
    const std::string uid = CA::string(hw, device, kDeviceUID).value_or("");

    // ---- Latency ----
    double direct = NAN, tapped = NAN, after = NAN;
    {
        Recorder recorder(server.address(), "speakers.monitor");
        std::this_thread::sleep_for(500ms);
        direct = measurePhase(recorder, 3s);
        {
            TapSession session(hw, objects[0], device, uid, 1.0f);
            std::this_thread::sleep_for(1s);
            tapped = measurePhase(recorder, 3s);
        }
        std::this_thread::sleep_for(500ms);
        after = measurePhase(recorder, 3s);
    }

    // ---- CPU and underflows ----
    const auto window = std::chrono::seconds(seconds);
    const Cpu untapped = measureCpu(server.pid(), window);
    std::vector<std::unique_ptr<TapSession>> sessions;
    for (const auto& o : objects) {
        sessions.push_back(std::make_unique<TapSession>(hw, o, device, uid, 0.5f));
    }
    std::this_thread::sleep_for(1s);  // start-up
    const auto before = hw.ioStats();
    const Cpu withTaps = measureCpu(server.pid(), window);
    const auto stats = hw.ioStats();
    sessions.clear();

    const double minutes = static_cast<double>(seconds) / 60.0;
    std::printf("%s private server, %d tap(s), %d s windows\n",
                PulseServer::onPipeWire() ? "PipeWire" : "PulseAudio", taps, seconds);
    std::printf("added latency of a tap (click onset)   %6.1f ms\n", phaseShiftMs(direct, tapped));
    std::printf("after the tap stopped (check: ~0)      %6.1f ms\n", phaseShiftMs(direct, after));
    std::printf("underflows per minute after start-up   %6.1f\n",
                static_cast<double>(stats.underflows - before.underflows) / minutes);
    std::printf("frames left out per minute (bounding)  %6.0f\n",
                static_cast<double>(stats.droppedFrames - before.droppedFrames) / minutes);
    std::printf("frames captured per second             %6.0f\n",
                static_cast<double>(stats.frames - before.frames) / seconds);
    std::printf("IO block calls per second              %6.1f\n",
                static_cast<double>(stats.fragments - before.fragments) / seconds);
    std::printf("CPU, this process, per tap             %6.2f %% of a core (untapped %.2f %%)\n",
                (withTaps.self - untapped.self) / taps, untapped.self);
    std::printf("CPU, server, per tap                   %6.2f %% of a core (untapped %.2f %%)\n",
                (withTaps.server - untapped.server) / taps, untapped.server);
    return 0;
}
