// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/AppIdentity.h"

namespace morvale::pulse::testing {

// A private sound server (PulseAudio by default): its own runtime folder in a
// temporary folder, the native protocol and one null sink "speakers"
// (float32, 48 kHz, stereo) as its only output. Works as root. Torn down by pid.
class PulseServer {
public:
    struct Config {
        bool streamRestore = false;  // load module-stream-restore
        bool secondSink = false;     // a second null sink "headphones"
        // Load module-role-cork (PulseAudio only: PipeWire's server has none).
        bool roleCork = false;
    };

    // Throws when the server does not come up, having ended what it started
    // and removed its folder.
    explicit PulseServer(Config config);
    PulseServer() : PulseServer(Config{}) {}
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    void start();
    void stop();
    // MORVALE_TEST_SOUND_SERVER=pipewire runs PipeWire with its PulseAudio
    // server (and WirePlumber, and a session bus for it) instead.
    static bool onPipeWire();
    // Whether the server process still runs (it was not killed, say for
    // overrunning its real-time limit).
    bool processAlive();

    // "unix:/tmp/…/pulse/native"; also put in PULSE_SERVER for child processes.
    const std::string& address() const { return address_; }
    pid_t pid() const { return pid_; }
    // Every process of the server: with PipeWire, also PipeWire itself and
    // its session manager, which do part of the work.
    std::vector<pid_t> pids() const;
    const std::string& folder() const { return folder_; }
    // With PipeWire: its socket's full path (also found by native clients
    // started from here, through PIPEWIRE_RUNTIME_DIR).
    std::string pipeWireSocket() const { return folder_ + "/runtime/pipewire-0"; }
    // With PipeWire: the folder of its sockets (PIPEWIRE_RUNTIME_DIR for a
    // native client) and the folder WirePlumber keeps its state files in.
    std::string runtimeFolder() const { return folder_ + "/runtime"; }
    std::string wirePlumberStateFolder() const { return folder_ + "/state/wireplumber"; }

    // Runs pactl against this server; returns its standard output.
    std::string pactl(const std::string& arguments) const;
    // The devices that the server's stream restore remembers, by restore key
    // (empty when an entry names none), read over the mixer's connection.
    std::map<std::string, std::string> restoredDevices() const;
    // Stores a volume (a linear fraction) under a restore key, as a mixer's
    // change does; the volumes (0 for muted) stored under each key that has one.
    bool storeRestoredVolume(const std::string& key, double fraction) const;
    std::map<std::string, double> restoredVolumes() const;
    // The blocks of "pactl list sink-inputs" that contain `text`, and their indices.
    std::vector<std::string> sinkInputsWith(const std::string& text) const;
    std::vector<std::uint32_t> sinkInputIndicesWith(const std::string& text) const;
    // The names of the sinks this program made to tap applications.
    std::vector<std::string> tapSinks() const;
    // The sink that each of the process's streams plays to, and of its first.
    std::vector<std::string> sinksOfClientPid(pid_t pid) const;
    std::optional<std::string> sinkOfClientPid(pid_t pid) const;
    // Plugs the second sink ("headphones") in again, or unplugs it.
    void plugSecondSink(bool in) const;
    // Moves the process's first stream to a sink, as a user does in a mixer
    // (over a connection made when the server started).
    bool moveStreamOfClientPid(pid_t pid, const std::string& sink) const;

private:
    class Mixer;

    void prepareAndStart();
    // Each of the process's streams: its index and the name of its sink.
    std::vector<std::pair<std::string, std::string>> streamsOfClientPid(pid_t pid) const;

    Config config_;
    std::string folder_;
    std::string address_;
    pid_t pid_ = -1;
    std::vector<pid_t> helpers_;  // PipeWire, its session manager, the bus
    std::unique_ptr<Mixer> mixer_;
};

bool isTapSink(const std::string& name);

// A child process, ended by pid (SIGTERM, or SIGKILL with kill()) when it goes.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int sig) const;
    void kill();
    void terminate();
    // Waits until the child writes a line containing `text` (its stdout).
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // What it wrote so far (as far as waitForOutput has read).
    const std::string& output() const { return seen_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string seen_;
};

// A 1 kHz sine of the given peak amplitude (48 kHz stereo, 16-bit), made once
// with sox into the given folder; returns its path.
std::string sineFile(const std::string& folder, double amplitude, int seconds);

// Records a source (e.g. "speakers.monitor") as float32 stereo in 10 ms
// fragments on a thread of its own, and measures what came in.
class Recorder {
public:
    Recorder(const std::string& server, const std::string& source);
    ~Recorder();
    // Root-mean-square level of the last `length`; -1 while less was recorded.
    double level(std::chrono::milliseconds length) const;
    // The same for one channel (0 left, 1 right): a path that loses one
    // channel only shows as a level 3 dB low overall.
    double channelLevel(int channel, std::chrono::milliseconds length) const;
    // Whether the last 200 ms reach `ratio` of `reference` (within
    // `tolerance`) before the timeout.
    bool reaches(double ratio, double reference, std::chrono::milliseconds timeout,
                 double tolerance = 0.03) const;
    // The median level of the 50 ms spans in the last `length`: what a
    // listener hears as the level, undisturbed by one short gap (a stream
    // moved between sinks, a scheduling hiccup of a loaded machine).
    double typicalLevel(std::chrono::milliseconds length) const;
    // The level of each `ms` span from sample `from` on.
    std::vector<double> levels(std::size_t from, int ms) const;
    // All samples so far (interleaved stereo).
    std::vector<float> samples() const;
    static constexpr unsigned kRate = 48000;

private:
    void run();
    // Over every `step`th sample from `first` on.
    double rms(std::chrono::milliseconds length, std::size_t first, std::size_t step) const;
    std::string server_, source_;
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Runs a shell command; returns its standard output.
std::string commandOutput(const std::string& command);

// Polls until `done` holds or the timeout passes; returns done().
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

long long msSince(std::chrono::steady_clock::time_point start);

// Names every client after its binary, "<binary>.desktop"; or, made with
// `knowsNone`, no client at all, so that each is known by its process's name.
class FakeIdentifier final : public LinuxDesktop::AppIdentifier {
public:
    explicit FakeIdentifier(bool knowsNone = false) : knowsNone_(knowsNone) {}
    std::optional<std::string> desktopId(const LinuxDesktop::ClientHints& hints) const override;

private:
    bool knowsNone_;
};

// Where the test player and the tap holder were built.
std::string helperPath(const std::string& name);

}  // namespace morvale::pulse::testing
