// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// PulseAudioSystem::Impl: the libpulse backend, put together from parts
// that each own one concern and can be read alone:
//   ServerConnection  the context, reconnecting, the first sync, requests
//   ObjectTable       the server's objects, and the process and device ids
//   TapSinks          the taps, their null sinks, moving streams, orphans
//   RestoreGuard      stream-restore entries kept off the tap sinks
//   OutputRouter      the moves that send streams to the sinks routes name
//   IOPath            one IO proc's streams and its real-time path
// Impl holds them, the aggregate devices and IO procs, and wires them
// together; everything here runs under the threaded main loop's lock.
// Private to the backend: only its own .cpp files include it. Impl's member
// functions are defined by concern in
//   PulseConnectionEvents.cpp  what the connection's coming and going does
//   PulseCatalogue.cpp   server events and info replies into the ObjectTable
//   PulseCaptureCatalogue.cpp  the same for sources and capture streams
//   PulseCallMirrors.cpp role-based modules, and the call mirrors for them
//   PulseReconcile.cpp   bringing the server in line; taking taps and IO procs down
//   PulseIOStreams.cpp   the IO procs' paths (IOPath), as things come and go
//   PulseLookup.cpp      property reads
//   PulseRoutes.cpp      output routes: which streams they name, and their moves

#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/OutputRoute.h"
#include "platform/PropertyAnswer.h"
#include "platform/pulse/taps/CallDucking.h"
#include "platform/pulse/replay/IOPath.h"
#include "platform/pulse/server/ObjectTable.h"
#include "platform/pulse/taps/OutputRouter.h"
#include "platform/pulse/server/ProcessFacts.h"
#include "platform/pulse/server/ProcessIdentities.h"
#include "platform/pulse/PropertyListeners.h"
#include "platform/pulse/PulseAudioSystem.h"
#include "platform/pulse/server/PulseHandles.h"
#include "platform/pulse/server/PulseKeys.h"
#include "platform/pulse/taps/RestoreGuard.h"
#include "platform/pulse/server/ServerConnection.h"
#include "platform/pulse/taps/TapSinks.h"

namespace morvale::pulse {

struct PulseAudioSystem::Impl {
    using Tap = pulse::Tap;

    struct Aggregate {
        AudioObjectID id = 0;
        std::string name;
        std::string uid;
        std::string master;  // sink name
        AudioObjectID tap = 0;
    };

    // A block that an owner runs on an aggregate device, and its path while
    // it runs.
    struct IOProc {
        IOProc(Impl& owner, AudioDeviceIOProcID procID, AudioObjectID onDevice,
               AudioDeviceIOBlock block)
            : impl(&owner),
              id(procID),
              device(onDevice),
              path(std::move(block), owner.ioCounters,
                   ReplayTiming{owner.options.fragment, owner.options.target},
                   [this] { impl->onStreamState(*this); }) {}
        IOProc(const IOProc&) = delete;
        IOProc& operator=(const IOProc&) = delete;

        Impl* impl;
        AudioDeviceIOProcID id;
        AudioObjectID device;
        bool running = false;
        std::vector<std::uint32_t> usage;  // stream usage flags ('suse')
        // Stopping: the tapped streams go back to their own sinks while the
        // replay still plays what is left in the tap sink.
        bool handingBack = false;
        OSStatus failure = kAudioNoError;
        IOPath path;
    };

    // `mainLoop` is made (not started) by the caller, which frees it after
    // this is gone.
    Impl(const LinuxDesktop::AppIdentifier& appIdentifier, Options chosen,
         pa_threaded_mainloop* mainLoop)
        : identifier(appIdentifier),
          options(std::move(chosen)),
          loop(mainLoop),
          api(pa_threaded_mainloop_get_api(mainLoop)),
          connection(mainLoop, options.server, options.retryInterval, ownPid,
                     {[this](pa_context* context) { return onConnected(context); },
                      [this] { reconcile(); }, [this] { forgetConnection(); }}),
          identities([this](const LinuxDesktop::ClientHints& hints) { return identify(hints); },
                     [this] {
                         Lock lock(loop);
                         reconcile();
                     }) {}

