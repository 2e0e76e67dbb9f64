// SPDX-License-Identifier: GPL-3.0-or-later
// A small audio client for the tests: plays a 1 kHz sine (or a click every
// 200 ms) until it is ended, corks on SIGUSR1 and uncorks on SIGUSR2, and says
// "ready", "corked", "uncorked" on its standard output. With --streams=N it
// plays N streams, the sound on the first and silence on the others. With --for
// it plays that long from the start (or from the uncork), drains, says
// "drained <ms>" with the time that took, and ends. --last-role gives the last
// stream a role of its own, and --sound=last puts the sound on it instead.
// --record records from a source (and throws it away) while it runs.
//   morvale_pulse_test_player [--role=ROLE] [--amplitude=A] [--click] [--corked]
//                             [--streams=N] [--for=MS] [--server-buffer] [--device=SINK]
//                             [--last-role=ROLE] [--sound=last] [--record=SOURCE]
// --server-buffer leaves the buffer sizes to the server (two seconds), as paplay
// does.
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned kRate = 48000;

struct Player;

struct Stream {
    Player* player = nullptr;
    pa_stream* stream = nullptr;
    std::uint64_t frame = 0;
    std::uint64_t left = UINT64_MAX;  // frames still to write
    bool silent = false;
    bool drained = false;
};

struct Player {
    pa_threaded_mainloop* loop = nullptr;
    std::vector<std::unique_ptr<Stream>> streams;
    double amplitude = 0.5;
    bool click = false;
};

void say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void signalLoop(Player& p) {
    pa_threaded_mainloop_signal(p.loop, 0);
}

void write(pa_stream* s, std::size_t bytes, void* data) {
    auto* st = static_cast<Stream*>(data);
    const Player& p = *st->player;
    const std::size_t frames = std::min<std::uint64_t>(bytes / (2 * sizeof(float)), st->left);
    if (frames == 0) {
        return;
    }
    const double amplitude = st->silent ? 0.0 : p.amplitude;
    std::vector<float> buffer(frames * 2);
    for (std::size_t i = 0; i < frames; ++i, ++st->frame) {
        double v = 0;
        if (p.click) {
            // A 2 ms burst at the start of every 200 ms.
            v = (st->frame % (kRate / 5)) < kRate / 500 ? amplitude : 0.0;
        } else {
            v = amplitude * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(st->frame) / kRate);
        }
        buffer[2 * i] = buffer[2 * i + 1] = static_cast<float>(v);
    }
    pa_stream_write(s, buffer.data(), buffer.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    if (st->left != UINT64_MAX && (st->left -= frames) == 0) {
        pa_operation_unref(pa_stream_drain(
            s,
            [](pa_stream*, int, void* d) {
                auto* done = static_cast<Stream*>(d);
                done->drained = true;
                signalLoop(*done->player);
            },
            st));
    }
}

void waitFor(pa_operation* op, Player& p) {
    while (op != nullptr && pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
        pa_threaded_mainloop_wait(p.loop);
    }
    if (op != nullptr)
        pa_operation_unref(op);
}

void cork(Player& p, bool on) {
    for (auto& s : p.streams) {
        waitFor(pa_stream_cork(
                    s->stream, on ? 1 : 0,
                    [](pa_stream*, int, void* d) { signalLoop(*static_cast<Player*>(d)); }, &p),
                p);
    }
}

// Waits (under the loop's lock) until the stream is ready; false when it failed.
bool ready(pa_stream* s, Player& p) {
    while (pa_stream_get_state(s) != PA_STREAM_READY) {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
            return false;
        pa_threaded_mainloop_wait(p.loop);
    }
    return true;
}

void signalShim(pa_stream*, void* d) {
    signalLoop(*static_cast<Player*>(d));
}

}  // namespace

