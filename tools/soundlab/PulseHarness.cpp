// SPDX-License-Identifier: GPL-3.0-or-later
#include "PulseHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <pulse/error.h>
#include <pulse/ext-stream-restore.h>
#include <pulse/pulseaudio.h>
#include <pulse/simple.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace morvale::pulse::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// How long each server process may take to come up.
constexpr auto kStartTimeout = 10s;
// The null sinks' format.
constexpr const char* kSinkFormat = " format=float32le rate=48000 channels=2";

std::string commandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    ::pclose(pipe);
    return output;
}

namespace {

pid_t spawn(const std::vector<std::string>& argv, int stdoutFd) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    }
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    return pid;
}

bool alive(pid_t pid) {
    return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0;
}

// Waits until `path` exists while `pid` lives; a process that died or a path
// that never came is reported by name, so a failed start says which piece
// failed instead of a later client's "connection refused".
void waitForSocket(const std::string& path, pid_t pid, const std::string& what,
                   std::chrono::milliseconds timeout) {
    const bool up =
        eventually([&] { return std::filesystem::exists(path) || !alive(pid); }, timeout);
    if (!up || !std::filesystem::exists(path)) {
        throw std::runtime_error(
            "the private " + what +
            (alive(pid) ? " did not make its socket in time" : " ended while starting"));
    }
}

// Root-mean-square of every `step`th sample.
double rmsOf(std::span<const float> samples, std::size_t step) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < samples.size(); i += step, ++count) {
        sum += static_cast<double>(samples[i]) * static_cast<double>(samples[i]);
    }
    return std::sqrt(sum / static_cast<double>(count));
}

void endProcess(pid_t pid, int sig) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, sig);
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0) {
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// A hundred streams take PipeWire and its PulseAudio server past the 1024
// descriptors a shell's soft limit allows, so the private servers get the
// soft limit raised to the hard one, as a desktop session's sound server may
// do: at most 524288, systemd's hard limit for a session, because a
// container's hard limit can be a billion and a program that walks every
// descriptor number would crawl through that.
constexpr rlim_t kSessionOpenFiles = 524288;

// While alive, this process's soft open-file limit is that of a session's
// sound server, so the server processes spawned meanwhile inherit it; the
// test process itself goes back to its own limit afterwards.
class ServerOpenFileLimit {
public:
    ServerOpenFileLimit() {
        if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) {
            return;
        }
        rlimit raised = saved_;
        raised.rlim_cur = std::max(saved_.rlim_cur, std::min(saved_.rlim_max, kSessionOpenFiles));
        changed_ = raised.rlim_cur != saved_.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &raised) == 0;
    }
    ~ServerOpenFileLimit() {
        if (changed_) {
            ::setrlimit(RLIMIT_NOFILE, &saved_);
        }
    }
    ServerOpenFileLimit(const ServerOpenFileLimit&) = delete;
    ServerOpenFileLimit& operator=(const ServerOpenFileLimit&) = delete;

private:
    rlimit saved_{};
    bool changed_ = false;
};

}  // namespace

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

long long msSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
}

// ---- PulseServer ----

