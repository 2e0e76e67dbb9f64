#include "platform/pulse/PulseAudioSystem.h"

#include <pulse/ext-stream-restore.h>
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/FourCC.h"
#include "platform/PropertyString.h"
#include "platform/StreamUsage.h"
#include "platform/pulse/ObjectTable.h"
#include "platform/pulse/ProcessFacts.h"
#include "platform/pulse/TapPlanner.h"
#include "platform/pulse/Watchdog.h"

namespace morvale::pulse {

namespace {

// Property keys this program puts on what it makes, so that it (and its
// watchdog, and other instances) can tell its own clients, streams and sinks.
constexpr const char* kClientKey = "morvale.client";
constexpr const char* kStreamKey = "morvale.stream";
constexpr const char* kTapKey = "morvale.tap";
constexpr const char* kOwnerPidKey = "morvale.owner.pid";
constexpr const char* kOwnerStartKey = "morvale.owner.start";
constexpr const char* kRestoreIdKey = "module-stream-restore.id";
constexpr const char* kSecurePidKey = "pipewire.sec.pid";
constexpr const char* kPortalAppIdKey = "pipewire.access.portal.app_id";
// Every tap sink's name starts with this; the rest makes it unique.
constexpr const char* kTapSinkPrefix = "morvale_tap_";

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFFu;

// How often loading a tap sink is tried before the tap fails.
constexpr int kLoadAttempts = 3;

// How long a stream-restore key that one of our moves touched stays guarded
// after its tap went, so that the save that follows moving a stream back is
// undone too.
constexpr std::chrono::seconds kRestoreGuard{3};

std::optional<std::string> prop(const pa_proplist* list, const char* key) {
    if (list == nullptr) {
        return std::nullopt;
    }
    const char* value = pa_proplist_gets(list, key);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::int32_t> intProp(const pa_proplist* list, const char* key) {
    const auto text = prop(list, key);
    if (!text || text->empty() || text->size() > 9 ||
        text->find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::stol(*text));
}

// Owns a proplist.
struct Proplist {
    pa_proplist* list = pa_proplist_new();
    Proplist() = default;
    Proplist(const Proplist&) = delete;
    Proplist& operator=(const Proplist&) = delete;
    ~Proplist() { pa_proplist_free(list); }
    void set(const char* key, const std::string& value) {
        pa_proplist_sets(list, key, value.c_str());
    }
};

// Owns one reference to an operation; an operation whose result nobody waits
// for is released right away with `forget`.
class Operation {
public:
    explicit Operation(pa_operation* op = nullptr) : op_(op) {}
    Operation(Operation&& other) noexcept : op_(std::exchange(other.op_, nullptr)) {}
    Operation& operator=(Operation&& other) noexcept {
        std::swap(op_, other.op_);
        return *this;
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    ~Operation() {
        if (op_ != nullptr) {
            pa_operation_unref(op_);
        }
    }
    explicit operator bool() const { return op_ != nullptr; }
    bool running() const {
        return op_ != nullptr && pa_operation_get_state(op_) == PA_OPERATION_RUNNING;
    }
    void cancel() {
        if (running()) {
            pa_operation_cancel(op_);
        }
    }

private:
    pa_operation* op_;
};

void forget(pa_operation* op) {
    Operation release(op);
}
void forget(Operation) {}

// A time `timeout` from now, for the main loop's timer events.
timeval deadlineIn(std::chrono::milliseconds timeout) {
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(timeout.count()) * 1000u);
    return when;
}

std::string describeError(pa_context* context, const char* what) {
    const int code = context != nullptr ? pa_context_errno(context) : PA_ERR_CONNECTIONTERMINATED;
    return std::string(what) + ": " + pa_strerror(code);
}

std::uint64_t monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

std::size_t bytesFor(std::chrono::milliseconds span, std::uint32_t rate, std::uint32_t channels) {
    const auto frames = static_cast<std::size_t>(span.count()) * rate / 1000u;
    return std::max<std::size_t>(frames, 1) * channels * sizeof(float);
}

}  // namespace

// ---------------------------------------------------------------------------

struct PulseAudioSystem::Impl {
    // A pending server request whose reply someone wants; lives in `slots`
    // until the reply comes or the connection goes.
    struct Slot {
        Impl* impl;
        std::uint64_t id;
        std::function<void(std::uint32_t)> done;
    };

    // Where a captured stream came from, to send it back there.
    struct Origin {
        std::string sink;
        bool wasDefault = false;
    };

    struct Tap {
        AudioObjectID id = 0;
        AudioObjectID stream = 0;  // the input stream it adds to an aggregate device
        std::set<AudioObjectID> processes;
        std::string uuid;
        std::uint8_t channels = 0;  // 0: the default sink's
        std::string sinkName;       // the sink of the current connection
        std::uint32_t module = kNoIndex;
        bool loading = false;
        bool releasing = false;
        // Captures from its creation (mute behaviour `muted`), rather than
        // only while an IO proc reads it (`mutedWhenTapped`).
        bool always = false;
        int loadAttempts = 0;
        OSStatus failure = kAudioNoError;
        std::map<std::uint32_t, Origin> origins;  // by sink-input
    };

    struct Aggregate {
        AudioObjectID id = 0;
        std::string uid;
        std::string master;  // sink name
        AudioObjectID tap = 0;
    };

    struct IOProc {
        Impl* impl = nullptr;
        AudioDeviceIOProcID id = nullptr;
        AudioObjectID device = 0;
        AudioDeviceIOBlock block;
        bool running = false;
        std::vector<std::uint32_t> usage;  // stream usage flags ('suse')
        // Streams of the current connection; null while stopped or unrealised.
        pa_stream* capture = nullptr;
        pa_stream* playback = nullptr;
        bool corked = false;
        bool kicked = false;
        OSStatus failure = kAudioNoError;
        // Buffers of the IO path, sized when the streams are made.
        std::uint32_t channels = 0;
        std::size_t frameBytes = 0;
        std::size_t maxChunk = 0;  // bytes per IO block call at most
        // Output the server has not asked for yet: a ring of bytes.
        std::vector<unsigned char> pending;
        std::size_t pendingCap = 0;
        std::size_t pendingHead = 0;
        std::size_t pendingSize = 0;
        std::size_t droppedBytes = 0;
        std::vector<float> silence;
        std::vector<float> output;
        AudioBuffer inBuffer{};
        AudioBuffer outBuffer{};
        AudioBufferList inList{1, &inBuffer};
        AudioBufferList outList{1, &outBuffer};
        double sampleTime = 0;

        bool ready() const {
            return capture != nullptr && playback != nullptr &&
                   pa_stream_get_state(capture) == PA_STREAM_READY &&
                   pa_stream_get_state(playback) == PA_STREAM_READY;
        }
    };

    struct RestoreEntry {
        std::optional<std::string> device;
        pa_channel_map map{};
        pa_cvolume volume{};
        int mute = 0;
    };
    struct Guard {
        std::optional<std::string> baseline;
        std::optional<std::chrono::steady_clock::time_point> until;
    };

    Impl(const linux_desktop::AppIdentifier& appIdentifier, Options chosen)
        : identifier(appIdentifier), options(std::move(chosen)) {}

    // ---- Fixed ----
    const linux_desktop::AppIdentifier& identifier;
    const Options options;
    const ProcessFacts facts;
    const std::int32_t ownPid = static_cast<std::int32_t>(::getpid());
    const std::string ownStart = facts.startTime(ownPid);
    pa_threaded_mainloop* loop = nullptr;
    pa_mainloop_api* api = nullptr;

    // ---- Guarded by the main loop's lock ----
    pa_context* context = nullptr;
    ConnectionState state = ConnectionState::connecting;
    std::string error;
    std::function<void(ConnectionState)> observer;
    pa_time_event* retry = nullptr;
    bool synced = false;
    bool everReady = false;
    int pendingLists = 0;
    std::uint32_t ownClient = kNoIndex;
    std::uint64_t nextSlot = 1;
    std::map<std::uint64_t, Slot> slots;

    ObjectTable table;
    unsigned sinkCounter = 0;
    std::uintptr_t nextProc = 1;
    std::map<AudioObjectID, Tap> taps;
    std::map<AudioObjectID, Aggregate> aggregates;
    std::map<AudioDeviceIOProcID, std::unique_ptr<IOProc>> procs;
    std::set<std::uint32_t> movesInFlight;
    std::set<std::uint32_t> unloading;  // modules of orphaned sinks being removed

