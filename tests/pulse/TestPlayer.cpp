// A small audio client for the tests: plays a 1 kHz sine (or a click every
// 200 ms) until it is ended, corks on SIGUSR1 and uncorks on SIGUSR2, and
// says "ready", "corked", "uncorked" on its standard output.
//   morvale_pulse_test_player [--role=ROLE] [--amplitude=A] [--click] [--corked]
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Player {
    pa_threaded_mainloop* loop = nullptr;
    pa_stream* stream = nullptr;
    double amplitude = 0.5;
    bool click = false;
    std::uint64_t frame = 0;
};

constexpr unsigned kRate = 48000;

void say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

void write(pa_stream* s, std::size_t bytes, void* data) {
    auto* p = static_cast<Player*>(data);
    const std::size_t frames = bytes / (2 * sizeof(float));
    std::vector<float> buffer(frames * 2);
    for (std::size_t i = 0; i < frames; ++i, ++p->frame) {
        double v = 0;
        if (p->click) {
            // A 2 ms burst at the start of every 200 ms.
            v = (p->frame % (kRate / 5)) < kRate / 500 ? p->amplitude : 0.0;
        } else {
            v = p->amplitude *
                std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(p->frame) / kRate);
        }
        buffer[2 * i] = buffer[2 * i + 1] = static_cast<float>(v);
    }
    pa_stream_write(s, buffer.data(), buffer.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
}

}  // namespace

int main(int argc, char** argv) {
    Player p;
    std::string role;
    bool corked = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--role=", 0) == 0)
            role = arg.substr(7);
        if (arg.rfind("--amplitude=", 0) == 0)
            p.amplitude = std::stod(arg.substr(12));
        if (arg == "--click")
            p.click = true;
        if (arg == "--corked")
            corked = true;
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    p.loop = pa_threaded_mainloop_new();
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(p.loop), "test player");
    pa_context_set_state_callback(
        context,
        [](pa_context*, void* d) { pa_threaded_mainloop_signal(static_cast<Player*>(d)->loop, 0); },
        &p);
    pa_threaded_mainloop_lock(p.loop);
    pa_threaded_mainloop_start(p.loop);
    pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (pa_context_get_state(context) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            return 1;
        pa_threaded_mainloop_wait(p.loop);
    }
    pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, kRate, 2};
    pa_proplist* props = pa_proplist_new();
    if (!role.empty())
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, role.c_str());
    p.stream = pa_stream_new_with_proplist(context, "tone", &sampleSpec, nullptr, props);
    pa_proplist_free(props);
    pa_stream_set_write_callback(p.stream, write, &p);
    pa_stream_set_state_callback(
        p.stream,
        [](pa_stream*, void* d) { pa_threaded_mainloop_signal(static_cast<Player*>(d)->loop, 0); },
        &p);
    const std::uint32_t target = kRate / 20 * 2 * sizeof(float);  // 50 ms
    pa_buffer_attr attr{0xFFFFFFFFu, target, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    auto flags = PA_STREAM_ADJUST_LATENCY;
    if (corked)
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
    pa_stream_connect_playback(p.stream, nullptr, &attr, flags, nullptr, nullptr);
    while (pa_stream_get_state(p.stream) != PA_STREAM_READY) {
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(p.stream)))
            return 1;
        pa_threaded_mainloop_wait(p.loop);
    }
    pa_threaded_mainloop_unlock(p.loop);
    say("ready");

    for (;;) {
        int sig = 0;
        sigwait(&signals, &sig);
        if (sig == SIGTERM || sig == SIGINT)
            break;
        pa_threaded_mainloop_lock(p.loop);
        pa_operation* op = pa_stream_cork(
            p.stream, sig == SIGUSR1 ? 1 : 0,
            [](pa_stream*, int, void* d) {
                pa_threaded_mainloop_signal(static_cast<Player*>(d)->loop, 0);
            },
            &p);
        while (op != nullptr && pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
            pa_threaded_mainloop_wait(p.loop);
        }
        if (op != nullptr)
            pa_operation_unref(op);
        pa_threaded_mainloop_unlock(p.loop);
        say(sig == SIGUSR1 ? "corked" : "uncorked");
    }
    pa_threaded_mainloop_lock(p.loop);
    pa_stream_disconnect(p.stream);
    pa_stream_unref(p.stream);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_unlock(p.loop);
    pa_threaded_mainloop_stop(p.loop);
    pa_threaded_mainloop_free(p.loop);
    return 0;
}