// A connection that stays, as a mixer's does, for moves and for reading the
// stream restore's entries. (PipeWire's server now and then drops a move that
// a client sends soon after it connected, as pactl does, while it reports
// success: measured with pactl, about one move in twenty; with a connection
// made long before, none in four hundred.)
class PulseServer::Mixer {
public:
    explicit Mixer(const std::string& address)
        : loop_(pa_mainloop_new()), context_(pa_context_new(pa_mainloop_get_api(loop_), "mixer")) {
        pa_context_connect(context_, address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (pa_context_get_state(context_) != PA_CONTEXT_READY &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            pa_mainloop_iterate(loop_, 1, nullptr);
        }
    }
    ~Mixer() {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_mainloop_free(loop_);
    }
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    bool move(std::uint32_t input, const std::string& sink) {
        return ready() && succeeds(pa_context_move_sink_input_by_name(context_, input, sink.c_str(),
                                                                      answer, this));
    }

    // Stores a volume (a fraction of 100%, on both channels) under a key, as
    // the server does when a user changes a stream in a mixer.
    bool storeVolume(const std::string& key, double fraction) {
        pa_ext_stream_restore_info info{};
        info.name = key.c_str();
        pa_channel_map_init_stereo(&info.channel_map);
        pa_cvolume_set(&info.volume, 2, pa_sw_volume_from_linear(fraction));
        return ready() && succeeds(pa_ext_stream_restore_write(context_, PA_UPDATE_REPLACE, &info,
                                                               1, 0, answer, this));
    }

    // The stream restore's entries: the device each names (empty for none),
    // and the volume (0 for muted) of each that has one.
    struct Restored {
        std::map<std::string, std::string> devices;
        std::map<std::string, double> volumes;
    };
    Restored restored() {
        restored_ = {};
        if (ready()) {
            wait(pa_ext_stream_restore_read(
                context_,
                [](pa_context*, const pa_ext_stream_restore_info* info, int eol, void* data) {
                    auto* self = static_cast<Mixer*>(data);
                    if (eol != 0) {
                        self->answered_ = true;
                        return;
                    }
                    self->restored_.devices[info->name] =
                        info->device != nullptr ? info->device : "";
                    if (info->volume.channels > 0 || info->mute != 0) {
                        self->restored_.volumes[info->name] =
                            info->mute != 0 ? 0.0
                                            : pa_sw_volume_to_linear(pa_cvolume_avg(&info->volume));
                    }
                },
                this));
        }
        return restored_;
    }

private:
    bool ready() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }
    static void answer(pa_context*, int success, void* data) {
        auto* self = static_cast<Mixer*>(data);
        self->succeeded_ = success != 0;
        self->answered_ = true;
    }
    bool succeeds(pa_operation* op) {
        succeeded_ = false;
        wait(op);
        return succeeded_;
    }
    void wait(pa_operation* op) {
        answered_ = false;
        while (op != nullptr && !answered_ && pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
            pa_mainloop_iterate(loop_, 1, nullptr);
        }
        if (op != nullptr) {
            pa_operation_unref(op);
        }
    }

    pa_mainloop* loop_;
    pa_context* context_;
    bool answered_ = false;
    bool succeeded_ = false;
    Restored restored_;
};

PulseServer::PulseServer(Config config) : config_(config) {
    char pattern[] = "/tmp/morvale-pulse-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    folder_ = pattern;
    try {
        prepareAndStart();
    } catch (...) {
        // No destructor runs for an object whose constructor threw: end the
        // processes start() began (they hold the test runner's output open,
        // so it would wait for its timeout) and remove the folder here.
        stop();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        throw;
    }
}

void PulseServer::prepareAndStart() {
    fs::create_directories(folder_ + "/home");
    fs::create_directories(folder_ + "/runtime");
    ::chmod((folder_ + "/runtime").c_str(), 0700);
    address_ = "unix:" + folder_ + "/runtime/pulse/native";
    std::ofstream(folder_ + "/server.pa")
        << "load-module module-native-protocol-unix auth-anonymous=1\n";
    std::ofstream(folder_ + "/client.conf") << "autospawn = no\n";
    // Clients started from here (pactl, paplay, helpers) find this server.
    ::setenv("PULSE_SERVER", address_.c_str(), 1);
    ::setenv("PULSE_CLIENTCONFIG", (folder_ + "/client.conf").c_str(), 1);
    start();
}