    bool restoreAvailable = false;
    std::map<std::string, RestoreEntry> restoreDb;
    std::map<std::string, Guard> guards;

    std::atomic<std::uint64_t> fragments{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> underflows{0};
    std::atomic<std::uint64_t> dropped{0};

    // ---- Locking and waiting ----
    struct Lock {
        pa_threaded_mainloop* loop;
        explicit Lock(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
        ~Lock() { pa_threaded_mainloop_unlock(loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
    };

    void wake() { pa_threaded_mainloop_signal(loop, 0); }

    // Waits (lock held) until `done` holds or the timeout passes; returns done().
    template <typename Pred>
    bool waitFor(Pred done, std::chrono::milliseconds timeout) {
        struct Expiry {
            pa_threaded_mainloop* loop;
            bool expired = false;
        } expiry{loop};
        const timeval when = deadlineIn(timeout);
        pa_time_event* timer = api->time_new(
            api, &when,
            [](pa_mainloop_api*, pa_time_event*, const timeval*, void* data) {
                auto* e = static_cast<Expiry*>(data);
                e->expired = true;
                pa_threaded_mainloop_signal(e->loop, 0);
            },
            &expiry);
        while (!done() && !expiry.expired) {
            pa_threaded_mainloop_wait(loop);
        }
        api->time_free(timer);
        return done();
    }

    // A server that does not answer in time is treated as lost: the context is
    // dropped and made again, so that later calls fail fast instead of waiting.
    OSStatus timedOut(const char* what) {
        if (state == ConnectionState::ready) {
            dropContext(std::string("The sound server did not answer (") + what + ")");
        }
        return kAudioHardwareNotRunningError;
    }

    // ---- Slots ----
    Slot* newSlot(std::function<void(std::uint32_t)> done) {
        const std::uint64_t id = nextSlot++;
        Slot& slot = slots[id];
        slot = Slot{this, id, std::move(done)};
        return &slot;
    }
    static void finishSlot(void* data, std::uint32_t value) {
        auto* slot = static_cast<Slot*>(data);
        Impl* impl = slot->impl;
        auto done = std::move(slot->done);
        impl->slots.erase(slot->id);
        if (done) {
            done(value);
        }
        impl->wake();
    }
    static void successShim(pa_context*, int success, void* data) {
        finishSlot(data, success ? 1u : 0u);
    }
    static void indexShim(pa_context*, std::uint32_t index, void* data) { finishSlot(data, index); }
    // Sends a request whose reply runs `done` (1/0 for success, or an index).
    template <typename Issue>
    Operation request(Issue issue, std::function<void(std::uint32_t)> done) {
        Slot* slot = newSlot(std::move(done));
        const std::uint64_t id = slot->id;
        pa_operation* op = issue(slot);
        if (op == nullptr) {
            slots.erase(id);
        }
        return Operation(op);
    }

    // ---- Connection ----
    void setState(ConnectionState next) {
        if (state == next) {
            return;
        }
        state = next;
        if (observer) {
            observer(state);
        }
        wake();
    }

    void connect() {
        Proplist props;
        props.set(PA_PROP_APPLICATION_NAME, "Morvale");
        props.set(PA_PROP_APPLICATION_ID, "morvale");
        props.set(kClientKey, std::to_string(ownPid));
        context = pa_context_new_with_proplist(api, "Morvale", props.list);
        if (context == nullptr) {
            scheduleRetry("Couldn't make a sound server connection");
            return;
        }
        pa_context_set_state_callback(
            context, [](pa_context*, void* data) { static_cast<Impl*>(data)->onContextState(); },
            this);
        const char* server = options.server.empty() ? nullptr : options.server.c_str();
        if (pa_context_connect(context, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            dropContext(describeError(context, "Couldn't connect to the sound server"));
        }
    }

    void scheduleRetry(std::string reason) {
        error = std::move(reason);
        setState(ConnectionState::disconnected);
        if (retry != nullptr) {
            return;
        }
        const timeval when = deadlineIn(options.retryInterval);
        retry = api->time_new(
            api, &when,
            [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
                auto* impl = static_cast<Impl*>(data);
                a->time_free(event);
                impl->retry = nullptr;
                impl->setState(ConnectionState::connecting);
                impl->connect();
            },
            this);
    }

    // Forgets everything of the current connection and schedules a new one.
    // The logical objects (taps, aggregate devices, IO procs) stay and are
    // made again on the next connection.
    void dropContext(std::string reason) {
        for (auto& [id, proc] : procs) {
            destroyStreams(*proc);
        }
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_ext_stream_restore_set_subscribe_cb(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        // Replies of the old connection never come now.
        slots.clear();
        for (auto& [id, tap] : taps) {
            tap.sinkName.clear();
            tap.module = kNoIndex;
            tap.loading = false;
            tap.failure = kAudioNoError;
            tap.loadAttempts = 0;
            tap.origins.clear();
        }
        for (auto& [id, proc] : procs) {
            proc->failure = kAudioNoError;
        }
        movesInFlight.clear();
        unloading.clear();
        restoreAvailable = false;
        restoreDb.clear();
        table.reset();
        synced = false;
        pendingLists = 0;
        ownClient = kNoIndex;
        scheduleRetry(std::move(reason));
    }

    void onContextState() {
        switch (pa_context_get_state(context)) {
            case PA_CONTEXT_READY:
                onReady();
                break;
            case PA_CONTEXT_FAILED:
            case PA_CONTEXT_TERMINATED:
                dropContext(describeError(context, "Lost the sound server"));
                break;
            default:
                break;
        }
    }

    void onReady() {
        ownClient = pa_context_get_index(context);
        pa_context_set_subscribe_callback(
            context,
            [](pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* data) {
                static_cast<Impl*>(data)->onEvent(type, index);
            },
            this);
        const auto mask = static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SINK_INPUT |
            PA_SUBSCRIPTION_MASK_CLIENT | PA_SUBSCRIPTION_MASK_SERVER);
        forget(pa_context_subscribe(context, mask, nullptr, nullptr));
        // Clients first, so that streams find their client when they come in.
        pendingLists = 5;
        forget(pa_context_get_server_info(context, &Impl::serverInfoShim, this));
        forget(pa_context_get_client_info_list(context, &Impl::clientListShim, this));
        forget(pa_context_get_sink_info_list(context, &Impl::sinkListShim, this));
        forget(pa_context_get_sink_input_info_list(context, &Impl::inputListShim, this));
        forget(pa_ext_stream_restore_test(
            context,
            [](pa_context*, std::uint32_t version, void* data) {
                static_cast<Impl*>(data)->onRestoreAvailable(version);
            },
            this));
    }

    void listDone() {
        if (pendingLists > 0 && --pendingLists == 0) {
            synced = true;
            error.clear();
            everReady = true;
            reconcile();
            setState(ConnectionState::ready);
        }
        wake();
    }

    // ---- Events and info replies ----
    void onEvent(pa_subscription_event_type_t type, std::uint32_t index) {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        const Event event = kind == PA_SUBSCRIPTION_EVENT_NEW      ? Event::added
                            : kind == PA_SUBSCRIPTION_EVENT_REMOVE ? Event::removed
                                                                   : Event::changed;
        switch (facility) {
            case PA_SUBSCRIPTION_EVENT_CLIENT:
                table.clientEvent(event, index);
                if (event != Event::removed) {
                    forget(pa_context_get_client_info(context, index, &Impl::clientShim, this));
                }
                break;
            case PA_SUBSCRIPTION_EVENT_SINK:
                table.sinkEvent(event, index);
                if (event != Event::removed) {
                    forget(
                        pa_context_get_sink_info_by_index(context, index, &Impl::sinkShim, this));
                }
                break;
            case PA_SUBSCRIPTION_EVENT_SINK_INPUT:
                table.sinkInputEvent(event, index);
                if (event == Event::removed) {
                    movesInFlight.erase(index);
                } else {
                    forget(pa_context_get_sink_input_info(context, index, &Impl::inputShim, this));
                }
                break;
            case PA_SUBSCRIPTION_EVENT_SERVER:
                ++pendingLists;  // not part of the first sync once it is done
                forget(pa_context_get_server_info(context, &Impl::serverInfoShim, this));
                break;
            default:
                break;
        }
        if (event == Event::removed) {
            reconcile();
        }
        wake();
    }

    static void serverInfoShim(pa_context*, const pa_server_info* info, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (info != nullptr) {
            impl->table.setDefaultSinkName(info->default_sink_name ? info->default_sink_name : "");
            impl->reconcile();
        }
        impl->listDone();
    }

    ClientRecord clientRecord(const pa_client_info& info) const {
        ClientRecord record;
        record.index = info.index;
        record.ours = info.index == ownClient || prop(info.proplist, kClientKey).has_value();
        PidClaim claim;
        claim.securePid = intProp(info.proplist, kSecurePidKey);
        claim.reportedPid = intProp(info.proplist, PA_PROP_APPLICATION_PROCESS_ID);
        claim.binary = prop(info.proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
        claim.host = prop(info.proplist, PA_PROP_APPLICATION_PROCESS_HOST);
        record.pid = record.ours ? 0 : facts.hostPid(claim);
        record.hints.pid = record.pid;
        record.hints.portalAppId = prop(info.proplist, kPortalAppIdKey);
        record.hints.applicationId = prop(info.proplist, PA_PROP_APPLICATION_ID);
        record.hints.binary = claim.binary;
        return record;
    }

    static SinkRecord sinkRecord(const pa_sink_info& info) {
        SinkRecord record;
        record.index = info.index;
        record.name = info.name ? info.name : "";
        record.monitorName = info.monitor_source_name ? info.monitor_source_name : "";
        record.ownerModule = info.owner_module;
        record.rate = info.sample_spec.rate;
        record.channels = info.sample_spec.channels;
        char map[PA_CHANNEL_MAP_SNPRINT_MAX];
        pa_channel_map_snprint(map, sizeof map, &info.channel_map);
        record.channelMap = map;
        record.tapUuid = prop(info.proplist, kTapKey).value_or("");
        record.tapOwnerPid = intProp(info.proplist, kOwnerPidKey).value_or(0);
        record.tapOwnerStart = prop(info.proplist, kOwnerStartKey).value_or("");
        return record;
    }

    SinkInputRecord inputRecord(const pa_sink_input_info& info) const {
        SinkInputRecord record;
        record.index = info.index;
        record.client = info.client;
        record.sink = info.sink;
        record.corked = info.corked != 0;
        record.ours = (ownClient != kNoIndex && info.client == ownClient) ||
                      prop(info.proplist, kStreamKey).has_value();
        return record;
    }

    static void clientListShim(pa_context*, const pa_client_info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol != 0) {
            impl->listDone();
            return;
        }
        impl->table.clientInfo(impl->clientRecord(*info));
    }
    static void sinkListShim(pa_context*, const pa_sink_info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol != 0) {
            impl->listDone();
            return;
        }
        impl->table.sinkInfo(sinkRecord(*info));
    }
    static void inputListShim(pa_context*, const pa_sink_input_info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol != 0) {
            impl->listDone();
            return;
        }
        impl->table.sinkInputInfo(impl->inputRecord(*info));
    }
    static void clientShim(pa_context*, const pa_client_info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol == 0 && impl->table.clientInfo(impl->clientRecord(*info))) {
            impl->reconcile();
        }
        impl->wake();
    }
    static void sinkShim(pa_context*, const pa_sink_info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol == 0 && impl->table.sinkInfo(sinkRecord(*info))) {
            impl->reconcile();
        }
        impl->wake();
    }
    static void inputShim(pa_context*, const pa_sink_input_info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol == 0 && impl->table.sinkInputInfo(impl->inputRecord(*info))) {
            impl->reconcile();
        }
        impl->wake();
    }

