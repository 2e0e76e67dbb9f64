// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: sources and capture streams (source-outputs) into
// the ObjectTable, for which processes record from a microphone.

#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

void Impl::listCapture() {
    forget(pa_context_get_source_info_list(connection.context(), &Impl::listShim<pa_source_info>,
                                           this));
    forget(pa_context_get_source_output_info_list(connection.context(),
                                                  &Impl::listShim<pa_source_output_info>, this));
}

SourceRecord Impl::recordOf(const pa_source_info& info) const {
    return SourceRecord{info.index, info.monitor_of_sink != PA_INVALID_INDEX};
}

void Impl::keepLevel(const pa_source_output_info& info) {
    if (pipeWire || info.client == kNoIndex || info.client != connection.ownClient() ||
        atFullLevel(info.has_volume != 0 ? info.volume : pa_cvolume{}, info.mute != 0)) {
        return;
    }
    if (info.has_volume != 0 && info.volume_writable != 0) {
        const pa_cvolume full = fullVolume(info.volume.channels);
        forget(pa_context_set_source_output_volume(connection.context(), info.index, &full,
                                                   nullptr, nullptr));
    }
    forget(
        pa_context_set_source_output_mute(connection.context(), info.index, 0, nullptr, nullptr));
}

SourceOutputRecord Impl::recordOf(const pa_source_output_info& info) const {
    SourceOutputRecord record;
    record.index = info.index;
    record.client = info.client;
    record.source = info.source;
    record.corked = info.corked != 0;
    record.ours = ownStream(info.client, info.proplist);
    return record;
}

}  // namespace morvale::pulse