    // ---- Fixed ----
    const LinuxDesktop::AppIdentifier& identifier;
    const Options options;
    const ProcessFacts facts;
    const std::int32_t ownPid = static_cast<std::int32_t>(::getpid());
    const std::string ownStart = facts.startTime(ownPid);
    pa_threaded_mainloop* const loop;
    pa_mainloop_api* const api;

    // ---- Guarded by the main loop's lock ----
    ServerConnection connection;
    // The server is PipeWire's PulseAudio server (from its server info),
    // whose null sinks must not be suspended under a live capture.
    bool pipeWire = false;

    ObjectTable table;
    std::uintptr_t nextProc = 1;
    std::map<AudioObjectID, Aggregate> aggregates;
    std::map<AudioDeviceIOProcID, std::unique_ptr<IOProc>> procs;

    PropertyListeners listeners;
    // Asks for identities on a thread of its own; its answers take the lock.
    // Ended before the main loop is.
    ProcessIdentities identities;

    TapSinks tapSinks{connection,
                      table,
                      identities,
                      facts,
                      ownPid,
                      ownStart,
                      options.timeout,
                      {[this](const Tap& tap) { return capturing(tap); }, [this] { reconcile(); },
                       [this](std::uint32_t input) { return router.wish(input); }}};

    RestoreGuard restore{
        [this](const std::string& device) { return tapSinks.isChosenSink(device); },
        [this] { connection.wake(); }};

    // The output routes as last given (kept while the server is away), and
    // the streams they sent somewhere.
    OutputRoutes routes;
    OutputRouter router;

    IOCounters ioCounters;
    std::atomic<bool> realtime{false};

    // ---- Locking (waiting is the connection's) ----
    struct Lock {
        pa_threaded_mainloop* loop;
        explicit Lock(pa_threaded_mainloop* l) : loop(l) { pa_threaded_mainloop_lock(loop); }
        ~Lock() { pa_threaded_mainloop_unlock(loop); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
    };

    // ---- The connection coming and going (PulseConnectionEvents.cpp) ----
    // Subscribes and asks for every list; returns how many.
    int onConnected(pa_context* context);
    // Forgets everything of the connection that goes. The logical objects
    // (taps, aggregate devices, IO procs) stay and are made again on the
    // next connection.
    void forgetConnection();

    // ---- Events and info replies (PulseCatalogue.cpp) ----
    void onEvent(pa_subscription_event_type_t type, std::uint32_t index);
    static void serverInfoShim(pa_context*, const pa_server_info* info, void* data);
    // The record of each kind of server object, from its info reply.
    ClientRecord recordOf(const pa_client_info& info) const;
    SinkRecord recordOf(const pa_sink_info& info) const;
    SinkInputRecord recordOf(const pa_sink_input_info& info) const;
    SourceRecord recordOf(const pa_source_info& info) const;
    SourceOutputRecord recordOf(const pa_source_output_info& info) const;
    // A stream this program made: on its own connection, or marked as ours
    // (by a process of this program on another connection).
    bool ownStream(std::uint32_t client, const pa_proplist* properties) const;
    // Puts a stream of this connection back to 100% and unmuted when another
    // mixer (or the server's stream restore) changed it, on PulseAudio; other
    // objects are left alone.
    void keepLevel(const pa_sink_input_info& info);
    void keepLevel(const pa_source_output_info& info);
    template <typename Info>
    void keepLevel(const Info&) {}

    // An item of a list asked for on connecting; the end of the list counts
    // towards the first sync.
    template <typename Info>
    static void listShim(pa_context*, const Info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol != 0) {
            impl->connection.listDone();
            return;
        }
        impl->table.info(impl->recordOf(*info));
    }
    // The info reply asked for on an event: brings the server in line with
    // it unless it was stale.
    template <typename Info>
    static void infoShim(pa_context*, const Info* info, int eol, void* data) {
        auto* impl = static_cast<Impl*>(data);
        if (eol == 0 && impl->table.info(impl->recordOf(*info))) {
            impl->keepLevel(*info);
            impl->reconcile();
        }
        impl->connection.wake();
    }
    // Feeds an event to the table and, unless the object went, asks for its
    // info with `get` (one of libpulse's get-info-by-index calls).
    template <typename Info>
    void follow(Event event, std::uint32_t index,
                pa_operation* (*get)(pa_context*, std::uint32_t,
                                     void (*)(pa_context*, const Info*, int, void*), void*)) {
        using Record = decltype(recordOf(std::declval<const Info&>()));
        table.event<Record>(event, index);
        if (event != Event::removed) {
            forget(get(connection.context(), index, &Impl::infoShim<Info>, this));
        }
    }