    // ---- Stream restore ----
    // Moving a stream makes the server's stream restore remember the sink under
    // the stream's restore key, so that other streams with that key would start
    // in our tap sink, and after a crash the application would keep starting
    // in an orphaned one. Entries that point at a tap sink are put back to the
    // device they named before; so are the entries that moving a stream back
    // touches, for a short while after its tap went.
    void onRestoreAvailable(std::uint32_t version) {
        restoreAvailable = version != kNoIndex && context != nullptr;
        if (!restoreAvailable) {
            listDone();
            return;
        }
        pa_ext_stream_restore_set_subscribe_cb(
            context, [](pa_context*, void* data) { static_cast<Impl*>(data)->readRestore(); },
            this);
        forget(pa_ext_stream_restore_subscribe(context, 1, nullptr, nullptr));
        readRestore();
        listDone();
    }

    void readRestore() {
        if (context == nullptr || !restoreAvailable) {
            return;
        }
        auto collected = std::make_shared<std::map<std::string, RestoreEntry>>();
        Slot* reader =
            newSlot([this, collected](std::uint32_t) { onRestoreRead(std::move(*collected)); });
        const std::uint64_t readerId = reader->id;
        readerEntries[readerId] = collected;
        // The callback runs once per entry and once more at the end.
        pa_operation* op = pa_ext_stream_restore_read(
            context,
            [](pa_context*, const pa_ext_stream_restore_info* info, int eol, void* data) {
                auto* slot = static_cast<Slot*>(data);
                Impl* impl = slot->impl;
                if (eol != 0) {
                    impl->readerEntries.erase(slot->id);
                    finishSlot(data, 0);
                    return;
                }
                const auto it = impl->readerEntries.find(slot->id);
                if (it == impl->readerEntries.end() || info == nullptr || info->name == nullptr) {
                    return;
                }
                RestoreEntry entry;
                if (info->device != nullptr) {
                    entry.device = info->device;
                }
                entry.map = info->channel_map;
                entry.volume = info->volume;
                entry.mute = info->mute;
                (*it->second)[info->name] = entry;
            },
            reader);
        if (op == nullptr) {
            readerEntries.erase(readerId);
            slots.erase(readerId);
        }
        forget(op);
    }
    std::map<std::uint64_t, std::shared_ptr<std::map<std::string, RestoreEntry>>> readerEntries;

    static bool isTapSinkName(const std::optional<std::string>& device) {
        return device && device->rfind(kTapSinkPrefix, 0) == 0;
    }

    void onRestoreRead(std::map<std::string, RestoreEntry> db) {
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(guards,
                      [&](const auto& g) { return g.second.until && *g.second.until < now; });
        for (auto& [name, entry] : db) {
            auto guard = guards.find(name);
            if (isTapSinkName(entry.device)) {
                if (guard == guards.end()) {
                    // The device it named before our move, unless that was ours too.
                    std::optional<std::string> before;
                    if (const auto old = restoreDb.find(name);
                        old != restoreDb.end() && !isTapSinkName(old->second.device)) {
                        before = old->second.device;
                    }
                    guard = guards.emplace(name, Guard{before, std::nullopt}).first;
                }
                rewriteRestore(name, entry, guard->second.baseline);
            } else if (guard != guards.end() && guard->second.until &&
                       entry.device != guard->second.baseline) {
                rewriteRestore(name, entry, guard->second.baseline);
            }
        }
        restoreDb = std::move(db);
    }

    void rewriteRestore(const std::string& name, RestoreEntry& entry,
                        const std::optional<std::string>& device) {
        entry.device = device;
        pa_ext_stream_restore_info info{};
        info.name = name.c_str();
        info.channel_map = entry.map;
        info.volume = entry.volume;
        info.device = device ? device->c_str() : nullptr;
        info.mute = entry.mute;
        // Not applied to running streams: only what new streams will get.
        forget(
            pa_ext_stream_restore_write(context, PA_UPDATE_REPLACE, &info, 1, 0, nullptr, nullptr));
    }

    void releaseGuards() {
        const auto until = std::chrono::steady_clock::now() + kRestoreGuard;
        for (auto& [name, guard] : guards) {
            if (!guard.until) {
                guard.until = until;
            }
        }
    }

    // ---- Bringing the server in line ----
    // Runs after every change of the table and every call: loads missing tap
    // sinks, moves streams in and out of them, removes orphaned tap sinks,
    // starts, corks and uncorks IO streams, and keeps the default off our sinks.
    void reconcile() {
        if (context == nullptr || !synced) {
            return;
        }
        for (auto& [id, tap] : taps) {
            if (!tap.releasing && tap.sinkName.empty() && !tap.loading &&
                tap.failure == kAudioNoError) {
                loadTapSink(tap);
            }
        }
        moveStreams();
        sweepOrphans();
        for (auto& [id, proc] : procs) {
            updateStreams(*proc);
        }
        const SinkRecord* current = table.sinkByName(table.defaultSinkName());
        if (current != nullptr && current->isTap() && !table.lastRealDefault().empty() &&
            table.sinkByName(table.lastRealDefault()) != nullptr) {
            // Something made a tap sink the default (a module that switches to
            // new sinks): new streams would start inside it.
            forget(pa_context_set_default_sink(context, table.lastRealDefault().c_str(), nullptr,
                                               nullptr));
        }
    }

