// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the native PipeWire backend on a private PipeWire server (a
// benchmark to read, not a test): prints its figures with PipeWire's version
// and the machine's load.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PulseHarness.h"
#include "audio/AudioProcess.h"
#include "audio/CA.h"
#include "platform/FourCC.h"
#include "platform/linux/LinuxProcessInfo.h"
#include "platform/pipewire/PipeWireAudioSystem.h"
#include "platform/sim/SimProcesses.h"

using namespace morvale;
using namespace morvale::pulse::testing;
using namespace std::chrono_literals;
using morvale::pipewire::PipeWireAudioSystem;

namespace {

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n')) {
        out.pop_back();
    }
    return out;
}

// CPU seconds (user + system) a process has used.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stod(field);
        if (i == 15) stime = std::stod(field);
    }
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct Cpu {
    double server = 0;  // pipewire, pipewire-pulse, WirePlumber together, % of a core
    double self = 0;
};

Cpu cpuOver(const PulseServer& server, std::chrono::seconds window) {
    const auto pids = server.pids();
    const auto sum = [&] {
        double s = 0;
        for (const pid_t p : pids) s += cpuSeconds(p);
        return s;
    };
    const double s0 = sum(), m0 = cpuSeconds(::getpid());
    std::this_thread::sleep_for(window);
    const double secs = static_cast<double>(window.count());
    return {100.0 * (sum() - s0) / secs, 100.0 * (cpuSeconds(::getpid()) - m0) / secs};
}

AudioObjectID objectOf(AudioHardware& hw, pid_t pid) {
    LinuxDesktop::LinuxProcessInfo processes;
    sim::SimProcesses applications;
    AudioObjectID id = 0;
    eventually([&] {
        for (const auto& p : AudioProcess::all({hw, processes, applications})) {
            if (p.pid == pid) id = p.objectID;
        }
        return id != 0;
    });
    return id;
}

// The largest step between neighbouring samples of one channel.
double largestStep(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double largest = 0;
    for (std::size_t i = from + 2; i + 1 < to && i < samples.size(); i += 2) {
        largest = std::max(largest, double{std::fabs(samples[i] - samples[i - 2])});
    }
    return largest;
}

}  // namespace

