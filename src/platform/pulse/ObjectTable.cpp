#include "platform/pulse/ObjectTable.h"

#include <algorithm>

namespace morvale::pulse {

namespace {

// Indices of removed objects that are remembered to recognise stale replies.
// The server hands out increasing indices, so the oldest ones can go first.
constexpr std::size_t kMaxTombstones = 512;

template <typename Record>
bool accept(std::map<std::uint32_t, Record>& map, Record record, bool buried) {
    if (buried || record.index == kNoIndex) {
        return false;
    }
    const std::uint32_t index = record.index;
    map.insert_or_assign(index, std::move(record));
    return true;
}

}  // namespace

void ObjectTable::Tombstones::bury(std::uint32_t index) {
    indices.insert(index);
    while (indices.size() > kMaxTombstones) {
        indices.erase(indices.begin());
    }
}

ObjectTable::ObjectTable(Clock clock) : clock_(std::move(clock)) {}

void ObjectTable::clientEvent(Event event, std::uint32_t index) {
    if (event == Event::removed) {
        deadClients_.bury(index);
        if (clients_.erase(index) > 0) {
            rebuildProcesses();
        }
    } else if (event == Event::added) {
        // A server that reuses indices announces the new object first.
        deadClients_.revive(index);
    }
}

void ObjectTable::sinkEvent(Event event, std::uint32_t index) {
    if (event == Event::removed) {
        deadSinks_.bury(index);
        if (sinks_.erase(index) > 0) {
            rebuildDevices();
        }
    } else if (event == Event::added) {
        deadSinks_.revive(index);
    }
}

void ObjectTable::sinkInputEvent(Event event, std::uint32_t index) {
    if (event == Event::removed) {
        deadInputs_.bury(index);
        if (inputs_.erase(index) > 0) {
            rebuildProcesses();
        }
    } else if (event == Event::added) {
        deadInputs_.revive(index);
    }
}

void ObjectTable::sourceEvent(Event event, std::uint32_t index) {
    if (event == Event::removed) {
        deadSources_.bury(index);
        if (sources_.erase(index) > 0) {
            rebuildProcesses();
        }
    } else if (event == Event::added) {
        deadSources_.revive(index);
    }
}

void ObjectTable::sourceOutputEvent(Event event, std::uint32_t index) {
    if (event == Event::removed) {
        deadOutputs_.bury(index);
        if (outputs_.erase(index) > 0) {
            rebuildProcesses();
        }
    } else if (event == Event::added) {
        deadOutputs_.revive(index);
    }
}

bool ObjectTable::clientInfo(ClientRecord record) {
    const bool buried = deadClients_.contains(record.index);
    if (!accept(clients_, std::move(record), buried)) {
        return false;
    }
    rebuildProcesses();
    return true;
}

bool ObjectTable::sinkInfo(SinkRecord record) {
    const bool buried = deadSinks_.contains(record.index);
    if (!accept(sinks_, std::move(record), buried)) {
        return false;
    }
    rebuildDevices();
    return true;
}

bool ObjectTable::sinkInputInfo(SinkInputRecord record) {
    const bool buried = deadInputs_.contains(record.index);
    if (!accept(inputs_, std::move(record), buried)) {
        return false;
    }
    rebuildProcesses();
    return true;
}

bool ObjectTable::sourceInfo(SourceRecord record) {
    const bool buried = deadSources_.contains(record.index);
    if (!accept(sources_, std::move(record), buried)) {
        return false;
    }
    rebuildProcesses();
    return true;
}

bool ObjectTable::sourceOutputInfo(SourceOutputRecord record) {
    const bool buried = deadOutputs_.contains(record.index);
    if (!accept(outputs_, std::move(record), buried)) {
        return false;
    }
    rebuildProcesses();
    return true;
}

void ObjectTable::setDefaultSinkName(std::string name) {
    defaultSink_ = std::move(name);
    rebuildDevices();
}

void ObjectTable::reset() {
    clients_.clear();
    sinks_.clear();
    inputs_.clear();
    sources_.clear();
    outputs_.clear();
    for (Tombstones* dead :
         {&deadClients_, &deadSinks_, &deadInputs_, &deadSources_, &deadOutputs_}) {
        dead->indices.clear();
    }
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
    const auto it = clients_.find(client);
    if (it == clients_.end() || it->second.ours || it->second.pid <= 0) {
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
            process.hints = clients_.at(clientIndex).hints;
            process.call = call;
        }
        return process;
    };
    for (const auto& [index, input] : inputs_) {
        if (const std::int32_t pid = ownerPid(input.client, input.ours)) {
            Process& process = processFor(input.client, pid, input.phone);
            process.sinkInputs.push_back(index);
            process.running = process.running || !input.corked;
        }
    }
    for (const auto& [index, output] : outputs_) {
        // Recording what a sink plays (a level meter, a screen recorder, our
        // own capture) says nothing about a call; a source not known yet
        // counts once it is.
        const auto source = sources_.find(output.source);
        if (source == sources_.end() || source->second.monitor) {
            continue;
        }
        if (const std::int32_t pid = ownerPid(output.client, output.ours)) {
            Process& process = processFor(output.client, pid, false);
            process.recording = process.recording || !output.corked;
        }
    }
    const bool sameProcesses =
        std::equal(rebuilt.begin(), rebuilt.end(), processes_.begin(), processes_.end(),
                   [](const auto& a, const auto& b) { return a.first == b.first; });
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
    for (const auto& [index, sink] : sinks_) {
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
    const auto it = sinks_.find(index);
    return it == sinks_.end() ? nullptr : &it->second;
}

const SinkRecord* ObjectTable::sinkByName(const std::string& name) const {
    for (const auto& [index, sink] : sinks_) {
        if (sink.name == name) {
            return &sink;
        }
    }
    return nullptr;
}

const SinkRecord* ObjectTable::tapSink(const std::string& uuid) const {
    for (const auto& [index, sink] : sinks_) {
        if (sink.tapUuid == uuid) {
            return &sink;
        }
    }
    return nullptr;
}

}  // namespace morvale::pulse