    Tap* tapOfSink(std::uint32_t sinkIndex) {
        const SinkRecord* sink = table.sink(sinkIndex);
        if (sink == nullptr || !sink->isTap()) {
            return nullptr;
        }
        for (auto& [id, tap] : taps) {
            if (tap.uuid == sink->tapUuid) {
                return &tap;
            }
        }
        return nullptr;
    }

    void loadTapSink(Tap& tap) {
        const SinkRecord* base = table.sinkByName(table.lastRealDefault());
        const std::uint32_t rate = base != nullptr && base->rate != 0 ? base->rate : 48000;
        std::uint8_t channels = base != nullptr && base->channels != 0 ? base->channels : 2;
        std::string map = base != nullptr ? base->channelMap : "";
        if (tap.channels != 0 && tap.channels != channels) {
            channels = tap.channels;
            map.clear();
        }
        tap.sinkName = std::string(kTapSinkPrefix) + std::to_string(ownPid) + "_" +
                       std::to_string(++sinkCounter);
        std::string args = "sink_name=" + tap.sinkName +
                           " sink_properties='device.description=\"Morvale tap\" " + kTapKey + "=" +
                           tap.uuid + " " + kOwnerPidKey + "=" + std::to_string(ownPid) + " " +
                           kOwnerStartKey + "=" + ownStart + "'" +
                           " norewinds=1 format=float32le rate=" + std::to_string(rate) +
                           " channels=" + std::to_string(channels);
        if (!map.empty() && map.find(' ') == std::string::npos) {
            args += " channel_map=" + map;
        }
        tap.loading = true;
        const AudioObjectID id = tap.id;
        forget(request(
            [&](Slot* slot) {
                return pa_context_load_module(context, "module-null-sink", args.c_str(),
                                              &Impl::indexShim, slot);
            },
            [this, id](std::uint32_t module) {
                const auto it = taps.find(id);
                if (it == taps.end() || it->second.releasing) {
                    // The tap went while its sink was being made.
                    if (module != kNoIndex) {
                        forget(pa_context_unload_module(context, module, nullptr, nullptr));
                    }
                    return;
                }
                it->second.loading = false;
                if (module == kNoIndex) {
                    it->second.sinkName.clear();
                    // PipeWire's server now and then refuses a null sink while
                    // another one is going away; a second try a moment later
                    // succeeds.
                    if (++it->second.loadAttempts < kLoadAttempts) {
                        retryLater(std::chrono::milliseconds(100));
                    } else {
                        it->second.failure = kAudioHardwareUnspecifiedError;
                    }
                } else {
                    it->second.module = module;
                }
                reconcile();
            }));
    }

    // Runs reconcile() again after a pause.
    void retryLater(std::chrono::milliseconds pause) {
        const timeval when = deadlineIn(pause);
        api->time_new(
            api, &when,
            [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
                a->time_free(event);
                static_cast<Impl*>(data)->reconcile();
            },
            this);
    }

    void moveStreams() {
        std::vector<TapTarget> targets;
        for (auto& [id, tap] : taps) {
            if (tap.releasing || tap.sinkName.empty()) {
                continue;
            }
            if (!capturing(tap)) {
                sendBack(tap, nullptr);  // its reader stopped: the streams play again
                continue;
            }
            const SinkRecord* sink = table.tapSink(tap.uuid);
            if (sink != nullptr && sink->name == tap.sinkName) {
                targets.push_back({tap.processes, sink->index});
            }
        }
        for (const Move& move : planMoves(table, targets, movesInFlight)) {
            const SinkInputRecord& input = table.sinkInputs().at(move.input);
            if (move.sink == kNoIndex) {
                continue;  // no real sink to send it to
            }
            if (move.kind == Move::Kind::capture) {
                Tap* tap = tapOfSink(move.sink);
                const SinkRecord* from = table.sink(input.sink);
                if (tap != nullptr && from != nullptr && !from->isTap()) {
                    tap->origins[move.input] =
                        Origin{from->name, from->name == table.lastRealDefault()};
                }
            }
            moveInput(move.input, move.sink);
        }
    }

    void moveInput(std::uint32_t input, std::uint32_t sink) {
        movesInFlight.insert(input);
        forget(request(
            [&](Slot* slot) {
                return pa_context_move_sink_input_by_index(context, input, sink, &Impl::successShim,
                                                           slot);
            },
            [this, input](std::uint32_t) {
                movesInFlight.erase(input);
                // The sink-input's change event brings its new sink.
            }));
    }

    // Tap sinks left behind by a process of this program that died (its
    // watchdog may not have run), or by this process on an earlier connection.
    bool isOrphan(const SinkRecord& sink) const {
        if (!sink.isTap()) {
            return false;
        }
        if (sink.tapOwnerPid == ownPid && sink.tapOwnerStart == ownStart) {
            for (const auto& [id, tap] : taps) {
                if (tap.uuid == sink.tapUuid && tap.sinkName == sink.name) {
                    return false;
                }
            }
            return true;
        }
        const std::string start = facts.startTime(sink.tapOwnerPid);
        return start.empty() || start != sink.tapOwnerStart;
    }

    void sweepOrphans() {
        const SinkRecord* home = table.sinkByName(table.lastRealDefault());
        for (const auto& [index, sink] : table.sinks()) {
            if (!isOrphan(sink) || unloading.contains(sink.ownerModule)) {
                continue;
            }
            bool empty = true;
            for (const auto& [inputIndex, input] : table.sinkInputs()) {
                if (input.sink != index) {
                    continue;
                }
                empty = false;
                if (home != nullptr && !movesInFlight.contains(inputIndex)) {
                    moveInput(inputIndex, home->index);
                }
            }
            if (empty || home == nullptr) {
                unloadModule(sink.ownerModule);
            }
        }
    }

    void unloadModule(std::uint32_t module) {
        if (module == kNoIndex) {
            return;
        }
        unloading.insert(module);
        forget(request(
            [&](Slot* slot) {
                return pa_context_unload_module(context, module, &Impl::successShim, slot);
            },
            [this, module](std::uint32_t) { unloading.erase(module); }));
    }

    bool hasOrphans() const {
        return std::any_of(table.sinks().begin(), table.sinks().end(),
                           [&](const auto& item) { return isOrphan(item.second); });
    }

    // ---- IO procs ----
    const Tap* tapOf(const IOProc& proc) const {
        const auto agg = aggregates.find(proc.device);
        if (agg == aggregates.end()) {
            return nullptr;
        }
        const auto tap = taps.find(agg->second.tap);
        return tap == taps.end() ? nullptr : &tap->second;
    }

    // Whether a tapped process plays (has an uncorked stream); a silent tap
    // corks its streams so that the real device can go idle.
    bool tapIsSounding(const Tap& tap) const {
        return std::any_of(tap.processes.begin(), tap.processes.end(), [&](AudioObjectID id) {
            const auto* process = table.process(id);
            return process != nullptr && process->running;
        });
    }

    // Whether the tap's processes are silenced into its sink now: always for
    // a muting tap, else while an IO proc reads the sink. Streams move in only
    // once that IO proc's capture runs, so the sink starts with short
    // fragments and none of the application's audio is rendered into nothing.
    bool capturing(const Tap& tap) const {
        if (tap.releasing) {
            return false;
        }
        if (tap.always) {
            return true;
        }
        return std::any_of(procs.begin(), procs.end(), [&](const auto& item) {
            const IOProc& proc = *item.second;
            return proc.running && proc.kicked && proc.ready() && tapOf(proc) == &tap;
        });
    }

    // Every stream of the tap's processes is inside its sink.
    bool tapSettled(const Tap& tap) const {
        const SinkRecord* sink = table.tapSink(tap.uuid);
        if (sink == nullptr || sink->name != tap.sinkName) {
            return false;
        }
        for (const AudioObjectID id : tap.processes) {
            const auto* process = table.process(id);
            if (process == nullptr) {
                continue;
            }
            for (const std::uint32_t input : process->sinkInputs) {
                const auto it = table.sinkInputs().find(input);
                if (it != table.sinkInputs().end() && it->second.sink != sink->index) {
                    return false;
                }
            }
        }
        return true;
    }