int main() {
    ::setenv("MORVALE_TEST_SOUND_SERVER", "pipewire", 1);
    PulseServer server;
    FakeIdentifier identifier;
    PipeWireAudioSystem::Options options;
    options.remote = server.pipeWireSocket();
    std::printf("PipeWire %s (library), private server, load average %s\n",
                PipeWireAudioSystem::libraryVersion().c_str(), loadAverage().c_str());

    if (std::getenv("MORVALE_BENCH_BASELINE") != nullptr) {
        // The server alone with 100 streams, nothing of ours connected.
        std::fprintf(stderr, "PHASE baseline\n");
        auto player = std::make_unique<Child>(std::vector<std::string>{
            helperPath("morvale_pulse_test_player"), "--streams=100", "--amplitude=0.25"});
        player->waitForOutput("ready", 10s);
        std::this_thread::sleep_for(5s);
        std::fprintf(stderr, "PHASE baseline-end\n");
        return 0;
    }

    // ---- 50 streams: graph and CPU, lowered against not ----
    {
        auto player = std::make_unique<Child>(std::vector<std::string>{
            helperPath("morvale_pulse_test_player"), "--streams=50", "--amplitude=0.25"});
        player->waitForOutput("ready", 10s);
        std::this_thread::sleep_for(1s);
        const auto count = [](const char* type) {
            return run(std::string("pw-dump 2>/dev/null | grep -c '\"type\": \"PipeWire:Interface:") +
                       type + "\"'");
        };
        PipeWireAudioSystem hw(identifier, options);
        const AudioObjectID process = objectOf(hw, player->pid());
        const std::string nodes = count("Node"), links = count("Link");
        const Cpu none = cpuOver(server, 10s);
        AudioObjectID stage = 0;
        hw.createGainStage(TapDescription::stereoMixdown({process}), 0.5f, &stage);
        std::this_thread::sleep_for(500ms);
        std::printf("50 streams held                         %zu nodes\n", hw.heldNodeCount());
        const auto writes = hw.volumeWrites();
        std::fprintf(stderr, "PHASE cpu-lowered\n");
        std::printf("graph nodes/links, none lowered         %s / %s\n", nodes.c_str(), links.c_str());
        std::printf("graph nodes/links, 50 lowered           %s / %s\n", count("Node").c_str(),
                    count("Link").c_str());
        const Cpu lowered = cpuOver(server, 10s);
        std::printf("volume writes while held 10 s           %llu\n",
                    static_cast<unsigned long long>(hw.volumeWrites() - writes));
        std::printf("CPU servers, none / 50 lowered          %5.2f %% / %5.2f %% of a core\n",
                    none.server, lowered.server);
        std::printf("CPU this process, none / 50 lowered     %5.2f %% / %5.2f %% of a core\n",
                    none.self, lowered.self);
        hw.destroyGainStage(stage);
    }
    std::fprintf(stderr, "PHASE quit\n");

    // ---- 100 streams back at full level at quit ----
    {
        auto player = std::make_unique<Child>(std::vector<std::string>{
            helperPath("morvale_pulse_test_player"), "--streams=100", "--amplitude=0.25"});
        player->waitForOutput("ready", 10s);
        auto hw = std::make_unique<PipeWireAudioSystem>(identifier, options);
        const AudioObjectID process = objectOf(*hw, player->pid());
        AudioObjectID stage = 0;
        hw->createGainStage(TapDescription::stereoMixdown({process}), 0.3f, &stage);
        eventually([&] { return hw->heldNodeCount() >= 100; }, 10s);
        std::this_thread::sleep_for(500ms);
        const auto lowered = [] {
            // Streams of the test player whose Props volume is not 1.0, read by pw-dump.
            const std::string n = run(
                "pw-dump 2>/dev/null | python3 -c 'import json,sys\n"
                "n=0\n"
                "for o in json.load(sys.stdin):\n"
                " i=o.get(\"info\") or {}\n"
                " if (i.get(\"props\") or {}).get(\"application.name\")!=\"test player\": continue\n"
                " for p in (i.get(\"params\") or {}).get(\"Props\") or []:\n"
                "  if \"volume\" in p and abs(p[\"volume\"]-1.0)>1e-4: n+=1\n"
                "print(n)'");
            return n.empty() ? -1 : std::stoi(n);
        };
        std::printf("streams lowered before quit             %d\n", lowered());
        const auto start = std::chrono::steady_clock::now();
        hw.reset();  // sets 1.0 on every held stream and waits for the server
        std::printf("quit returned after                     %lld ms (%s)\n", msSince(start),
                    "the daemon has taken every 1.0");
        int left = lowered();
        std::printf("streams still lowered after quit        %d (read %lld ms after)\n", left,
                    msSince(start));
        while (left > 0 && msSince(start) < 10000) {
            left = lowered();
        }
        std::printf("all 100 at full level                   %s, %lld ms after quit began\n",
                    left == 0 ? "yes" : "NO", msSince(start));
    }

    std::fprintf(stderr, "PHASE drag\n");
    // ---- A drag from 1.0 to 0.2 over 200 ms: largest step against the tone's ----
    {
        Recorder recorder(server.address(), "speakers.monitor");
        auto player = std::make_unique<Child>(std::vector<std::string>{
            helperPath("morvale_pulse_test_player"), "--amplitude=0.5"});
        player->waitForOutput("ready", 10s);
        PipeWireAudioSystem hw(identifier, options);
        AudioObjectID stage = 0;
        hw.createGainStage(TapDescription::stereoMixdown({objectOf(hw, player->pid())}), 1.0f,
                           &stage);
        std::this_thread::sleep_for(1s);
        const std::size_t before = recorder.samples().size();
        std::this_thread::sleep_for(300ms);
        const std::size_t dragStart = recorder.samples().size();
        for (int i = 1; i <= 10; ++i) {
            const float gain = 1.0f - 0.08f * static_cast<float>(i);
            hw.setPropertyData(stage, CA::addr(kGainStageGain), 0, nullptr, sizeof gain, &gain);
            std::this_thread::sleep_for(20ms);
        }
        // One jump too, as a click on the slider's track makes.
        const float low = 0.05f, high = 1.0f;
        hw.setPropertyData(stage, CA::addr(kGainStageGain), 0, nullptr, sizeof high, &high);
        std::this_thread::sleep_for(400ms);
        hw.setPropertyData(stage, CA::addr(kGainStageGain), 0, nullptr, sizeof low, &low);
        std::this_thread::sleep_for(600ms);
        const auto samples = recorder.samples();
        std::printf("tone's own largest sample step          %.4f\n",
                    largestStep(samples, before, dragStart));
        std::printf("largest step, drag and jumps            %.4f\n",
                    largestStep(samples, dragStart, samples.size()));
        hw.destroyGainStage(stage);
    }

    // ---- A microphone opening: time to a call ----
    {
        run("pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=mic "
            "media.class=Audio/Source/Virtual object.linger=true audio.position=[FL FR] }' "
            ">/dev/null 2>&1");
        PipeWireAudioSystem hw(identifier, options);
        std::atomic<long long> told{-1};
        std::atomic<pid_t> recorderPid{0};
        auto start = std::chrono::steady_clock::now();
        AudioObjectPropertyListenerID listener = nullptr;
        hw.addPropertyListenerBlock(
            kAudioObjectSystemObject, CA::addr(kProcessObjectList), nullptr,
            [&](std::uint32_t, const AudioObjectPropertyAddress*) {
                if (told.load() < 0 && recorderPid.load() > 0) told = msSince(start);
            },
            &listener);
        start = std::chrono::steady_clock::now();
        auto mic = std::make_unique<Child>(
            std::vector<std::string>{"parecord", "-d", "mic", "/dev/null"});
        recorderPid = mic->pid();
        eventually([&] { return told.load() >= 0; }, 5s);
        std::printf("microphone opened to process list event %lld ms (from starting parecord)\n",
                    told.load());
        hw.removePropertyListenerBlock(kAudioObjectSystemObject, CA::addr(kProcessObjectList),
                                       nullptr, listener);
    }
    std::printf("load average at the end                 %s\n", loadAverage().c_str());
    return 0;
}
