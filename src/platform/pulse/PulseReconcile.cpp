// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudioSystem::Impl: bringing the server in line after every change,
// and taking taps and IO procs down (the tap sinks themselves are TapSinks').

#include <algorithm>
#include <set>
#include <string>

#include "base/Utf8.h"
#include "platform/pulse/PulseImpl.h"

namespace morvale::pulse {

// Runs after every change of the table and every call: loads missing tap
// sinks, moves streams in and out of them, sends routed streams to their
// sinks, removes orphaned tap sinks,
// starts, corks and uncorks IO streams, and keeps the default off our sinks.
void Impl::reconcile() {
    listeners.processListIs(table.processListVersion());
    if (connection.context() == nullptr || !connection.synced()) {
        return;
    }
    tapSinks.update();
    applyRoutes();
    for (auto& [id, proc] : procs) {
        updateStreams(*proc);
    }
    updateCallMirrors();
    const SinkRecord* current = table.sinkByName(table.defaultSinkName());
    if (current != nullptr && current->isTap() && !table.lastRealDefault().empty() &&
        table.sinkByName(table.lastRealDefault()) != nullptr) {
        // Something made a tap sink the default (a module that switches to
        // new sinks): new streams would start inside it.
        forget(pa_context_set_default_sink(connection.context(), table.lastRealDefault().c_str(),
                                           nullptr, nullptr));
    }
}

// A tap takes a new description in place: the streams of processes that
// join move in, those of processes that leave go back, and the rest play on.
OSStatus Impl::describeTap(Tap& tap, const TapDescription& description) {
    if (!description.sameTapAs(tap.description)) {
        return kAudioHardwareIllegalOperationError;
    }
    tap.description = description;
    tap.processes =
        std::set<AudioObjectID>(description.processes.begin(), description.processes.end());
    reconcile();
    return kAudioNoError;
}

// Runs on the identities' own thread (it reads files).
ProcessIdentity Impl::identify(const LinuxDesktop::ClientHints& hints) const {
    ProcessIdentity identity;
    identity.bundleID = identifier.desktopId(hints);
    if (identity.bundleID && identity.bundleID->empty()) {
        identity.bundleID.reset();
    }
    if (!identity.bundleID) {
        identity.name = LinuxDesktop::declaredName(hints).value_or(
            sanitizeUtf8(facts.shortName(hints.pid)));
    }
    return identity;
}

// Whether the tap's processes are silenced into its sink now: always for
// a muting tap, else while an IO proc reads the sink. Streams move in only
// once that IO proc's capture runs, so the sink starts with short
// fragments and none of the application's audio is rendered into nothing.
bool Impl::capturing(const Tap& tap) const {
    if (tap.releasing) {
        return false;
    }
    if (tap.always) {
        return true;
    }
    return std::any_of(procs.begin(), procs.end(), [&](const auto& item) {
        const IOProc& proc = *item.second;
        return proc.running && proc.path.reading() && !proc.handingBack && tapOf(proc) == &tap;
    });
}

// A capturing IO proc hands the tapped streams back to their own sinks
// before its streams go, while the replay still plays what is left in the
// tap sink: the application is not cut off in between, and the device keeps
// the short latency the replay asks for, so each move's rewind stays short.
void Impl::stopProc(IOProc& proc) {
    const Tap* tap = tapOf(proc);
    if (tap != nullptr && !tap->always && proc.running && proc.path.kicked() && proc.path.ready() &&
        connection.synced()) {
        proc.handingBack = true;
        reconcile();
        connection.waitFor(
            [&] {
                return connection.context() == nullptr || !proc.path.ready() ||
                       tapSinks.sinkEmpty(*tap);
            },
            options.timeout);
        proc.handingBack = false;
    }
    proc.running = false;
    proc.path.destroy();
}

// Moves each captured stream back, waits until they are out, then unloads
// the sink and waits for that.
void Impl::releaseTap(Tap& tap) {
    tap.releasing = true;
    for (auto& [id, proc] : procs) {
        if (tapOf(*proc) == &tap) {
            stopProc(*proc);
        }
    }
    if (tapSinks.release(tap)) {
        restore.release();
    }
}

}  // namespace morvale::pulse