    // Where a stream leaving a tap sink goes: its own sink if that is still
    // there and was not just the default, else the current default.
    const SinkRecord* returnTarget(const Tap& tap, std::uint32_t input) const {
        const SinkRecord* target = table.sinkByName(table.lastRealDefault());
        if (const auto origin = tap.origins.find(input); origin != tap.origins.end()) {
            const SinkRecord* own = table.sinkByName(origin->second.sink);
            if (own != nullptr && !origin->second.wasDefault) {
                target = own;
            }
        }
        return target;
    }

    // Moves every stream in the tap's sink back out; `pending` counts the
    // moves until their replies come.
    void sendBack(const Tap& tap, const std::shared_ptr<int>& pending) {
        const SinkRecord* sink = table.tapSink(tap.uuid);
        if (sink == nullptr || sink->name != tap.sinkName) {
            return;
        }
        const std::uint32_t sinkIndex = sink->index;
        for (const auto& [index, input] : table.sinkInputs()) {
            if (input.sink != sinkIndex || movesInFlight.contains(index)) {
                continue;
            }
            const SinkRecord* target = returnTarget(tap, index);
            if (target == nullptr) {
                continue;
            }
            if (pending) {
                ++*pending;
            }
            movesInFlight.insert(index);
            const std::uint32_t inputIndex = index;
            const std::uint32_t targetIndex = target->index;
            forget(request(
                [&](Slot* slot) {
                    return pa_context_move_sink_input_by_index(context, inputIndex, targetIndex,
                                                               &Impl::successShim, slot);
                },
                [this, pending, inputIndex](std::uint32_t) {
                    movesInFlight.erase(inputIndex);
                    if (pending) {
                        --*pending;
                    }
                }));
        }
    }

    void updateStreams(IOProc& proc) {
        if (!proc.running) {
            destroyStreams(proc);
            return;
        }
        const Tap* tap = tapOf(proc);
        const SinkRecord* tapSink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
        const auto agg = aggregates.find(proc.device);
        const SinkRecord* master =
            agg != aggregates.end() ? table.sinkByName(agg->second.master) : nullptr;
        if (tapSink == nullptr || master == nullptr || tapSink->name != tap->sinkName) {
            return;  // not yet (or no longer) there; a later change brings them
        }
        const bool silent = !tapIsSounding(*tap);
        if (proc.capture == nullptr && proc.failure == kAudioNoError) {
            makeStreams(proc, *tapSink, *master, silent);
            return;
        }
        if (proc.ready() && proc.corked != silent) {
            proc.corked = silent;
            forget(pa_stream_cork(proc.capture, silent ? 1 : 0, nullptr, nullptr));
            forget(pa_stream_cork(proc.playback, silent ? 1 : 0, nullptr, nullptr));
            if (silent) {
                // What waits would be stale when the application plays again.
                forget(pa_stream_flush(proc.playback, nullptr, nullptr));
                proc.pendingSize = 0;
            }
        }
    }

    void makeStreams(IOProc& proc, const SinkRecord& tapSink, const SinkRecord& master,
                     bool corked) {
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_FLOAT32LE;
        spec.rate = tapSink.rate;
        spec.channels = tapSink.channels;
        pa_channel_map map{};
        if (pa_channel_map_parse(&map, tapSink.channelMap.c_str()) == nullptr ||
            map.channels != spec.channels) {
            pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
        }
        // The IO path's buffers, made here so that it never allocates.
        proc.channels = spec.channels;
        proc.frameBytes = pa_frame_size(&spec);
        proc.maxChunk = bytesFor(std::chrono::milliseconds(100), spec.rate, spec.channels);
        // Two fragments may wait for the server beyond its own target.
        proc.pendingCap = 2 * bytesFor(options.fragment, spec.rate, spec.channels);
        proc.pending.assign(proc.maxChunk + proc.pendingCap, 0);
        proc.pendingHead = 0;
        proc.pendingSize = 0;
        proc.droppedBytes = 0;
        proc.silence.assign(proc.maxChunk / sizeof(float), 0.0f);
        proc.output.assign(proc.maxChunk / sizeof(float), 0.0f);

        Proplist captureProps;
        captureProps.set(kStreamKey, "capture");
        captureProps.set(kRestoreIdKey, "morvale-capture");
        Proplist playbackProps;
        playbackProps.set(kStreamKey, "replay");
        playbackProps.set(kRestoreIdKey, "morvale-replay");
        proc.capture =
            pa_stream_new_with_proplist(context, "Morvale capture", &spec, &map, captureProps.list);
        proc.playback =
            pa_stream_new_with_proplist(context, "Morvale replay", &spec, &map, playbackProps.list);
        if (proc.capture == nullptr || proc.playback == nullptr) {
            proc.failure = kAudioHardwareUnspecifiedError;
            destroyStreams(proc);
            return;
        }
        const auto stateShim = [](pa_stream*, void* data) {
            auto* p = static_cast<IOProc*>(data);
            p->impl->onStreamState(*p);
        };
        pa_stream_set_state_callback(proc.capture, stateShim, &proc);
        pa_stream_set_state_callback(proc.playback, stateShim, &proc);
        pa_stream_set_read_callback(
            proc.capture,
            [](pa_stream*, std::size_t, void* data) {
                auto* p = static_cast<IOProc*>(data);
                p->impl->onCaptured(*p);
            },
            &proc);
        pa_stream_set_write_callback(
            proc.playback,
            [](pa_stream*, std::size_t, void* data) {
                auto* p = static_cast<IOProc*>(data);
                p->impl->drainOutput(*p);
            },
            &proc);
        pa_stream_set_underflow_callback(
            proc.playback,
            [](pa_stream*, void* data) {
                static_cast<IOProc*>(data)->impl->underflows.fetch_add(1,
                                                                       std::memory_order_relaxed);
            },
            &proc);

        const auto fragment =
            static_cast<std::uint32_t>(bytesFor(options.fragment, spec.rate, spec.channels));
        const auto target =
            static_cast<std::uint32_t>(bytesFor(options.target, spec.rate, spec.channels));
        pa_buffer_attr captureAttr{kUnknownSize, kUnknownSize, kUnknownSize, kUnknownSize,
                                   fragment};
        pa_buffer_attr playbackAttr{kUnknownSize, target, kUnknownSize, fragment, kUnknownSize};
        // The capture never moves: following the default onto a monitor would
        // play our own output back into itself.
        auto flags = PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE;
        if (corked) {
            flags |= PA_STREAM_START_CORKED;
        }
        proc.corked = corked;
        const auto streamFlags = static_cast<pa_stream_flags_t>(flags);
        if (pa_stream_connect_record(proc.capture, tapSink.monitorName.c_str(), &captureAttr,
                                     streamFlags) < 0 ||
            pa_stream_connect_playback(proc.playback, master.name.c_str(), &playbackAttr,
                                       streamFlags, nullptr, nullptr) < 0) {
            proc.failure = kAudioHardwareUnspecifiedError;
            destroyStreams(proc);
        }
    }

    void onStreamState(IOProc& proc) {
        if (!proc.kicked && proc.ready()) {
            proc.kicked = true;
            kickTapSink(proc);
            reconcile();  // the tapped streams can move in now
        }
        for (pa_stream* stream : {proc.capture, proc.playback}) {
            if (stream == nullptr) {
                continue;
            }
            const auto s = pa_stream_get_state(stream);
            if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED) {
                // The tap sink or the master device went away: the session is
                // rebuilt by its owner, or the streams are made again on the
                // next connection.
                proc.failure = kAudioHardwareUnspecifiedError;
                destroyStreams(proc);
                break;
            }
        }
        wake();
    }

    // A null sink that starts rendering arms its first period with the long
    // latency it had before our capture asked for short fragments, so the
    // first captured data would come only after about two seconds. Suspending
    // and resuming it restarts its timing with the short period.
    void kickTapSink(const IOProc& proc) {
        const Tap* tap = tapOf(proc);
        const SinkRecord* sink = tap != nullptr ? table.tapSink(tap->uuid) : nullptr;
        if (sink == nullptr) {
            return;
        }
        forget(pa_context_suspend_sink_by_index(context, sink->index, 1, nullptr, nullptr));
        forget(pa_context_suspend_sink_by_index(context, sink->index, 0, nullptr, nullptr));
    }