PulseServer::~PulseServer() {
    stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool PulseServer::onPipeWire() {
    const char* impl = std::getenv("MORVALE_TEST_SOUND_SERVER");
    return impl != nullptr && std::string(impl) == "pipewire";
}

void PulseServer::start() {
    if (pid_ > 0) {
        return;
    }
    // The servers take their folders from the environment; the test
    // process's own environment is left as it was.
    const std::string runtime = folder_ + "/runtime";
    std::vector<std::string> env{"env",
                                 "HOME=" + folder_ + "/home",
                                 "XDG_RUNTIME_DIR=" + runtime,
                                 "PIPEWIRE_RUNTIME_DIR=" + runtime,
                                 "PULSE_RUNTIME_PATH=" + runtime + "/pulse",
                                 "PULSE_STATE_PATH=" + folder_ + "/state",
                                 "XDG_STATE_HOME=" + folder_ + "/state",
                                 "XDG_CONFIG_HOME=" + folder_ + "/home/.config"};
    const auto with = [&](std::vector<std::string> command) {
        std::vector<std::string> argv = env;
        argv.insert(argv.end(), command.begin(), command.end());
        return argv;
    };
    const std::string socket = runtime + "/pulse/native";
    const ServerOpenFileLimit serverLimit;
    if (onPipeWire()) {
        // PipeWire, its session manager (which needs a session bus) and its
        // PulseAudio server. Each piece connects to the one before it at
        // start and gives up if its socket is not there yet, so each is
        // started only once the socket of the one before exists.
        const std::string bus = "unix:path=" + folder_ + "/bus";
        helpers_.push_back(
            spawn(with({"dbus-daemon", "--session", "--nofork", "--address=" + bus}), -1));
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
        waitForSocket(folder_ + "/bus", helpers_.back(), "session bus", kStartTimeout);
        // Native PipeWire clients started from here (pw-cat, a backend in
        // the test process) find this PipeWire.
        ::setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);
        ::unsetenv("PIPEWIRE_REMOTE");
        helpers_.push_back(spawn(with({"pipewire"}), -1));
        waitForSocket(runtime + "/pipewire-0", helpers_.back(), "PipeWire server", kStartTimeout);
        helpers_.push_back(spawn(with({"wireplumber"}), -1));
        pid_ = spawn(with({"pipewire-pulse"}), -1);
    } else {
        env.push_back("DBUS_SESSION_BUS_ADDRESS=");
        pid_ =
            spawn(with({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                        "--use-pid-file=no", "--system=no", "--disallow-exit",
                        "--log-target=stderr", "--log-level=error", "-F", folder_ + "/server.pa"}),
                  -1);
    }
    waitForSocket(socket, pid_, "sound server", kStartTimeout);
    if (!eventually([&] { return !commandOutput("pactl info 2>/dev/null").empty(); },
                    kStartTimeout)) {
        throw std::runtime_error("the private sound server did not come up");
    }
    // The sinks and modules are made over the PulseAudio protocol on both
    // servers (PipeWire's has no role-cork module and restores streams itself).
    const std::string sink = kSinkFormat;
    std::vector<std::string> modules{"module-null-sink sink_name=speakers" + sink};
    if (config_.secondSink) {
        modules.push_back("module-null-sink sink_name=headphones" + sink);
    }
    if (config_.roleCork && !onPipeWire()) {
        modules.emplace_back("module-role-cork");
    }
    if (config_.streamRestore && !onPipeWire()) {
        modules.emplace_back("module-stream-restore restore_device=true");
    }
    for (const auto& module : modules) {
        commandOutput("pactl load-module " + module + " >/dev/null 2>&1");
    }
    const bool up = eventually(
        [&] {
            commandOutput("pactl set-default-sink speakers >/dev/null 2>&1");
            return commandOutput("pactl info 2>/dev/null").find("Default Sink: speakers") !=
                   std::string::npos;
        },
        kStartTimeout);
    if (!up) {
        throw std::runtime_error(onPipeWire() && !alive(helpers_.back())
                                     ? "the private WirePlumber ended while starting"
                                     : "the private sound server has no default sink");
    }
    mixer_ = std::make_unique<Mixer>(address_);
}

std::vector<pid_t> PulseServer::pids() const {
    std::vector<pid_t> all = helpers_;
    if (pid_ > 0) {
        all.push_back(pid_);
    }
    return all;
}

bool PulseServer::processAlive() {
    if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;  // reaped: its pid may belong to another process soon
    }
    return pid_ > 0;
}

void PulseServer::stop() {
    mixer_.reset();
    endProcess(pid_, SIGTERM);
    pid_ = -1;
    for (auto it = helpers_.rbegin(); it != helpers_.rend(); ++it) {
        endProcess(*it, SIGTERM);
    }
    helpers_.clear();
    std::error_code ignored;
    fs::remove(folder_ + "/runtime/pulse/native", ignored);
}

std::string PulseServer::pactl(const std::string& arguments) const {
    return commandOutput("pactl " + arguments + " 2>/dev/null");
}

void PulseServer::plugSecondSink(bool in) const {
    if (in) {
        pactl("load-module module-null-sink sink_name=headphones" + std::string(kSinkFormat));
        return;
    }
    std::istringstream modules(pactl("list short modules"));
    for (std::string line; std::getline(modules, line);) {
        if (line.find("sink_name=headphones") != std::string::npos) {
            pactl("unload-module " + line.substr(0, line.find_first_of(" \t")));
        }
    }
}

