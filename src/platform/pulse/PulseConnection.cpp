// PulseAudioSystem::Impl: the connection to the server (connecting, retrying,
// dropping it after a loss or a timeout) and the slots of pending requests.

#include <pulse/ext-stream-restore.h>

#include <string>
#include <utility>

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

namespace {

std::string describeError(pa_context* context, const char* what) {
    const int code = context != nullptr ? pa_context_errno(context) : PA_ERR_CONNECTIONTERMINATED;
    return std::string(what) + ": " + pa_strerror(code);
}

}  // namespace

// A server that does not answer in time is treated as lost: the context is
// dropped and made again, so that later calls fail fast instead of waiting.
OSStatus Impl::timedOut(const char* what) {
    if (state == ConnectionState::ready) {
        dropContext(std::string("The sound server did not answer (") + what + ")");
    }
    return kAudioHardwareNotRunningError;
}

Impl::Slot* Impl::newSlot(std::function<void(std::uint32_t)> done) {
    const std::uint64_t id = nextSlot++;
    Slot& slot = slots[id];
    slot = Slot{this, id, std::move(done)};
    return &slot;
}

void Impl::finishSlot(void* data, std::uint32_t value) {
    auto* slot = static_cast<Slot*>(data);
    Impl* impl = slot->impl;
    auto done = std::move(slot->done);
    impl->slots.erase(slot->id);
    if (done) {
        done(value);
    }
    impl->wake();
}

void Impl::successShim(pa_context*, int success, void* data) {
    finishSlot(data, success ? 1u : 0u);
}

void Impl::indexShim(pa_context*, std::uint32_t index, void* data) {
    finishSlot(data, index);
}

void Impl::setState(ConnectionState next) {
    if (state == next) {
        return;
    }
    state = next;
    if (observer) {
        observer(state);
    }
    wake();
}

void Impl::connect() {
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
        context, [](pa_context*, void* data) { static_cast<Impl*>(data)->onContextState(); }, this);
    const char* server = options.server.empty() ? nullptr : options.server.c_str();
    if (pa_context_connect(context, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        dropContext(describeError(context, "Couldn't connect to the sound server"));
    }
}

void Impl::scheduleRetry(std::string reason) {
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
void Impl::dropContext(std::string reason) {
    for (auto& [id, proc] : procs) {
        destroyStreams(*proc);
    }
    destroyCallMirrors();
    roleModules.clear();
    restore.stop();
    if (context != nullptr) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
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
    moves.clear();
    if (moveTimer != nullptr) {
        api->time_free(moveTimer);
        moveTimer = nullptr;
    }
    unloading.clear();
    table.reset();
    listeners.processListIs(table.processListVersion());
    synced = false;
    pipeWire = false;
    pendingLists = 0;
    ownClient = kNoIndex;
    scheduleRetry(std::move(reason));
}

void Impl::onContextState() {
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

void Impl::onReady() {
    ownClient = pa_context_get_index(context);
    pa_context_set_subscribe_callback(
        context,
        [](pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* data) {
            static_cast<Impl*>(data)->onEvent(type, index);
        },
        this);
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_CLIENT |
        PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT |
        PA_SUBSCRIPTION_MASK_MODULE | PA_SUBSCRIPTION_MASK_SERVER);
    forget(pa_context_subscribe(context, mask, nullptr, nullptr));
    // Clients first, so that streams find their client when they come in.
    pendingLists = 8;
    forget(pa_context_get_server_info(context, &Impl::serverInfoShim, this));
    forget(pa_context_get_client_info_list(context, &Impl::listShim<pa_client_info>, this));
    forget(pa_context_get_sink_info_list(context, &Impl::listShim<pa_sink_info>, this));
    forget(pa_context_get_sink_input_info_list(context, &Impl::listShim<pa_sink_input_info>, this));
    listCapture();  // two lists
    forget(pa_context_get_module_info_list(context, &Impl::moduleListShim, this));
    forget(pa_ext_stream_restore_test(
        context,
        [](pa_context*, std::uint32_t version, void* data) {
            auto* impl = static_cast<Impl*>(data);
            impl->restore.start(impl->context, version);
            impl->listDone();
        },
        this));
}

void Impl::listDone() {
    if (pendingLists > 0 && --pendingLists == 0) {
        synced = true;
        error.clear();
        everReady = true;
        reconcile();
        setState(ConnectionState::ready);
    }
    wake();
}

}  // namespace morvale::pulse