    static void destroyStream(pa_stream*& stream) {
        if (stream == nullptr) {
            return;
        }
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(stream, nullptr, nullptr);
        if (pa_stream_get_state(stream) == PA_STREAM_READY ||
            pa_stream_get_state(stream) == PA_STREAM_CREATING) {
            pa_stream_disconnect(stream);
        }
        pa_stream_unref(stream);
        stream = nullptr;
    }

    void destroyStreams(IOProc& proc) {
        proc.kicked = false;
        destroyStream(proc.capture);
        destroyStream(proc.playback);
    }

    // The IO path, on libpulse's thread: one IO block call per captured
    // fragment. Nothing here allocates.
    void onCaptured(IOProc& proc) {
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
                const void* chunk = data != nullptr
                                        ? static_cast<const unsigned char*>(data) + offset
                                        : static_cast<const void*>(proc.silence.data());
                runBlock(proc, chunk, length);
                offset += length;
            }
            pa_stream_drop(proc.capture);
        }
    }

    void runBlock(IOProc& proc, const void* input, std::size_t length) {
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
        queueOutput(proc, reinterpret_cast<const unsigned char*>(proc.output.data()), length);
        drainOutput(proc);
    }

    // The output queue: what the IO block produced and the server has not
    // asked for yet. It holds at most `pendingCap` bytes; older ones are left
    // out. So jitter between the capture and the playback clocks costs
    // nothing, while a device clock slower than the tap's, or a burst of
    // captured data, never builds up latency. Nothing here allocates.
    static void queueOutput(IOProc& proc, const unsigned char* data, std::size_t length) {
        const std::size_t capacity = proc.pending.size();
        if (length > proc.pendingCap) {
            data += length - proc.pendingCap;
            proc.droppedBytes += length - proc.pendingCap;
            length = proc.pendingCap;
        }
        if (proc.pendingSize + length > proc.pendingCap) {
            const std::size_t excess = proc.pendingSize + length - proc.pendingCap;
            proc.pendingHead = (proc.pendingHead + excess) % capacity;
            proc.pendingSize -= excess;
            proc.droppedBytes += excess;
        }
        std::size_t tail = (proc.pendingHead + proc.pendingSize) % capacity;
        while (length > 0) {
            const std::size_t n = std::min(length, capacity - tail);
            std::memcpy(proc.pending.data() + tail, data, n);
            proc.pendingSize += n;
            data += n;
            length -= n;
            tail = (tail + n) % capacity;
        }
    }

    void drainOutput(IOProc& proc) {
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
        std::size_t want = std::min(writable, proc.pendingSize);
        want -= want % proc.frameBytes;
        while (want > 0) {
            const std::size_t n = std::min(want, proc.pending.size() - proc.pendingHead);
            pa_stream_write(proc.playback, proc.pending.data() + proc.pendingHead, n, nullptr, 0,
                            PA_SEEK_RELATIVE);
            proc.pendingHead = (proc.pendingHead + n) % proc.pending.size();
            proc.pendingSize -= n;
            want -= n;
        }
    }

    // ---- Property reads ----
    struct Found {
        std::vector<unsigned char> bytes;
        std::optional<std::string> text;
        OSStatus status = kAudioNoError;
    };

    template <typename T>
    static Found bytesOf(const T& value) {
        Found found;
        found.bytes.resize(sizeof(T));
        std::memcpy(found.bytes.data(), &value, sizeof(T));
        return found;
    }
    static Found listOf(const std::vector<AudioObjectID>& ids) {
        Found found;
        found.bytes.resize(ids.size() * sizeof(AudioObjectID));
        if (!ids.empty()) {
            std::memcpy(found.bytes.data(), ids.data(), found.bytes.size());
        }
        return found;
    }
    static Found failed(OSStatus status) {
        Found found;
        found.status = status;
        return found;
    }

    const Aggregate* aggregate(AudioObjectID id) const {
        const auto it = aggregates.find(id);
        return it == aggregates.end() ? nullptr : &it->second;
    }

    // Looks a property up (lock held). A 'pbid' read returns the hints to look
    // the identifier up with, which happens without the lock.
    Found lookup(AudioObjectID object, const AudioObjectPropertyAddress& a,
                 std::optional<linux_desktop::ClientHints>* hints) const {
        if (state != ConnectionState::ready) {
            return failed(kAudioHardwareNotRunningError);
        }
        if (object == kAudioObjectSystemObject) {
            if (a.mSelector == kProcessObjectList)
                return listOf(table.processObjects());
            if (a.mSelector == kDefaultOutputDevice)
                return bytesOf(table.defaultDevice());
            return failed(kAudioHardwareUnknownPropertyError);
        }
        if (const auto* process = table.process(object)) {
            if (a.mSelector == kProcessPID)
                return bytesOf(process->pid);
            if (a.mSelector == kProcessIsRunningOutput) {
                return bytesOf(std::uint32_t{process->running ? 1u : 0u});
            }
            if (a.mSelector == kProcessBundleID) {
                if (hints != nullptr) {
                    *hints = process->hints;
                }
                Found found;
                found.text = "";
                return found;
            }
            return failed(kAudioHardwareUnknownPropertyError);
        }
        if (const SinkRecord* sink = table.device(object)) {
            if (a.mSelector == kDeviceUID) {
                Found found;
                found.text = sink->name;
                return found;
            }
            if (a.mSelector == kDeviceStreams)
                return listOf({});
            return failed(kAudioHardwareUnknownPropertyError);
        }
        if (const Aggregate* agg = aggregate(object)) {
            if (a.mSelector == kDeviceUID) {
                Found found;
                found.text = agg->uid;
                return found;
            }
            if (a.mSelector == kDeviceStreams && a.mScope == kScopeInput) {
                return listOf(aggregateInputs(*agg));
            }
            if (a.mSelector == kDeviceStreams)
                return listOf({});
            return failed(kAudioHardwareUnknownPropertyError);
        }
        return failed(kAudioHardwareBadObjectError);
    }

    // An aggregate device's input streams: its master has none (a sink has no
    // inputs), so only its tap's.
    std::vector<AudioObjectID> aggregateInputs(const Aggregate& agg) const {
        const auto tap = taps.find(agg.tap);
        if (tap == taps.end()) {
            return {};
        }
        return {tap->second.stream};
    }

    IOProc* procOn(AudioObjectID device, AudioDeviceIOProcID id) {
        const auto it = procs.find(id);
        return it == procs.end() || it->second->device != device ? nullptr : it->second.get();
    }

    // ---- Taps, called on the main thread with the lock held ----
    void stopProc(IOProc& proc) {
        proc.running = false;
        destroyStreams(proc);
    }

    // Moves each captured stream back, waits for the moves, then unloads the
    // sink and waits for that.
    void releaseTap(Tap& tap) {
        tap.releasing = true;
        for (auto& [id, proc] : procs) {
            if (tapOf(*proc) == &tap) {
                stopProc(*proc);
            }
        }
        if (context == nullptr || !synced) {
            return;
        }
        auto pending = std::make_shared<int>(0);
        sendBack(tap, pending);
        if (!waitFor([&] { return *pending <= 0 || context == nullptr; }, options.timeout)) {
            timedOut("moving streams back");
            return;
        }
        if (context == nullptr) {
            return;
        }
        // The server may answer a move before the stream has left (PipeWire's
        // session manager relinks it afterwards); unloading the sink before
        // that would send the stream to the default instead of its own sink.
        waitFor(
            [&] {
                const SinkRecord* sink = table.tapSink(tap.uuid);
                return context == nullptr || sink == nullptr ||
                       std::none_of(
                           table.sinkInputs().begin(), table.sinkInputs().end(),
                           [&](const auto& item) { return item.second.sink == sink->index; });
            },
            options.timeout);
        if (context == nullptr) {
            return;
        }
        const std::uint32_t module = tap.module;
        if (module != kNoIndex) {
            auto done = std::make_shared<bool>(false);
            forget(request(
                [&](Slot* slot) {
                    return pa_context_unload_module(context, module, &Impl::successShim, slot);
                },
                [done](std::uint32_t) { *done = true; }));
            if (!waitFor([&] { return *done || context == nullptr; }, options.timeout)) {
                timedOut("unloading a tap");
                return;
            }
        }
        releaseGuards();
    }
};