std::map<std::string, std::string> PulseServer::restoredDevices() const {
    return mixer_ != nullptr ? mixer_->restored().devices : std::map<std::string, std::string>{};
}

bool PulseServer::storeRestoredVolume(const std::string& key, double fraction) const {
    return mixer_ != nullptr && mixer_->storeVolume(key, fraction);
}

std::map<std::string, double> PulseServer::restoredVolumes() const {
    return mixer_ != nullptr ? mixer_->restored().volumes : std::map<std::string, double>{};
}

std::vector<std::uint32_t> PulseServer::sinkInputIndicesWith(const std::string& text) const {
    std::vector<std::uint32_t> indices;
    for (const std::string& block : sinkInputsWith(text)) {
        const auto at = block.find('#');
        if (at != std::string::npos) {
            indices.push_back(static_cast<std::uint32_t>(std::strtoul(block.c_str() + at + 1,
                                                                      nullptr, 10)));
        }
    }
    return indices;
}

std::vector<std::string> PulseServer::sinkInputsWith(const std::string& text) const {
    const std::string listing = pactl("list sink-inputs");
    std::vector<std::string> found;
    std::size_t start = listing.find("Sink Input #");
    while (start != std::string::npos) {
        const std::size_t next = listing.find("Sink Input #", start + 1);
        std::string block = listing.substr(start, next == std::string::npos ? next : next - start);
        if (block.find(text) != std::string::npos) {
            found.push_back(std::move(block));
        }
        start = next;
    }
    return found;
}

bool isTapSink(const std::string& name) {
    return name.starts_with("morvale_tap_");
}

std::vector<std::string> PulseServer::tapSinks() const {
    std::vector<std::string> names;
    std::istringstream lines(pactl("list short sinks"));
    for (std::string index, name, rest; lines >> index >> name && std::getline(lines, rest);) {
        if (isTapSink(name)) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> PulseServer::streamsOfClientPid(pid_t pid) const {
    std::map<std::string, std::string> sinkNames;
    std::istringstream sinks(pactl("list short sinks"));
    for (std::string index, name, rest; sinks >> index >> name && std::getline(sinks, rest);) {
        sinkNames[index] = name;
    }
    std::vector<std::pair<std::string, std::string>> found;
    for (const std::string& block :
         sinkInputsWith("application.process.id = \"" + std::to_string(pid) + "\"")) {
        const std::size_t at = block.find("\tSink: ");
        const std::string sink =
            at == std::string::npos ? "" : block.substr(at + 7, block.find('\n', at) - at - 7);
        found.emplace_back(block.substr(12, block.find('\n') - 12),
                           sinkNames.contains(sink) ? sinkNames[sink] : sink);
    }
    return found;
}

std::vector<std::string> PulseServer::sinksOfClientPid(pid_t pid) const {
    std::vector<std::string> sinks;
    for (auto& stream : streamsOfClientPid(pid)) {
        sinks.push_back(stream.second);
    }
    return sinks;
}

std::optional<std::string> PulseServer::sinkOfClientPid(pid_t pid) const {
    const auto sinks = sinksOfClientPid(pid);
    return sinks.empty() ? std::nullopt : std::optional(sinks.front());
}

bool PulseServer::moveStreamOfClientPid(pid_t pid, const std::string& sink) const {
    const auto streams = streamsOfClientPid(pid);
    return !streams.empty() && mixer_ != nullptr &&
           mixer_->move(static_cast<std::uint32_t>(std::stoul(streams.front().first)), sink);
}

// ---- Child ----

Child::Child(const std::vector<std::string>& argv) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    pid_ = spawn(argv, fds[1]);
    ::close(fds[1]);
    out_ = fds[0];
}

Child::~Child() {
    terminate();
    if (out_ >= 0) {
        ::close(out_);
    }
}

void Child::signal(int sig) const {
    if (pid_ > 0) {
        ::kill(pid_, sig);
    }
}

void Child::kill() {
    endProcess(pid_, SIGKILL);
    pid_ = -1;
}

void Child::terminate() {
    endProcess(pid_, SIGTERM);
    pid_ = -1;
}

bool Child::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (seen_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[256];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            return seen_.find(text) != std::string::npos;
        }
        seen_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// ---- Files ----

std::string sineFile(const std::string& folder, double amplitude, int seconds) {
    const std::string path =
        folder + "/sine-" + std::to_string(static_cast<int>(amplitude * 1000)) + ".wav";
    if (!fs::exists(path)) {
        commandOutput("sox -n -r 48000 -c 2 -b 16 " + path + " synth " + std::to_string(seconds) +
                      " sine 1000 vol " + std::to_string(amplitude) + " 2>/dev/null");
    }
    return path;
}

std::string helperPath(const std::string& name) {
    return (fs::path(MORVALE_SOUNDLAB_DIR) / name).string();
}

// ---- Recorder ----

Recorder::Recorder(const std::string& server, const std::string& source)
    : server_(server), source_(source), thread_([this] { run(); }) {
    // A monitor that has just been opened can take a moment to deliver.
    eventually([this] { return !samples().empty(); }, 5s);
}

Recorder::~Recorder() {
    stop_ = true;
    thread_.join();
}

void Recorder::run() {
    pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, kRate, 2};
    const std::uint32_t fragment = kRate / 100 * 2 * sizeof(float);
    pa_buffer_attr attr{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, fragment};
    int error = 0;
    pa_simple* s = pa_simple_new(server_.c_str(), "Morvale test recorder", PA_STREAM_RECORD,
                                 source_.c_str(), "measure", &sampleSpec, nullptr, &attr, &error);
    if (s == nullptr) {
        std::fprintf(stderr, "recorder: %s\n", pa_strerror(error));
        return;
    }
    std::vector<float> buffer(fragment / sizeof(float));
    while (!stop_) {
        if (pa_simple_read(s, buffer.data(), fragment, &error) < 0) {
            break;
        }
        std::lock_guard lock(mutex_);
        samples_.insert(samples_.end(), buffer.begin(), buffer.end());
    }
    pa_simple_free(s);
}

