// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/server/ServerConnection.h"

#include <utility>

#include "platform/pulse/server/PulseKeys.h"

namespace morvale::pulse {

namespace {

std::string describeError(pa_context* context, const char* what) {
    const int code = context != nullptr ? pa_context_errno(context) : PA_ERR_CONNECTIONTERMINATED;
    return std::string(what) + ": " + pa_strerror(code);
}

}  // namespace

ServerConnection::ServerConnection(pa_threaded_mainloop* loop, std::string server,
                                   std::chrono::milliseconds retryInterval, std::int32_t ownPid,
                                   Hooks hooks)
    : loop_(loop),
      api_(pa_threaded_mainloop_get_api(loop)),
      server_(std::move(server)),
      retryInterval_(retryInterval),
      ownPid_(ownPid),
      hooks_(std::move(hooks)) {}

// Drops the context and makes it again, so that later calls fail fast
// instead of waiting.
OSStatus ServerConnection::timedOut(const char* what) {
    if (state_ == State::ready) {
        drop(std::string("The sound server did not answer (") + what + ")");
    }
    return kAudioHardwareNotRunningError;
}

ServerConnection::Slot* ServerConnection::newSlot(std::function<void(std::uint32_t)> done) {
    const std::uint64_t id = nextSlot_++;
    Slot& slot = slots_[id];
    slot = Slot{this, id, std::move(done)};
    return &slot;
}

void ServerConnection::finishSlot(void* data, std::uint32_t value) {
    auto* slot = static_cast<Slot*>(data);
    ServerConnection* self = slot->owner;
    auto done = std::move(slot->done);
    self->slots_.erase(slot->id);
    if (done) {
        done(value);
    }
    self->wake();
}

void ServerConnection::successShim(pa_context*, int success, void* data) {
    finishSlot(data, success ? 1u : 0u);
}

void ServerConnection::indexShim(pa_context*, std::uint32_t index, void* data) {
    finishSlot(data, index);
}

void ServerConnection::setState(State next) {
    if (state_ == next) {
        return;
    }
    state_ = next;
    if (observer_) {
        observer_(state_);
    }
    wake();
}

void ServerConnection::failToStart(std::string reason) {
    error_ = std::move(reason);
    state_ = State::disconnected;
}

void ServerConnection::connect() {
    Proplist props;
    props.set(PA_PROP_APPLICATION_NAME, "Morvale");
    props.set(PA_PROP_APPLICATION_ID, "morvale");
    props.set(kClientKey, std::to_string(ownPid_));
    context_ = pa_context_new_with_proplist(api_, "Morvale", props.list);
    if (context_ == nullptr) {
        scheduleRetry("Couldn't make a sound server connection");
        return;
    }
    pa_context_set_state_callback(
        context_,
        [](pa_context*, void* data) { static_cast<ServerConnection*>(data)->onContextState(); },
        this);
    const char* server = server_.empty() ? nullptr : server_.c_str();
    if (pa_context_connect(context_, server, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        drop(describeError(context_, "Couldn't connect to the sound server"));
    }
}

void ServerConnection::scheduleRetry(std::string reason) {
    error_ = std::move(reason);
    setState(State::disconnected);
    if (retry_ != nullptr) {
        return;
    }
    const timeval when = deadlineIn(retryInterval_);
    retry_ = api_->time_new(
        api_, &when,
        [](pa_mainloop_api* a, pa_time_event* event, const timeval*, void* data) {
            auto* self = static_cast<ServerConnection*>(data);
            a->time_free(event);
            self->retry_ = nullptr;
            self->setState(State::connecting);
            self->connect();
        },
        this);
}

// The owner's objects of the context go first (the `lost` hook), while the
// context is still there to destroy them with.
void ServerConnection::drop(std::string reason) {
    if (hooks_.lost) {
        hooks_.lost();
    }
    disconnect();
    synced_ = false;
    pendingLists_ = 0;
    ownClient_ = PA_INVALID_INDEX;
    scheduleRetry(std::move(reason));
}

void ServerConnection::close() {
    if (retry_ != nullptr) {
        api_->time_free(retry_);
        retry_ = nullptr;
    }
    disconnect();
}

void ServerConnection::disconnect() {
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    // Replies of the old connection never come now.
    slots_.clear();
}

void ServerConnection::onContextState() {
    switch (pa_context_get_state(context_)) {
        case PA_CONTEXT_READY:
            onReady();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            drop(describeError(context_, "Lost the sound server"));
            break;
        default:
            break;
    }
}

void ServerConnection::onReady() {
    ownClient_ = pa_context_get_index(context_);
    pendingLists_ = hooks_.ready ? hooks_.ready(context_) : 0;
}

void ServerConnection::listDone() {
    if (pendingLists_ > 0 && --pendingLists_ == 0) {
        synced_ = true;
        error_.clear();
        everReady_ = true;
        if (hooks_.synced) {
            hooks_.synced();
        }
        setState(State::ready);
    }
    wake();
}

}  // namespace morvale::pulse