// ---------------------------------------------------------------------------

PulseAudioSystem::PulseAudioSystem(const linux_desktop::AppIdentifier& identifier)
    : PulseAudioSystem(identifier, Options{}) {}

PulseAudioSystem::PulseAudioSystem(const linux_desktop::AppIdentifier& identifier,
                                   Options options) {
    if (options.watchdog) {
        // Before any libpulse object of this process exists.
        ensureWatchdog(options.server, options.timeout);
    }
    impl_ = std::make_unique<Impl>(identifier, std::move(options));
    Impl& impl = *impl_;
    impl.loop = pa_threaded_mainloop_new();
    impl.api = pa_threaded_mainloop_get_api(impl.loop);
    pa_threaded_mainloop_set_name(impl.loop, "morvale-pulse");
    Impl::Lock lock(impl.loop);
    if (pa_threaded_mainloop_start(impl.loop) < 0) {
        impl.error = "Couldn't start the sound server thread";
        impl.state = ConnectionState::disconnected;
        return;
    }
    impl.connect();
    impl.waitFor(
        [&] {
            return impl.state == ConnectionState::ready ||
                   impl.state == ConnectionState::disconnected;
        },
        impl.options.timeout);
}

PulseAudioSystem::~PulseAudioSystem() {
    Impl& impl = *impl_;
    {
        Impl::Lock lock(impl.loop);
        // Taps still standing are taken down, so that nothing of ours stays.
        for (auto& [id, tap] : impl.taps) {
            if (impl.context != nullptr && impl.state == ConnectionState::ready) {
                impl.releaseTap(tap);
            }
        }
        for (auto& [id, proc] : impl.procs) {
            impl.destroyStreams(*proc);
        }
        if (impl.retry != nullptr) {
            impl.api->time_free(impl.retry);
            impl.retry = nullptr;
        }
        if (impl.context != nullptr) {
            pa_context_set_state_callback(impl.context, nullptr, nullptr);
            pa_context_set_subscribe_callback(impl.context, nullptr, nullptr);
            pa_context_disconnect(impl.context);
            pa_context_unref(impl.context);
            impl.context = nullptr;
        }
        impl.slots.clear();
    }
    pa_threaded_mainloop_stop(impl.loop);
    pa_threaded_mainloop_free(impl.loop);
}

PulseAudioSystem::ConnectionState PulseAudioSystem::connectionState() const {
    Impl::Lock lock(impl_->loop);
    return impl_->state;
}

std::string PulseAudioSystem::errorText() const {
    Impl::Lock lock(impl_->loop);
    return impl_->state == ConnectionState::ready ? std::string() : impl_->error;
}

void PulseAudioSystem::setConnectionObserver(std::function<void(ConnectionState)> observer) {
    Impl::Lock lock(impl_->loop);
    impl_->observer = std::move(observer);
}

PulseAudioSystem::IOStats PulseAudioSystem::ioStats() const {
    return IOStats{impl_->fragments.load(), impl_->frames.load(), impl_->underflows.load(),
                   impl_->dropped.load()};
}

std::optional<std::string> PulseAudioSystem::availabilityProblem() const {
    Impl::Lock lock(impl_->loop);
    if (impl_->state == ConnectionState::ready) {
        return std::nullopt;
    }
    return impl_->everReady ? "Lost the connection to the sound server; reconnecting…"
                            : "Couldn't connect to the sound server; retrying…";
}

bool PulseAudioSystem::hasOrphanedSinks() const {
    Impl::Lock lock(impl_->loop);
    return impl_->hasOrphans();
}

// ---- Properties ----

OSStatus PulseAudioSystem::getPropertyDataSize(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t, const void*,
                                               std::uint32_t* outDataSize) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    std::uint32_t size = 0;
    if (address.mSelector == kIOProcStreamUsage) {
        const auto* agg = impl.aggregate(object);
        if (agg == nullptr || address.mScope != kScopeInput) {
            return kAudioHardwareUnknownPropertyError;
        }
        size = static_cast<std::uint32_t>(
            streamusage::sizeFor(static_cast<std::uint32_t>(impl.aggregateInputs(*agg).size())));
    } else {
        const auto found = impl.lookup(object, address, nullptr);
        if (found.status != kAudioNoError) {
            return found.status;
        }
        size = found.text ? static_cast<std::uint32_t>(sizeof(StringRef))
                          : static_cast<std::uint32_t>(found.bytes.size());
    }
    if (outDataSize != nullptr) {
        *outDataSize = size;
    }
    return kAudioNoError;
}

OSStatus PulseAudioSystem::getPropertyData(AudioObjectID object,
                                           const AudioObjectPropertyAddress& address, std::uint32_t,
                                           const void*, std::uint32_t* ioDataSize, void* outData) {
    if (ioDataSize == nullptr || outData == nullptr) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    auto* out = static_cast<unsigned char*>(outData);
    std::optional<linux_desktop::ClientHints> hints;
    Impl::Found found;
    {
        Impl::Lock lock(impl.loop);
        if (address.mSelector == kIOProcStreamUsage) {
            const auto* agg = impl.aggregate(object);
            if (agg == nullptr || address.mScope != kScopeInput) {
                return kAudioHardwareUnknownPropertyError;
            }
            if (*ioDataSize < streamusage::kFlagsOffset) {
                return kAudioHardwareBadPropertySizeError;
            }
            Impl::IOProc* proc = impl.procOn(object, streamusage::proc(out));
            if (proc == nullptr) {
                return kAudioHardwareIllegalOperationError;
            }
            const auto streams = static_cast<std::uint32_t>(impl.aggregateInputs(*agg).size());
            const auto room = static_cast<std::uint32_t>((*ioDataSize - streamusage::kFlagsOffset) /
                                                         sizeof(std::uint32_t));
            const std::uint32_t written = std::min(streams, room);
            streamusage::setCount(out, streams);
            for (std::uint32_t i = 0; i < written; ++i) {
                streamusage::setFlag(out, i, i < proc->usage.size() ? proc->usage[i] : 1u);
            }
            *ioDataSize = static_cast<std::uint32_t>(streamusage::sizeFor(written));
            return kAudioNoError;
        }
        found = impl.lookup(object, address, &hints);
    }
    if (found.status != kAudioNoError) {
        return found.status;
    }
    if (hints) {
        // The identifier may read files; the server thread is not held up by it.
        const auto id = impl.identifier.desktopId(*hints);
        if (!id) {
            return kAudioHardwareUnknownPropertyError;
        }
        found.text = *id;
    }
    if (found.text) {
        if (*ioDataSize < sizeof(StringRef)) {
            return kAudioHardwareBadPropertySizeError;
        }
        const StringRef ref = makeStringRef(*found.text);
        std::memcpy(out, &ref, sizeof ref);
        *ioDataSize = sizeof ref;
        return kAudioNoError;
    }
    const bool isList =
        address.mSelector == kProcessObjectList || address.mSelector == kDeviceStreams;
    if (!isList && *ioDataSize < found.bytes.size()) {
        return kAudioHardwareBadPropertySizeError;
    }
    std::size_t count = std::min<std::size_t>(found.bytes.size(), *ioDataSize);
    if (isList) {
        count -= count % sizeof(AudioObjectID);
    }
    if (count > 0) {
        std::memcpy(out, found.bytes.data(), count);
    }
    *ioDataSize = static_cast<std::uint32_t>(count);
    return kAudioNoError;
}

OSStatus PulseAudioSystem::setPropertyData(AudioObjectID object,
                                           const AudioObjectPropertyAddress& address, std::uint32_t,
                                           const void*, std::uint32_t dataSize, const void* data) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    const auto* agg = impl.aggregate(object);
    if (address.mSelector != kIOProcStreamUsage || agg == nullptr ||
        address.mScope != kScopeInput) {
        // Everything else is read-only.
        const auto found = impl.lookup(object, address, nullptr);
        return found.status != kAudioNoError ? found.status : kAudioHardwareIllegalOperationError;
    }
    if (data == nullptr || dataSize < streamusage::kFlagsOffset) {
        return kAudioHardwareBadPropertySizeError;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    Impl::IOProc* proc = impl.procOn(object, streamusage::proc(in));
    const auto streams = impl.aggregateInputs(*agg).size();
    const std::uint32_t count = streamusage::count(in);
    if (proc == nullptr || count > streams || streamusage::sizeFor(count) > dataSize) {
        return kAudioHardwareIllegalOperationError;
    }
    proc->usage.assign(streams, 1u);
    for (std::uint32_t i = 0; i < count; ++i) {
        proc->usage[i] = streamusage::flag(in, i);
    }
    return kAudioNoError;
}

