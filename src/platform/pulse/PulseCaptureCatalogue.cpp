// PulseAudioSystem::Impl: sources and capture streams (source-outputs) into
// the ObjectTable, for which processes record from a microphone.

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

void Impl::onCaptureEvent(pa_subscription_event_type_t facility, Event event, std::uint32_t index) {
    if (facility == PA_SUBSCRIPTION_EVENT_SOURCE) {
        table.sourceEvent(event, index);
        if (event != Event::removed) {
            forget(pa_context_get_source_info_by_index(context, index, &Impl::sourceShim, this));
        }
        return;
    }
    table.sourceOutputEvent(event, index);
    if (event != Event::removed) {
        forget(pa_context_get_source_output_info(context, index, &Impl::outputShim, this));
    }
}

void Impl::listCapture() {
    forget(pa_context_get_source_info_list(context, &Impl::sourceListShim, this));
    forget(pa_context_get_source_output_info_list(context, &Impl::outputListShim, this));
}

SourceRecord Impl::sourceRecord(const pa_source_info& info) {
    return SourceRecord{info.index, info.monitor_of_sink != PA_INVALID_INDEX};
}

SourceOutputRecord Impl::outputRecord(const pa_source_output_info& info) const {
    SourceOutputRecord record;
    record.index = info.index;
    record.client = info.client;
    record.source = info.source;
    record.corked = info.corked != 0;
    record.ours = (ownClient != kNoIndex && info.client == ownClient) ||
                  (info.proplist != nullptr && pa_proplist_gets(info.proplist, kStreamKey));
    return record;
}

void Impl::sourceListShim(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (eol != 0) {
        impl->listDone();
        return;
    }
    impl->table.sourceInfo(sourceRecord(*info));
}

void Impl::outputListShim(pa_context*, const pa_source_output_info* info, int eol, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (eol != 0) {
        impl->listDone();
        return;
    }
    impl->table.sourceOutputInfo(impl->outputRecord(*info));
}

void Impl::sourceShim(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (eol == 0 && impl->table.sourceInfo(sourceRecord(*info))) {
        impl->reconcile();
    }
    impl->wake();
}

void Impl::outputShim(pa_context*, const pa_source_output_info* info, int eol, void* data) {
    auto* impl = static_cast<Impl*>(data);
    if (eol == 0 && impl->table.sourceOutputInfo(impl->outputRecord(*info))) {
        impl->reconcile();
    }
    impl->wake();
}

}  // namespace morvale::pulse
