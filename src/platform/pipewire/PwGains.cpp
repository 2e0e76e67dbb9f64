// SPDX-License-Identifier: GPL-3.0-or-later
// PipeWireAudioSystem::Impl: holding each playback node's adapter volume
// (Props:volume, never the channel volumes or mutes the application and
// other mixers use) at its stage's gain.
//
// A node is held from its global on: the gain is set right after binding, so
// the first quantum already has it, and set again whenever the node's Props
// report another volume (WirePlumber restores a stored volume after the node
// appears; some clients set `volume` themselves). Gain changes go in steps of
// at most 0.05, one per ramp interval.
//
// The Props object carries `volume` alone. The adapter's own ramp properties
// (volumeRampTime and its kin) are never sent: the adapter runs inside the
// stream's process, and on PipeWire 1.4 a Props with volumeRampTime crashes a
// native client (pw-cat) and leaves a PulseAudio client's volume unchanged.

#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <algorithm>
#include <cmath>

#include "base/Utf8.h"
#include "platform/pipewire/PwImpl.h"
#include "platform/pipewire/RampPlanner.h"

namespace morvale::pipewire {

namespace {

constexpr float kSame = 1e-4f;

bool same(float a, float b) {
    return std::fabs(a - b) <= kSame;
}

}  // namespace

std::string Impl::keyOf(const PwNode& node) const {
    const auto key = streamKey(node.memoryProperties, wirePlumber);
    return key ? key->text : std::string();
}

pulse::ProcessIdentity Impl::identify(const LinuxDesktop::ClientHints& hints) const {
    pulse::ProcessIdentity identity;
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

void Impl::applyGains() {
    // Every client's identity is asked for early, ahead of its streams.
    std::set<std::int32_t> pids;
    for (const auto& [id, client] : graph.clients()) {
        if (!client.ours && client.pid > 0) {
            pids.insert(client.pid);
        }
    }
    for (const AudioObjectID id : graph.processObjects()) {
        pids.insert(graph.process(id)->pid);
    }
    identities.keepOnly(pids);
    // A new process of an application a stage names must be at its gain from
    // its first sample: while the worker has not found who it is yet, it is
    // found here, on the loop (a few file reads, once per process).
    const bool byIdentity = std::any_of(stages.begin(), stages.end(), [](const auto& item) {
        return !item.second.description.bundleIDs.empty() ||
               !item.second.description.processNames.empty();
    });
    const auto identityOf = [&](const PwGraph::Process& process) {
        auto identity = identities.lookup(process.hints);
        if (!identity && byIdentity && process.hints.pid > 0) {
            identity = identify(process.hints);
        }
        return identity;
    };
    const GainPlan plan = planGains(graph, stages, identityOf, loweredKeys,
                                    [this](const PwNode& node) { return keyOf(node); });
    for (auto& [id, b] : bound) {
        if (b->kind != Bound::Kind::node || b->node.kind != NodeKind::playback) {
            continue;
        }
        if (const auto it = plan.gains.find(id); it != plan.gains.end()) {
            hold(*b, it->second);
        } else if (b->target) {
            release(*b);
        }
    }
}

void Impl::hold(Bound& b, float gain) {
    const bool first = b.applied < 0.0f;
    if (!first && (!b.target || !same(*b.target, gain))) {
        b.rampStep = rampStepFor(b.applied, gain);
    }
    b.target = gain;
    if (first) {
        // A new stream starts at its gain, with no step from 1.0 to it.
        setVolume(b, gain);
    } else if (!same(b.applied, gain)) {
        armRamp();
    }
}

// The node is no longer held: it goes back to 1.0 at once (a stage that ends
// leaves nothing behind, and quitting must not wait for ramps).
void Impl::release(Bound& b) {
    b.target.reset();
    if (b.applied >= 0.0f && !same(b.applied, 1.0f)) {
        setVolume(b, 1.0f);
    }
    if (journal && b.lowered) {
        journal->released(b.serial);
    }
    b.applied = -1.0f;
    b.inFlight.clear();
}

void Impl::setVolume(Bound& b, float volume) {
    if (!same(volume, 1.0f) && !b.lowered) {
        // WirePlumber stores the volume under the stream's key: streams of
        // other applications with that key are held at 1.0 from now on. The
        // journal has it on disk first, so that a watchdog or the next start
        // can undo it whatever happens to this process.
        b.lowered = true;
        const auto key = streamKey(b.node.memoryProperties, wirePlumber);
        if (key) {
            loweredKeys.insert(key->text);
        }
        if (journal) {
            journalError =
                journal->willSet(b.serial, key.value_or(StreamKey{})) ? "" : journal->lastError();
        }
    }
    std::uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_pod_frame frame{};
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
    spa_pod_builder_prop(&builder, SPA_PROP_volume, 0);
    spa_pod_builder_float(&builder, volume);
    const auto* pod = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    pw_node_set_param(reinterpret_cast<pw_node*>(b.proxy), SPA_PARAM_Props, 0, pod);
    ++volumeWrites;
    b.applied = volume;
    b.inFlight.push_back(volume);
    if (b.inFlight.size() > 16) {
        b.inFlight.pop_front();
    }
}

void Impl::onNodeParam(Bound& b, const spa_pod* param) {
    if (param == nullptr || !spa_pod_is_object_type(param, SPA_TYPE_OBJECT_Props)) {
        return;
    }
    const auto* object = reinterpret_cast<const spa_pod_object*>(param);
    const spa_pod_prop* prop = spa_pod_object_find_prop(object, nullptr, SPA_PROP_volume);
    float volume = 0.0f;
    if (prop == nullptr || spa_pod_get_float(&prop->value, &volume) < 0) {
        return;
    }
    if (!b.target || b.applied < 0.0f) {
        return;
    }
    // Our own sets come back in order: one of them is no news.
    const auto ours = std::find_if(b.inFlight.begin(), b.inFlight.end(),
                                   [&](float v) { return same(v, volume); });
    if (ours != b.inFlight.end()) {
        b.inFlight.erase(b.inFlight.begin(), ours + 1);
        return;
    }
    // Someone else set it: back to where we hold it.
    setVolume(b, b.applied);
}

void Impl::armRamp() {
    if (rampArmed) {
        return;
    }
    rampArmed = true;
    timespec value{};
    value.tv_nsec = static_cast<long>(options.rampInterval.count()) * 1000000;
    timespec interval = value;
    pw_loop_update_timer(pw_thread_loop_get_loop(loop), rampTimer, &value, &interval, false);
}

void Impl::onRampTick() {
    bool more = false;
    for (auto& [id, b] : bound) {
        if (!b->target || b->applied < 0.0f || same(b->applied, *b->target)) {
            continue;
        }
        const float next = nextRampStep(b->applied, *b->target, b->rampStep);
        setVolume(*b, next);
        more = more || !same(next, *b->target);
    }
    if (!more) {
        rampArmed = false;
        timespec zero{};
        pw_loop_update_timer(pw_thread_loop_get_loop(loop), rampTimer, &zero, &zero, false);
    }
}

}  // namespace morvale::pipewire