int main(int argc, char** argv) {
    // Each "--name=value" (or "--name") by name.
    std::map<std::string, std::string> option;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        option[arg.substr(2, eq - 2)] = eq == std::string::npos ? "" : arg.substr(eq + 1);
    }
    const auto number = [&](const char* name, double otherwise) {
        return option.contains(name) ? std::stod(option[name]) : otherwise;
    };
    Player p;
    p.amplitude = number("amplitude", 0.5);
    p.click = option.contains("click");
    const bool corked = option.contains("corked");
    const bool serverBuffer = option.contains("server-buffer");
    const int streams = std::max(1, static_cast<int>(number("streams", 1)));
    const long playMs = static_cast<long>(number("for", -1));
    const std::string& device = option["device"];
    const std::string& recordFrom = option["record"];

    sigset_t signals;
    sigemptyset(&signals);
    for (const int sig : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT})
        sigaddset(&signals, sig);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    p.loop = pa_threaded_mainloop_new();
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(p.loop), "test player");
    pa_context_set_state_callback(
        context, [](pa_context*, void* d) { signalLoop(*static_cast<Player*>(d)); }, &p);
    pa_threaded_mainloop_lock(p.loop);
    pa_threaded_mainloop_start(p.loop);
    pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (pa_context_get_state(context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            return 1;
        pa_threaded_mainloop_wait(p.loop);
    }
    pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, kRate, 2};
    const std::uint32_t target = kRate / 20 * 2 * sizeof(float);  // 50 ms
    pa_buffer_attr attr{0xFFFFFFFFu, serverBuffer ? 0xFFFFFFFFu : target, 0xFFFFFFFFu, 0xFFFFFFFFu,
                        0xFFFFFFFFu};
    auto flags = serverBuffer ? PA_STREAM_NOFLAGS : PA_STREAM_ADJUST_LATENCY;
    if (corked)
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
    for (int i = 0; i < streams; ++i) {
        const bool last = i == streams - 1;
        const std::string& role =
            last && option.contains("last-role") ? option["last-role"] : option["role"];
        pa_proplist* props = pa_proplist_new();
        if (!role.empty())
            pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, role.c_str());
        auto st = std::make_unique<Stream>();
        st->player = &p;
        st->silent = option["sound"] == "last" ? !last : i > 0;
        if (playMs >= 0)
            st->left = static_cast<std::uint64_t>(playMs) * kRate / 1000;
        st->stream = pa_stream_new_with_proplist(context, "tone", &sampleSpec, nullptr, props);
        pa_proplist_free(props);
        pa_stream_set_write_callback(st->stream, write, st.get());
        pa_stream_set_state_callback(st->stream, signalShim, &p);
        pa_stream_connect_playback(st->stream, device.empty() ? nullptr : device.c_str(), &attr,
                                   flags, nullptr, nullptr);
        p.streams.push_back(std::move(st));
        // Many streams start four at a time, as many players would: each new
        // stream makes the server render its sink's buffer again, and a
        // hundred at once can keep its real-time thread busy until the
        // kernel stops the server.
        if (p.streams.size() % 4 == 0 && !last) {
            for (auto& s : p.streams) {
                if (!ready(s->stream, p))
                    return 1;
            }
            pa_threaded_mainloop_unlock(p.loop);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pa_threaded_mainloop_lock(p.loop);
        }
    }
    pa_stream* recording = nullptr;
    if (!recordFrom.empty()) {
        recording = pa_stream_new(context, "microphone", &sampleSpec, nullptr);
        pa_stream_set_read_callback(
            recording,
            [](pa_stream* s, std::size_t, void*) {
                const void* data = nullptr;
                std::size_t bytes = 0;
                while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
                    pa_stream_drop(s);
                }
            },
            nullptr);
        pa_stream_set_state_callback(recording, signalShim, &p);
        pa_stream_connect_record(recording, recordFrom.c_str(), nullptr, PA_STREAM_NOFLAGS);
    }
    for (auto& s : p.streams) {
        if (!ready(s->stream, p))
            return 1;
    }
    if (recording != nullptr && !ready(recording, p))
        return 1;
    pa_threaded_mainloop_unlock(p.loop);
    say("ready");

    bool playing = !corked;
    auto started = std::chrono::steady_clock::now();
    for (;;) {
        if (playing && playMs >= 0) {
            pa_threaded_mainloop_lock(p.loop);
            for (auto& s : p.streams) {
                while (!s->drained)
                    pa_threaded_mainloop_wait(p.loop);
            }
            pa_threaded_mainloop_unlock(p.loop);
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            say("drained " + std::to_string(took.count()));
            break;
        }
        int sig = 0;
        sigwait(&signals, &sig);
        if (sig == SIGTERM || sig == SIGINT)
            break;
        pa_threaded_mainloop_lock(p.loop);
        cork(p, sig == SIGUSR1);
        pa_threaded_mainloop_unlock(p.loop);
        playing = sig == SIGUSR2;
        started = std::chrono::steady_clock::now();
        say(sig == SIGUSR1 ? "corked" : "uncorked");
    }
    pa_threaded_mainloop_lock(p.loop);
    for (auto& s : p.streams) {
        pa_stream_disconnect(s->stream);
        pa_stream_unref(s->stream);
    }
    if (recording != nullptr) {
        pa_stream_disconnect(recording);
        pa_stream_unref(recording);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_unlock(p.loop);
    pa_threaded_mainloop_stop(p.loop);
    pa_threaded_mainloop_free(p.loop);
    return 0;
}
