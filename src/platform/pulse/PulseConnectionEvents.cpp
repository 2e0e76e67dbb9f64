// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: what the backend does when its connection to the
// server is made and when it goes (ServerConnection calls these).

#include <pulse/ext-stream-restore.h>

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

int Impl::onConnected(pa_context* context) {
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
            impl->restore.start(impl->connection.context(), version);
            impl->connection.listDone();
        },
        this));
    return 8;  // the server info, six lists and the stream-restore test
}

void Impl::forgetConnection() {
    for (auto& [id, proc] : procs) {
        proc->path.destroy();
    }
    destroyCallMirrors();
    // The answers to the checks of the old connection never come now.
    moveChecks.clear();
    roleModules.clear();
    restore.stop();
    tapSinks.forgetConnection();
    router.clear();
    for (auto& [id, proc] : procs) {
        proc->failure = kAudioNoError;
    }
    table.reset();
    listeners.processListIs(table.processListVersion());
    pipeWire = false;
    tapSinks.setSinkRoom(kPulseSinkRoom);
}

}  // namespace morvale::pulse