// ---- Taps ----

OSStatus PulseAudioSystem::createProcessTap(const TapDescription& description,
                                            AudioObjectID* outTapID) {
    if (outTapID == nullptr) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.state != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    if (description.muteBehavior == TapMuteBehavior::unmuted) {
        // A stream plays in one sink only: it cannot be heard and read apart.
        return kAudioHardwareUnsupportedOperationError;
    }
    for (const auto& [id, tap] : impl.taps) {
        if (!description.uuid.empty() && tap.uuid == description.uuid) {
            return kAudioHardwareIllegalOperationError;  // a UUID names one tap
        }
    }
    const AudioObjectID id = impl.table.newObjectID();
    Impl::Tap& tap = impl.taps[id];
    tap.id = id;
    tap.stream = impl.table.newObjectID();
    tap.processes.insert(description.processes.begin(), description.processes.end());
    tap.uuid = description.uuid.empty() ? "tap-" + std::to_string(id) : description.uuid;
    tap.channels = description.mixdown && description.mono ? 1 : 0;
    tap.always = description.muteBehavior == TapMuteBehavior::muted;
    impl.reconcile();  // loads the sink

    // Ready once the sink is listed (and, for a muting tap, the tapped
    // streams are inside it).
    const auto settled = [&] {
        if (tap.failure != kAudioNoError || impl.context == nullptr) {
            return true;
        }
        const SinkRecord* sink = impl.table.tapSink(tap.uuid);
        if (sink == nullptr || sink->name != tap.sinkName) {
            return false;
        }
        return !tap.always || impl.tapSettled(tap);
    };
    const bool done = impl.waitFor(settled, impl.options.timeout);
    OSStatus status = kAudioNoError;
    if (!done) {
        status =
            impl.table.tapSink(tap.uuid) == nullptr ? impl.timedOut("making a tap") : kAudioNoError;
    } else if (impl.context == nullptr) {
        status = kAudioHardwareNotRunningError;
    } else {
        status = tap.failure;
    }
    if (status != kAudioNoError) {
        impl.releaseTap(tap);
        impl.taps.erase(id);
        return status;
    }
    *outTapID = id;
    return kAudioNoError;
}

OSStatus PulseAudioSystem::destroyProcessTap(AudioObjectID tapID) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    const auto it = impl.taps.find(tapID);
    if (it == impl.taps.end()) {
        return kAudioHardwareBadObjectError;
    }
    if (impl.state == ConnectionState::ready) {
        impl.releaseTap(it->second);
    }
    impl.taps.erase(tapID);
    return kAudioNoError;
}

// ---- Aggregate devices ----

OSStatus PulseAudioSystem::createAggregateDevice(const PlistValue::Dict& description,
                                                 AudioObjectID* outDeviceID) {
    if (outDeviceID == nullptr) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.state != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    const auto master = description.find("master");
    const std::string* masterName =
        master != description.end() ? master->second.asString() : nullptr;
    if (masterName == nullptr || impl.table.deviceForSinkName(*masterName) == 0) {
        return kAudioHardwareBadDeviceError;
    }
    // Exactly one tap, one of ours, named by its UUID.
    const auto tapsEntry = description.find("taps");
    const PlistValue::List* tapList =
        tapsEntry != description.end() ? tapsEntry->second.asList() : nullptr;
    if (tapList == nullptr || tapList->size() != 1) {
        return kAudioHardwareUnsupportedOperationError;
    }
    const PlistValue* tapUid = tapList->front().find("uid");
    const std::string* uuid = tapUid != nullptr ? tapUid->asString() : nullptr;
    AudioObjectID tapID = 0;
    for (const auto& [id, tap] : impl.taps) {
        if (uuid != nullptr && tap.uuid == *uuid) {
            tapID = id;
        }
    }
    if (tapID == 0) {
        return kAudioHardwareIllegalOperationError;
    }
    const auto uid = description.find("uid");
    const std::string* uidText = uid != description.end() ? uid->second.asString() : nullptr;
    const AudioObjectID id = impl.table.newObjectID();
    impl.aggregates[id] =
        Impl::Aggregate{id, uidText ? *uidText : std::string(), *masterName, tapID};
    *outDeviceID = id;
    return kAudioNoError;
}

OSStatus PulseAudioSystem::destroyAggregateDevice(AudioObjectID device) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.aggregates.erase(device) == 0) {
        return kAudioHardwareBadDeviceError;
    }
    // The device's IO procs go with it.
    std::erase_if(impl.procs, [&](auto& item) {
        if (item.second->device != device) {
            return false;
        }
        impl.stopProc(*item.second);
        return true;
    });
    return kAudioNoError;
}

// ---- IO procs ----

OSStatus PulseAudioSystem::createIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                                   AudioObjectID device, DispatchQueue,
                                                   AudioDeviceIOBlock block) {
    if (outIOProcID == nullptr || !block) {
        return kAudioParamError;
    }
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    if (impl.aggregate(device) == nullptr) {
        // IO procs run on aggregate devices only: a plain sink has nothing to read.
        return impl.table.device(device) != nullptr ? kAudioHardwareUnsupportedOperationError
                                                    : kAudioHardwareBadDeviceError;
    }
    // IO proc ids are opaque tokens; they never point at anything.
    const auto id = reinterpret_cast<AudioDeviceIOProcID>(impl.nextProc++ * 16);
    auto proc = std::make_unique<Impl::IOProc>();
    proc->impl = &impl;
    proc->id = id;
    proc->device = device;
    proc->block = std::move(block);
    impl.procs[id] = std::move(proc);
    *outIOProcID = id;
    return kAudioNoError;
}

OSStatus PulseAudioSystem::destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    Impl::IOProc* proc = impl.procOn(device, ioProc);
    if (proc == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    impl.stopProc(*proc);
    impl.procs.erase(ioProc);
    return kAudioNoError;
}

OSStatus PulseAudioSystem::deviceStart(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    Impl::IOProc* proc = impl.procOn(device, ioProc);
    if (proc == nullptr) {
        return kAudioHardwareBadDeviceError;
    }
    if (impl.state != ConnectionState::ready) {
        return kAudioHardwareNotRunningError;
    }
    if (impl.tapOf(*proc) == nullptr) {
        return kAudioHardwareBadObjectError;  // its tap is gone
    }
    if (proc->running && proc->ready()) {
        return kAudioNoError;
    }
    proc->running = true;
    proc->failure = kAudioNoError;
    impl.reconcile();
    const bool settled = impl.waitFor(
        [&] {
            if (proc->failure != kAudioNoError || impl.context == nullptr) {
                return true;
            }
            // Running once the capture runs and the tapped streams are inside.
            const Impl::Tap* tap = impl.tapOf(*proc);
            return proc->ready() && proc->kicked && tap != nullptr && impl.tapSettled(*tap);
        },
        impl.options.timeout);
    OSStatus status = kAudioNoError;
    if (!settled) {
        status = impl.timedOut("starting audio");
    } else if (impl.context == nullptr) {
        status = kAudioHardwareNotRunningError;
    } else if (!proc->ready()) {
        status = proc->failure != kAudioNoError ? proc->failure : kAudioHardwareUnspecifiedError;
    }
    if (status != kAudioNoError) {
        impl.stopProc(*proc);
    }
    return status;
}

OSStatus PulseAudioSystem::deviceStop(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    Impl& impl = *impl_;
    Impl::Lock lock(impl.loop);
    Impl::IOProc* proc = impl.procOn(device, ioProc);
    if (proc == nullptr) {
        return kAudioHardwareBadDeviceError;
    }
    impl.stopProc(*proc);
    return kAudioNoError;
}

std::string toString(PulseAudioSystem::ConnectionState state) {
    switch (state) {
        case PulseAudioSystem::ConnectionState::connecting:
            return "connecting";
        case PulseAudioSystem::ConnectionState::ready:
            return "ready";
        case PulseAudioSystem::ConnectionState::disconnected:
            return "disconnected";
    }
    return "?";
}

}  // namespace morvale::pulse