    // ---- Role-based modules and call mirrors (PulseCallMirrors.cpp) ----
    // Loaded modules that act on media roles per sink, by module index.
    std::map<std::uint32_t, RoleModule> roleModules;
    // The call mirrors (see CallMirrors.h), by the index of their sink.
    std::map<std::uint32_t, pa_stream*> callMirrors;
    void onModuleEvent(Event event, std::uint32_t index);
    static void moduleListShim(pa_context*, const pa_module_info* info, int eol, void* data);
    static void moduleShim(pa_context*, const pa_module_info* info, int eol, void* data);
    void updateCallMirrors();
    bool makeCallMirror(const SinkRecord& sink);
    void destroyCallMirrors();

    // ---- Sources and capture streams (PulseCaptureCatalogue.cpp) ----
    void listCapture();

    // ---- Bringing the server in line (PulseReconcile.cpp) ----
    // Runs after every change of the table and every call.
    void reconcile();
    OSStatus describeTap(Tap& tap, const TapDescription& description);
    ProcessIdentity identify(const LinuxDesktop::ClientHints& hints) const;
    // Whether the tap's processes are silenced into its sink now.
    bool capturing(const Tap& tap) const;

    // ---- Output routes (PulseRoutes.cpp) ----
    // The sink each stream that a route names is to play on, by sink-input.
    std::map<std::uint32_t, std::string> routedStreams();
    // Sends routed streams to their sinks and unrouted ones back to the
    // default, as OutputRouter says.
    void applyRoutes();
    // Where the route of a tap's streams sends them: a sink name, empty for
    // the default; absent where no route names them.
    std::optional<std::string> routeWish(const Tap& tap) const;
    // The sink a process's streams are heard on: for streams in a tap sink,
    // the sink its replay plays on.
    std::string outputOf(const ObjectTable::Process& process) const;

    // ---- IO procs (PulseIOStreams.cpp) ----
    const Tap* tapOf(const IOProc& proc) const;
    bool tapIsSounding(const Tap& tap) const;
    // Makes, moves, corks or destroys the proc's streams as things are now.
    void updateStreams(IOProc& proc);
    const SinkRecord* replaySink(const IOProc& proc, const Tap& tap) const;
    // The aggregate device plays on this sink (a device UID) from now on;
    // its replays follow at once, the tapped streams stay in their tap sink.
    OSStatus moveAggregate(Aggregate& agg, const std::string& sinkName);
    std::string streamName(const IOProc& proc) const;
    void onStreamState(IOProc& proc);
    // Whether a move of a replay was someone's choice (see the definition).
    struct MoveCheck {
        Impl* impl;
        std::uint64_t id;
        AudioObjectID tap;
        std::string to;
        bool chosen = false;
    };
    std::uint64_t nextMoveCheck = 1;
    std::map<std::uint64_t, std::unique_ptr<MoveCheck>> moveChecks;
    void checkReplayMove(IOProc& proc, IOPath::ReplayMove move);
    std::chrono::milliseconds tapPeriod(const Tap& tap) const;
    void kickTapSink(const IOProc& proc);

    // ---- Property reads (PulseLookup.cpp) ----
    using Found = property::Answer;
    const Aggregate* aggregate(AudioObjectID id) const;
    Found lookup(AudioObjectID object, const AudioObjectPropertyAddress& a,
                 std::optional<LinuxDesktop::ClientHints>* hints) const;
    std::vector<AudioObjectID> aggregateInputs(const Aggregate& agg) const;
    IOProc* procOn(AudioObjectID device, AudioDeviceIOProcID id);

    // ---- Taps, called on the main thread with the lock held (PulseReconcile.cpp) ----
    void stopProc(IOProc& proc);
    void releaseTap(Tap& tap);
};

// Shorthand for the definitions of Impl's member functions.
using Impl = PulseAudioSystem::Impl;

}  // namespace morvale::pulse
