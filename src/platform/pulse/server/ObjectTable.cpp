// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/server/ObjectTable.h"

#include <algorithm>

namespace morvale::pulse {

ObjectTable::ObjectTable(Clock clock) : clock_(std::move(clock)) {}

void ObjectTable::setDefaultSinkName(std::string name) {
    defaultSink_ = std::move(name);
    rebuildDevices();
}

void ObjectTable::reset() {
    std::apply([](auto&... table) { (table.clear(), ...); }, tables_);
    defaultSink_.clear();
    rebuildDevices();
    rebuildProcesses();
}

AudioObjectID ObjectTable::idFor(std::int32_t pid, bool call,
                                 std::chrono::steady_clock::time_point now) {
    auto [it, inserted] = pidIDs_.try_emplace({pid, call}, PidID{0, now});
    if (inserted) {
        it->second.id = newObjectID();
    }
    it->second.lastSeen = now;
    return it->second.id;
}

std::int32_t ObjectTable::ownerPid(std::uint32_t client, bool ours) const {
    if (ours || client == kNoIndex) {
        return 0;
    }
    const auto it = clients().find(client);
    if (it == clients().end() || it->second.ours || it->second.pid <= 0) {
        return 0;
    }
    return it->second.pid;
}

AudioObjectID ObjectTable::processOf(const SinkInputRecord& input) const {
    const std::int32_t pid = ownerPid(input.client, input.ours);
    if (pid == 0) {
        return kAudioObjectUnknown;
    }
    const auto id = pidIDs_.find({pid, input.phone});
    return id == pidIDs_.end() ? kAudioObjectUnknown : id->second.id;
}

void ObjectTable::rebuildProcesses() {
    const auto now = clock_();
    std::map<AudioObjectID, Process> rebuilt;
    const auto processFor = [&](std::uint32_t clientIndex, std::int32_t pid,
                                bool call) -> Process& {
        const AudioObjectID id = idFor(pid, call, now);
        Process& process = rebuilt[id];
        if (process.id == 0) {
            // The first client of a process speaks for it.
            process.id = id;
            process.pid = pid;
            process.hints = clients().at(clientIndex).hints;
            process.call = call;
        }
        return process;
    };
    for (const auto& [index, input] : sinkInputs()) {
        if (const std::int32_t pid = ownerPid(input.client, input.ours)) {
            Process& process = processFor(input.client, pid, input.phone);
            process.sinkInputs.push_back(index);
            process.running = process.running || !input.corked;
        }
    }
    const auto& sources = records<SourceRecord>();
    for (const auto& [index, output] : sourceOutputs()) {
        // Recording what a sink plays (a level meter, a screen recorder, our
        // own capture) says nothing about a call; a source not known yet
        // counts once it is.
        const auto source = sources.find(output.source);
        if (source == sources.end() || source->second.monitor) {
            continue;
        }
        if (const std::int32_t pid = ownerPid(output.client, output.ours)) {
            Process& process = processFor(output.client, pid, false);
            process.recording = process.recording || !output.corked;
        }
    }
    // Playing and recording count as much as the list itself: a microphone
    // opened by an application that already plays makes a call, and that
    // should reach the model now, not at its next refresh.
    const bool sameProcesses = std::equal(
        rebuilt.begin(), rebuilt.end(), processes_.begin(), processes_.end(),
        [](const auto& a, const auto& b) {
            return a.first == b.first && a.second.running == b.second.running &&
                   a.second.recording == b.second.recording;
        });
    if (!sameProcesses) {
        ++processListVersion_;
    }
    processes_ = std::move(rebuilt);
    // Ids of processes without streams are kept for a while, then forgotten.
    std::erase_if(pidIDs_, [&](const auto& item) {
        return !processes_.contains(item.second.id) && now - item.second.lastSeen > kIdLinger;
    });
}

void ObjectTable::rebuildDevices() {
    devices_.clear();
    for (const auto& [index, sink] : sinks()) {
        if (sink.isTap()) {
            continue;
        }
        auto [it, inserted] = deviceIDs_.try_emplace(sink.name, 0);
        if (inserted) {
            it->second = newObjectID();
        }
        devices_[it->second] = index;
    }
    const SinkRecord* current = sinkByName(defaultSink_);
    if (current != nullptr && !current->isTap()) {
        lastRealDefault_ = defaultSink_;
    }
}

std::vector<AudioObjectID> ObjectTable::processObjects() const {
    std::vector<AudioObjectID> ids;
    ids.reserve(processes_.size());
    for (const auto& [id, process] : processes_) {
        ids.push_back(id);
    }
    return ids;
}

const ObjectTable::Process* ObjectTable::process(AudioObjectID id) const {
    const auto it = processes_.find(id);
    return it == processes_.end() ? nullptr : &it->second;
}

std::vector<AudioObjectID> ObjectTable::deviceObjects() const {
    std::vector<AudioObjectID> ids;
    for (const auto& [id, index] : devices_) {
        ids.push_back(id);
    }
    return ids;
}

const SinkRecord* ObjectTable::device(AudioObjectID id) const {
    const auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : sink(it->second);
}

AudioObjectID ObjectTable::deviceForSinkName(const std::string& name) const {
    const auto it = deviceIDs_.find(name);
    if (it == deviceIDs_.end() || !devices_.contains(it->second)) {
        return kAudioObjectUnknown;
    }
    return it->second;
}

AudioObjectID ObjectTable::defaultDevice() const {
    if (const AudioObjectID id = deviceForSinkName(defaultSink_)) {
        return id;
    }
    const SinkRecord* current = sinkByName(defaultSink_);
    if (current != nullptr && current->isTap()) {
        return deviceForSinkName(lastRealDefault_);
    }
    return kAudioObjectUnknown;
}

const SinkRecord* ObjectTable::sink(std::uint32_t index) const {
    const auto it = sinks().find(index);
    return it == sinks().end() ? nullptr : &it->second;
}

const SinkRecord* ObjectTable::sinkByName(const std::string& name) const {
    for (const auto& [index, sink] : sinks()) {
        if (sink.name == name) {
            return &sink;
        }
    }
    return nullptr;
}

const SinkRecord* ObjectTable::tapSink(const std::string& uuid) const {
    for (const auto& [index, sink] : sinks()) {
        if (sink.tapUuid == uuid) {
            return &sink;
        }
    }
    return nullptr;
}

}  // namespace morvale::pulse