double Recorder::level(std::chrono::milliseconds length) const {
    return rms(length, 0, 1);
}

double Recorder::channelLevel(int channel, std::chrono::milliseconds length) const {
    return rms(length, static_cast<std::size_t>(channel), 2);
}

bool Recorder::reaches(double ratio, double reference, std::chrono::milliseconds timeout,
                       double tolerance) const {
    return eventually([&] { return std::abs(level(200ms) / reference - ratio) < tolerance; },
                      timeout);
}

double Recorder::typicalLevel(std::chrono::milliseconds length) const {
    const std::size_t want = static_cast<std::size_t>(length.count()) * kRate / 1000 * 2;
    const std::size_t recorded = samples().size();
    if (recorded < want) {
        return -1.0;
    }
    auto spans = levels(recorded - want, 50);
    if (spans.empty()) {
        return -1.0;
    }
    const auto middle = spans.begin() + static_cast<std::ptrdiff_t>(spans.size() / 2);
    std::nth_element(spans.begin(), middle, spans.end());
    return *middle;
}

std::vector<double> Recorder::levels(std::size_t from, int ms) const {
    const auto all = samples();
    const std::size_t span = 2 * kRate / 1000 * static_cast<std::size_t>(ms);
    std::vector<double> out;
    for (std::size_t start = from; start + span <= all.size(); start += span) {
        out.push_back(rmsOf(std::span(all).subspan(start, span), 1));
    }
    return out;
}

double Recorder::rms(std::chrono::milliseconds length, std::size_t first, std::size_t step) const {
    std::lock_guard lock(mutex_);
    const std::size_t want = static_cast<std::size_t>(length.count()) * kRate / 1000 * 2;
    if (samples_.size() < want) {
        return -1.0;
    }
    // The span starts on a frame, so `first` picks the same channel throughout.
    return rmsOf(std::span(samples_).subspan(samples_.size() - want + first), step);
}

std::vector<float> Recorder::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

// ---- FakeIdentifier ----

std::optional<std::string> FakeIdentifier::desktopId(const LinuxDesktop::ClientHints& hints) const {
    if (knowsNone_ || !hints.binary) {
        return std::nullopt;
    }
    return *hints.binary + ".desktop";
}

}  // namespace morvale::pulse::testing
