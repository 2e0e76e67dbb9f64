// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/SimulatedAudioSystem.h"

#include <algorithm>
#include <cstring>
#include <variant>

#include "platform/FourCC.h"
#include "platform/PropertyAnswer.h"
#include "platform/OutputRoute.h"
#include "platform/PropertyString.h"
#include "platform/StreamUsage.h"

namespace morvale::sim {

namespace {

struct Process {
    std::int32_t pid;
    std::optional<std::string> bundleID;
    bool playing;
    bool recording = false;
    std::optional<std::string> declaredName;
};

struct Device {
    std::string uid;
    std::vector<AudioObjectID> inputStreams;
    std::string name;
};

struct Tap {
    TapDescription description;
    AudioObjectID stream;  // the one input stream the tap adds to an aggregate device
};

struct Aggregate {
    PlistValue::Dict description;
};

struct Listener {
    AudioObjectPropertyAddress address;
    AudioObjectPropertyListenerBlock block;
};

struct IOProc {
    AudioObjectID device;
    AudioDeviceIOBlock block;
    bool running = false;
    std::vector<std::uint32_t> usage;
};

// A property value: raw bytes, or a string handed over as a reference.
using Value = std::variant<std::vector<unsigned char>, std::string>;

template <typename T>
std::vector<unsigned char> bytesOf(const T& value) {
    std::vector<unsigned char> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

std::vector<unsigned char> bytesOf(const std::vector<AudioObjectID>& list) {
    std::vector<unsigned char> bytes(list.size() * sizeof(AudioObjectID));
    if (!list.empty()) {
        std::memcpy(bytes.data(), list.data(), bytes.size());
    }
    return bytes;
}

SimulatedAudioSystem::CallRecord newEntry(SimulatedAudioSystem::Call call,
                                          AudioObjectID object = kAudioObjectUnknown,
                                          AudioObjectPropertyAddress address = {0, 0, 0}) {
    SimulatedAudioSystem::CallRecord entry;
    entry.call = call;
    entry.object = object;
    entry.address = address;
    return entry;
}

// "processes 3 4", as call records show a tap's processes.
std::string describeProcesses(const std::vector<AudioObjectID>& processes) {
    std::string text = "processes";
    for (const AudioObjectID id : processes) {
        text += " " + std::to_string(id);
    }
    return text;
}

const std::string* dictString(const PlistValue::Dict& dict, std::string_view key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.asString();
}

}  // namespace

struct SimulatedAudioSystem::State {
    AudioObjectID nextObject = 2;
    std::uintptr_t nextProc = 1;
    std::vector<AudioObjectID> processOrder;
    std::map<AudioObjectID, Process> processes;
    std::map<AudioObjectID, Device> devices;
    std::map<AudioObjectID, Tap> taps;
    std::map<AudioObjectID, Aggregate> aggregates;
    bool gainStagesOn = false;
    std::map<AudioObjectID, GainStageInfo> stages;
    std::map<AudioDeviceIOProcID, IOProc> procs;
    std::uintptr_t nextListener = 1;
    std::map<AudioObjectPropertyListenerID, Listener> listeners;
    AudioObjectID defaultOutput = kAudioObjectUnknown;
    std::optional<float> callDuckingDB;
    OutputRoutes routes;
    int routeWrites = 0;
    // Where another mixer moved a process's streams, over any route.
    std::map<AudioObjectID, std::string> movedByOthers;
    std::vector<Failure> failures;
    std::map<std::pair<AudioObjectID, std::uint32_t>, std::uint32_t> shortReads;
    bool procWithoutID = false;
    std::optional<std::string> availabilityProblem;
    bool logging = false;
    std::vector<CallRecord> log;

    AudioObjectID newObject() { return nextObject++; }

    // Returns the injected status for a call, using up one of its repeats.
    OSStatus injected(Call call, AudioObjectID object, std::uint32_t selector) {
        for (auto it = failures.begin(); it != failures.end(); ++it) {
            if (it->call != call || (it->selector && *it->selector != selector) ||
                (it->object && *it->object != object)) {
                continue;
            }
            const OSStatus status = it->status;
            if (it->times > 0 && --it->times == 0) {
                failures.erase(it);
            }
            return status;
        }
        return kAudioNoError;
    }

    OSStatus record(CallRecord entry) {
        if (logging) {
            log.push_back(entry);
        }
        return entry.status;
    }

    const Device* masterOf(const Aggregate& aggregate) const {
        const std::string* master = dictString(aggregate.description, "master");
        if (master == nullptr) {
            return nullptr;
        }
        for (const auto& [id, device] : devices) {
            if (device.uid == *master) {
                return &device;
            }
        }
        return nullptr;
    }

    // An aggregate device's input streams: its main sub-device's own inputs
    // first, then one stream per tap it lists.
    std::vector<AudioObjectID> aggregateInputs(const Aggregate& aggregate) const {
        std::vector<AudioObjectID> streams;
        if (const Device* master = masterOf(aggregate)) {
            streams = master->inputStreams;
        }
        const auto tapsIt = aggregate.description.find("taps");
        if (tapsIt == aggregate.description.end() || tapsIt->second.asList() == nullptr) {
            return streams;
        }
        for (const PlistValue& entry : *tapsIt->second.asList()) {
            const auto* dict = entry.asDict();
            const std::string* uid = dict ? dictString(*dict, "uid") : nullptr;
            for (const auto& [id, tap] : taps) {
                if (uid != nullptr && tap.description.uuid == *uid) {
                    streams.push_back(tap.stream);
                }
            }
        }
        return streams;
    }

    const Device* deviceWithUID(const std::string& uid) const {
        for (const auto& [id, device] : devices) {
            if (device.uid == uid) {
                return &device;
            }
        }
        return nullptr;
    }

    // The route that names a process, by object or bundle ID; null if none.
    const OutputRoute* routeOf(AudioObjectID object, const Process& process) const {
        for (const OutputRoute& route : routes) {
            const auto& named = route.streams.processes;
            if (std::find(named.begin(), named.end(), object) != named.end() ||
                (process.bundleID && route.streams.capturesIdentity(process.bundleID, ""))) {
                return &route;
            }
        }
        return nullptr;
    }

    // Where a process plays: where another mixer moved it, else its route's
    // device while that is there, else the default output.
    std::string outputOf(AudioObjectID object, const Process& process) const {
        if (const auto moved = movedByOthers.find(object); moved != movedByOthers.end()) {
            return moved->second;
        }
        if (const OutputRoute* route = routeOf(object, process);
            route != nullptr && deviceWithUID(route->deviceUID) != nullptr) {
            return route->deviceUID;
        }
        const auto fallback = devices.find(defaultOutput);
        return fallback == devices.end() ? std::string() : fallback->second.uid;
    }

    // The value of a readable property, or the status that reading it fails with.
    std::variant<Value, OSStatus> lookup(AudioObjectID object,
                                         const AudioObjectPropertyAddress& a) const {
        if (object == kAudioObjectSystemObject) {
            if (a.mSelector == kProcessObjectList) return Value{bytesOf(processOrder)};
            if (a.mSelector == kDefaultOutputDevice) return Value{bytesOf(defaultOutput)};
            if (a.mSelector == kOutputDeviceList) {
                std::vector<AudioObjectID> list;
                for (const auto& [id, device] : devices) {
                    list.push_back(id);
                }
                return Value{bytesOf(list)};
            }
            if (a.mSelector == kCallDuckingDB && callDuckingDB) {
                return Value{bytesOf(*callDuckingDB)};
            }
            return kAudioHardwareUnknownPropertyError;
        }
        if (const auto it = processes.find(object); it != processes.end()) {
            const Process& p = it->second;
            if (a.mSelector == kProcessPID) return Value{bytesOf(p.pid)};
            if (a.mSelector == kProcessIsRunningOutput) {
                return Value{bytesOf(std::uint32_t{p.playing ? 1u : 0u})};
            }
            if (a.mSelector == kProcessIsRunningInput) {
                return Value{bytesOf(std::uint32_t{p.recording ? 1u : 0u})};
            }
            if (a.mSelector == kProcessBundleID) {
                if (!p.bundleID) return kAudioHardwareUnknownPropertyError;
                return Value{*p.bundleID};
            }
            if (a.mSelector == kProcessOutputDevice) return Value{outputOf(it->first, p)};
            if (a.mSelector == kProcessDeclaredName) {
                if (!p.declaredName) return kAudioHardwareUnknownPropertyError;
                return Value{*p.declaredName};
            }
            return kAudioHardwareUnknownPropertyError;
        }
        if (const auto it = devices.find(object); it != devices.end()) {
            if (a.mSelector == kDeviceUID) return Value{it->second.uid};
            if (a.mSelector == kDeviceName) return Value{it->second.name};
            if (a.mSelector == kDeviceStreams) {
                return Value{bytesOf(a.mScope == kScopeInput ? it->second.inputStreams
                                                             : std::vector<AudioObjectID>{})};
            }
            return kAudioHardwareUnknownPropertyError;
        }
        if (const auto it = aggregates.find(object); it != aggregates.end()) {
            if (a.mSelector == kDeviceUID) {
                const std::string* uid = dictString(it->second.description, "uid");
                return Value{uid ? *uid : std::string()};
            }
            if (a.mSelector == kDeviceStreams && a.mScope == kScopeInput) {
                return Value{bytesOf(aggregateInputs(it->second))};
            }
            return kAudioHardwareUnknownPropertyError;
        }
        return kAudioHardwareBadObjectError;
    }

    // A tap takes a new description in place: other processes, and others to
    // capture by who they are. What it is cannot change.
    static OSStatus setTapDescription(TapDescription& description, std::uint32_t dataSize,
                                      const void* data, std::string& detail) {
        OSStatus status = kAudioNoError;
        const auto* given = property::givenPointer<TapDescription>(data, dataSize, status);
        if (given == nullptr) {
            return status;
        }
        if (!given->sameTapAs(description)) {
            return kAudioHardwareIllegalOperationError;
        }
        description = *given;
        detail = describeProcesses(given->processes);
        return kAudioNoError;
    }

    std::uint32_t shortReadOf(AudioObjectID object, std::uint32_t selector) const {
        const auto it = shortReads.find({object, selector});
        return it == shortReads.end() ? 0 : it->second;
    }
};

SimulatedAudioSystem::SimulatedAudioSystem() : state_(std::make_unique<State>()) {}

SimulatedAudioSystem::~SimulatedAudioSystem() = default;

// ---- Scripting ----

AudioObjectID SimulatedAudioSystem::addProcess(std::int32_t pid,
                                               std::optional<std::string> bundleID,
                                               bool playing) {
    AudioObjectID id = kAudioObjectUnknown;
    {
        std::lock_guard lock(mutex_);
        id = state_->newObject();
        state_->processes[id] = Process{pid, std::move(bundleID), playing};
        state_->processOrder.push_back(id);
    }
    notifyProcessListChanged();
    return id;
}

void SimulatedAudioSystem::setProcessPlaying(AudioObjectID process, bool playing) {
    std::lock_guard lock(mutex_);
    if (auto it = state_->processes.find(process); it != state_->processes.end()) {
        it->second.playing = playing;
    }
}

void SimulatedAudioSystem::setProcessRecording(AudioObjectID process, bool recording) {
    std::lock_guard lock(mutex_);
    if (auto it = state_->processes.find(process); it != state_->processes.end()) {
        it->second.recording = recording;
    }
}

void SimulatedAudioSystem::setProcessBundleID(AudioObjectID process,
                                              std::optional<std::string> bundleID) {
    std::lock_guard lock(mutex_);
    if (auto it = state_->processes.find(process); it != state_->processes.end()) {
        it->second.bundleID = std::move(bundleID);
    }
}

void SimulatedAudioSystem::setProcessDeclaredName(AudioObjectID process,
                                                  std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    if (auto it = state_->processes.find(process); it != state_->processes.end()) {
        it->second.declaredName = std::move(name);
    }
}

void SimulatedAudioSystem::setProcessPID(AudioObjectID process, std::int32_t pid) {
    std::lock_guard lock(mutex_);
    if (auto it = state_->processes.find(process); it != state_->processes.end()) {
        it->second.pid = pid;
    }
}

void SimulatedAudioSystem::removeProcess(AudioObjectID process) {
    {
        std::lock_guard lock(mutex_);
        state_->processes.erase(process);
        std::erase(state_->processOrder, process);
    }
    notifyProcessListChanged();
}

void SimulatedAudioSystem::moveProcessToFront(AudioObjectID process) {
    {
        std::lock_guard lock(mutex_);
        auto& order = state_->processOrder;
        if (const auto it = std::find(order.begin(), order.end(), process); it != order.end()) {
            std::rotate(order.begin(), it, it + 1);
        }
    }
    notifyProcessListChanged();
}

void SimulatedAudioSystem::notifyProcessListChanged() {
    constexpr AudioObjectPropertyAddress changed{kProcessObjectList, kScopeGlobal, kElementMain};
    std::vector<AudioObjectPropertyListenerBlock> blocks;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, listener] : state_->listeners) {
            blocks.push_back(listener.block);
        }
    }
    for (const auto& block : blocks) {
        block(1, &changed);
    }
}

AudioObjectID SimulatedAudioSystem::addOutputDevice(std::string uid, std::uint32_t inputStreams) {
    std::lock_guard lock(mutex_);
    const AudioObjectID id = state_->newObject();
    Device device{std::move(uid), {}};
    for (std::uint32_t i = 0; i < inputStreams; ++i) {
        device.inputStreams.push_back(state_->newObject());
    }
    state_->devices[id] = std::move(device);
    return id;
}

void SimulatedAudioSystem::removeDevice(AudioObjectID device) {
    std::lock_guard lock(mutex_);
    state_->devices.erase(device);
    if (state_->defaultOutput == device) {
        state_->defaultOutput = kAudioObjectUnknown;
    }
}

void SimulatedAudioSystem::setDeviceName(AudioObjectID device, std::string name) {
    std::lock_guard lock(mutex_);
    if (auto it = state_->devices.find(device); it != state_->devices.end()) {
        it->second.name = std::move(name);
    }
}

void SimulatedAudioSystem::moveProcessOutput(AudioObjectID process, std::string deviceUID) {
    std::lock_guard lock(mutex_);
    state_->movedByOthers.insert_or_assign(process, std::move(deviceUID));
}

OutputRoutes SimulatedAudioSystem::outputRoutes() const {
    std::lock_guard lock(mutex_);
    return state_->routes;
}

int SimulatedAudioSystem::outputRouteWrites() const {
    std::lock_guard lock(mutex_);
    return state_->routeWrites;
}

std::string SimulatedAudioSystem::processOutput(AudioObjectID process) const {
    std::lock_guard lock(mutex_);
    const auto it = state_->processes.find(process);
    return it == state_->processes.end() ? std::string() : state_->outputOf(process, it->second);
}

void SimulatedAudioSystem::setDefaultOutputDevice(AudioObjectID device) {
    std::lock_guard lock(mutex_);
    state_->defaultOutput = device;
}

void SimulatedAudioSystem::setCallDuckingDB(std::optional<float> decibels) {
    std::lock_guard lock(mutex_);
    state_->callDuckingDB = decibels;
}

void SimulatedAudioSystem::injectFailure(Failure failure) {
    std::lock_guard lock(mutex_);
    state_->failures.push_back(failure);
}

void SimulatedAudioSystem::clearFailures() {
    std::lock_guard lock(mutex_);
    state_->failures.clear();
}

void SimulatedAudioSystem::setShortRead(AudioObjectID object, std::uint32_t selector,
                                        std::uint32_t extraBytes) {
    std::lock_guard lock(mutex_);
    state_->shortReads[{object, selector}] = extraBytes;
}

void SimulatedAudioSystem::setIOProcCreationWithoutID(bool enabled) {
    std::lock_guard lock(mutex_);
    state_->procWithoutID = enabled;
}

void SimulatedAudioSystem::setAvailabilityProblem(std::optional<std::string> problem) {
    std::lock_guard lock(mutex_);
    state_->availabilityProblem = std::move(problem);
}

std::optional<std::string> SimulatedAudioSystem::availabilityProblem() const {
    std::lock_guard lock(mutex_);
    return state_->availabilityProblem;
}

// ---- Reading back ----

std::vector<SimulatedAudioSystem::CallRecord> SimulatedAudioSystem::log() const {
    std::lock_guard lock(mutex_);
    return state_->log;
}

std::vector<std::string> SimulatedAudioSystem::logText() const {
    std::vector<std::string> lines;
    for (const CallRecord& record : log()) {
        lines.push_back(record.text());
    }
    return lines;
}

void SimulatedAudioSystem::setCallLogging(bool enabled) {
    std::lock_guard lock(mutex_);
    state_->logging = enabled;
}

void SimulatedAudioSystem::clearLog() {
    std::lock_guard lock(mutex_);
    state_->log.clear();
}

std::vector<AudioObjectID> SimulatedAudioSystem::processObjects() const {
    std::lock_guard lock(mutex_);
    return state_->processOrder;
}

std::map<AudioObjectID, TapDescription> SimulatedAudioSystem::taps() const {
    std::lock_guard lock(mutex_);
    std::map<AudioObjectID, TapDescription> result;
    for (const auto& [id, tap] : state_->taps) {
        result[id] = tap.description;
    }
    return result;
}

std::map<AudioObjectID, PlistValue::Dict> SimulatedAudioSystem::aggregateDevices() const {
    std::lock_guard lock(mutex_);
    std::map<AudioObjectID, PlistValue::Dict> result;
    for (const auto& [id, aggregate] : state_->aggregates) {
        result[id] = aggregate.description;
    }
    return result;
}

std::vector<SimulatedAudioSystem::IOProcInfo> SimulatedAudioSystem::ioProcs() const {
    std::lock_guard lock(mutex_);
    std::vector<IOProcInfo> result;
    for (const auto& [id, proc] : state_->procs) {
        result.push_back({proc.device, id, proc.running});
    }
    return result;
}

std::vector<std::uint32_t> SimulatedAudioSystem::streamUsage(AudioObjectID device,
                                                             AudioDeviceIOProcID proc) const {
    std::lock_guard lock(mutex_);
    const auto it = state_->procs.find(proc);
    if (it == state_->procs.end() || it->second.device != device) {
        return {};
    }
    return it->second.usage;
}

std::size_t SimulatedAudioSystem::listenerCount() const {
    std::lock_guard lock(mutex_);
    return state_->listeners.size();
}

bool SimulatedAudioSystem::hasLeftovers() const {
    std::lock_guard lock(mutex_);
    return !state_->taps.empty() || !state_->aggregates.empty() || !state_->procs.empty() ||
           !state_->stages.empty();
}

// ---- IO ----

int SimulatedAudioSystem::runIOCycle(AudioObjectID device, const AudioBufferList& input,
                                     AudioBufferList& output) {
    std::lock_guard lock(mutex_);
    const AudioTimeStamp now{0.0, 0};
    int ran = 0;
    for (auto& [id, proc] : state_->procs) {
        if (proc.device == device && proc.running && proc.block) {
            proc.block(&now, &input, &now, &output, &now);
            ++ran;
        }
    }
    return ran;
}

// ---- AudioHardware ----

OSStatus SimulatedAudioSystem::getPropertyDataSize(AudioObjectID object,
                                                   const AudioObjectPropertyAddress& address,
                                                   std::uint32_t, const void*,
                                                   std::uint32_t* outDataSize) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::getPropertyDataSize, object, address);
    entry.status = s.injected(Call::getPropertyDataSize, object, address.mSelector);
    if (entry.status != kAudioNoError) {
        return s.record(std::move(entry));
    }
    std::uint32_t size = 0;
    if (address.mSelector == kIOProcStreamUsage) {
        const auto it = s.aggregates.find(object);
        if (it == s.aggregates.end() || address.mScope != kScopeInput) {
            entry.status = kAudioHardwareUnknownPropertyError;
        } else {
            const auto streams = static_cast<std::uint32_t>(s.aggregateInputs(it->second).size());
            size = static_cast<std::uint32_t>(StreamUsage::sizeFor(streams));
        }
    } else {
        const auto found = s.lookup(object, address);
        if (const auto* status = std::get_if<OSStatus>(&found)) {
            entry.status = *status;
        } else if (const auto* bytes = std::get_if<std::vector<unsigned char>>(&std::get<Value>(found))) {
            size = static_cast<std::uint32_t>(bytes->size()) + s.shortReadOf(object, address.mSelector);
        } else {
            size = sizeof(StringRef);
        }
    }
    if (entry.status == kAudioNoError && outDataSize != nullptr) {
        *outDataSize = size;
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::getPropertyData(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t, const void*,
                                               std::uint32_t* ioDataSize, void* outData) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::getPropertyData, object, address);
    entry.dataSize = ioDataSize ? *ioDataSize : 0;
    entry.status = s.injected(Call::getPropertyData, object, address.mSelector);
    if (entry.status != kAudioNoError) {
        return s.record(std::move(entry));
    }
    if (ioDataSize == nullptr || outData == nullptr) {
        entry.status = kAudioParamError;
        return s.record(std::move(entry));
    }
    auto* out = static_cast<unsigned char*>(outData);

    if (address.mSelector == kIOProcStreamUsage) {
        // The caller names its IO proc in the record's first field.
        const auto aggregate = s.aggregates.find(object);
        if (aggregate == s.aggregates.end() || address.mScope != kScopeInput) {
            entry.status = kAudioHardwareUnknownPropertyError;
            return s.record(std::move(entry));
        }
        if (*ioDataSize < StreamUsage::kFlagsOffset) {
            entry.status = kAudioHardwareBadPropertySizeError;
            return s.record(std::move(entry));
        }
        const auto proc = s.procs.find(StreamUsage::proc(out));
        if (proc == s.procs.end() || proc->second.device != object) {
            entry.status = kAudioHardwareIllegalOperationError;
            return s.record(std::move(entry));
        }
        const auto streams = static_cast<std::uint32_t>(s.aggregateInputs(aggregate->second).size());
        const auto room = static_cast<std::uint32_t>(
            (*ioDataSize - StreamUsage::kFlagsOffset) / sizeof(std::uint32_t));
        const std::uint32_t written = std::min(streams, room);
        StreamUsage::setCount(out, streams);
        for (std::uint32_t i = 0; i < written; ++i) {
            const auto& usage = proc->second.usage;
            StreamUsage::setFlag(out, i, i < usage.size() ? usage[i] : 1u);
        }
        *ioDataSize = static_cast<std::uint32_t>(StreamUsage::sizeFor(written));
        return s.record(std::move(entry));
    }

    const auto found = s.lookup(object, address);
    if (const auto* status = std::get_if<OSStatus>(&found)) {
        entry.status = *status;
        return s.record(std::move(entry));
    }
    const Value& value = std::get<Value>(found);
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (*ioDataSize < sizeof(StringRef)) {
            entry.status = kAudioHardwareBadPropertySizeError;
            return s.record(std::move(entry));
        }
        const StringRef ref = makeStringRef(*text);
        std::memcpy(out, &ref, sizeof ref);
        *ioDataSize = sizeof ref;
        return s.record(std::move(entry));
    }
    const auto& bytes = std::get<std::vector<unsigned char>>(value);
    const bool isList = address.mSelector == kProcessObjectList ||
                        address.mSelector == kDeviceStreams;
    if (!isList && *ioDataSize < bytes.size()) {
        entry.status = kAudioHardwareBadPropertySizeError;
        return s.record(std::move(entry));
    }
    std::size_t count = std::min<std::size_t>(bytes.size(), *ioDataSize);
    if (isList) {
        count -= count % sizeof(AudioObjectID);
    }
    if (count > 0) {
        std::memcpy(out, bytes.data(), count);
    }
    *ioDataSize = static_cast<std::uint32_t>(count);
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::setPropertyData(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t, const void*, std::uint32_t dataSize,
                                               const void* data) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::setPropertyData, object, address);
    entry.dataSize = dataSize;
    entry.status = s.injected(Call::setPropertyData, object, address.mSelector);
    if (entry.status != kAudioNoError) {
        return s.record(std::move(entry));
    }
    if (const auto tap = s.taps.find(object);
        tap != s.taps.end() && address.mSelector == kTapDescription) {
        entry.status = s.setTapDescription(tap->second.description, dataSize, data, entry.detail);
        return s.record(std::move(entry));
    }
    if (const auto stage = s.stages.find(object); stage != s.stages.end()) {
        if (address.mSelector == kTapDescription) {
            entry.status =
                s.setTapDescription(stage->second.description, dataSize, data, entry.detail);
        } else if (address.mSelector != kGainStageGain) {
            entry.status = kAudioHardwareUnknownPropertyError;
        } else if (data == nullptr || dataSize != sizeof(float)) {
            entry.status = kAudioHardwareBadPropertySizeError;
        } else {
            std::memcpy(&stage->second.gain, data, sizeof(float));
            entry.detail = "gain " + std::to_string(stage->second.gain);
        }
        return s.record(std::move(entry));
    }
    if (object == kAudioObjectSystemObject && address.mSelector == kOutputRoutes) {
        const auto* given = property::givenPointer<OutputRoutes>(data, dataSize, entry.status);
        if (given == nullptr) {
            return s.record(std::move(entry));
        }
        // A route that changes takes its processes back from other mixers.
        std::erase_if(s.movedByOthers, [&](const auto& item) {
            const auto process = s.processes.find(item.first);
            if (process == s.processes.end()) {
                return true;
            }
            const OutputRoute* before = s.routeOf(item.first, process->second);
            State after;
            after.routes = *given;
            const OutputRoute* now = after.routeOf(item.first, process->second);
            return (before == nullptr) != (now == nullptr) ||
                   (before != nullptr && before->deviceUID != now->deviceUID);
        });
        s.routes = *given;
        ++s.routeWrites;
        entry.detail = std::to_string(given->size()) + " routes";
        return s.record(std::move(entry));
    }
    const auto aggregate = s.aggregates.find(object);
    if (address.mSelector != kIOProcStreamUsage || aggregate == s.aggregates.end() ||
        address.mScope != kScopeInput) {
        // Everything else this system knows is read-only.
        const bool known = std::holds_alternative<Value>(s.lookup(object, address));
        entry.status = known ? kAudioHardwareIllegalOperationError
                             : std::get<OSStatus>(s.lookup(object, address));
        return s.record(std::move(entry));
    }
    if (data == nullptr || dataSize < StreamUsage::kFlagsOffset) {
        entry.status = kAudioHardwareBadPropertySizeError;
        return s.record(std::move(entry));
    }
    const auto* in = static_cast<const unsigned char*>(data);
    const auto proc = s.procs.find(StreamUsage::proc(in));
    const auto streams = s.aggregateInputs(aggregate->second).size();
    const std::uint32_t count = StreamUsage::count(in);
    if (proc == s.procs.end() || proc->second.device != object || count > streams ||
        StreamUsage::sizeFor(count) > dataSize) {
        entry.status = kAudioHardwareIllegalOperationError;
        return s.record(std::move(entry));
    }
    proc->second.usage.assign(streams, 1u);
    for (std::uint32_t i = 0; i < count; ++i) {
        proc->second.usage[i] = StreamUsage::flag(in, i);
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::createProcessTap(const TapDescription& description,
                                                AudioObjectID* outTapID) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::createProcessTap);
    entry.detail = describeProcesses(description.processes);
    entry.status = s.injected(Call::createProcessTap, kAudioObjectUnknown, 0);
    if (entry.status == kAudioNoError && outTapID == nullptr) {
        entry.status = kAudioParamError;
    }
    if (entry.status == kAudioNoError) {
        const AudioObjectID tap = s.newObject();
        s.taps[tap] = Tap{description, s.newObject()};
        *outTapID = tap;
        entry.object = tap;
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::destroyProcessTap(AudioObjectID tap) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::destroyProcessTap, tap);
    entry.status = s.injected(Call::destroyProcessTap, tap, 0);
    if (entry.status == kAudioNoError && s.taps.erase(tap) == 0) {
        entry.status = kAudioHardwareBadObjectError;
    }
    return s.record(std::move(entry));
}

bool SimulatedAudioSystem::hasGainStages() const {
    std::lock_guard lock(mutex_);
    return state_->gainStagesOn;
}

void SimulatedAudioSystem::setGainStages(bool enabled) {
    std::lock_guard lock(mutex_);
    state_->gainStagesOn = enabled;
}

std::map<AudioObjectID, SimulatedAudioSystem::GainStageInfo> SimulatedAudioSystem::gainStages()
    const {
    std::lock_guard lock(mutex_);
    return state_->stages;
}

OSStatus SimulatedAudioSystem::createGainStage(const TapDescription& description, float gain,
                                               AudioObjectID* outStage) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::createGainStage);
    entry.detail = describeProcesses(description.processes) + ", gain " + std::to_string(gain);
    entry.status = s.gainStagesOn
                       ? s.injected(Call::createGainStage, kAudioObjectUnknown, 0)
                       : kAudioHardwareUnsupportedOperationError;
    if (entry.status == kAudioNoError && outStage == nullptr) {
        entry.status = kAudioParamError;
    }
    if (entry.status == kAudioNoError) {
        const AudioObjectID stage = s.newObject();
        s.stages[stage] = GainStageInfo{description, gain};
        *outStage = stage;
        entry.object = stage;
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::destroyGainStage(AudioObjectID stage) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::destroyGainStage, stage);
    entry.status = s.injected(Call::destroyGainStage, stage, 0);
    if (entry.status == kAudioNoError && s.stages.erase(stage) == 0) {
        entry.status = kAudioHardwareBadObjectError;
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::createAggregateDevice(const PlistValue::Dict& description,
                                                     AudioObjectID* outDeviceID) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::createAggregateDevice);
    entry.detail = morvale::describe(PlistValue(description));
    entry.status = s.injected(Call::createAggregateDevice, kAudioObjectUnknown, 0);
    if (entry.status == kAudioNoError && outDeviceID == nullptr) {
        entry.status = kAudioParamError;
    }
    if (entry.status == kAudioNoError) {
        const AudioObjectID device = s.newObject();
        s.aggregates[device] = Aggregate{description};
        *outDeviceID = device;
        entry.object = device;
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::destroyAggregateDevice(AudioObjectID device) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::destroyAggregateDevice, device);
    entry.status = s.injected(Call::destroyAggregateDevice, device, 0);
    if (entry.status == kAudioNoError) {
        if (s.aggregates.erase(device) == 0) {
            entry.status = kAudioHardwareBadDeviceError;
        } else {
            // The device's IO procs go with it.
            std::erase_if(s.procs, [&](const auto& item) { return item.second.device == device; });
        }
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::createIOProcIDWithBlock(AudioDeviceIOProcID* outIOProcID,
                                                       AudioObjectID device, DispatchQueue,
                                                       AudioDeviceIOBlock block) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::createIOProcIDWithBlock, device);
    entry.status = s.injected(Call::createIOProcIDWithBlock, device, 0);
    if (entry.status == kAudioNoError && (outIOProcID == nullptr || !block)) {
        entry.status = kAudioParamError;
    }
    if (entry.status == kAudioNoError && !s.aggregates.contains(device) &&
        !s.devices.contains(device)) {
        entry.status = kAudioHardwareBadDeviceError;
    }
    if (entry.status != kAudioNoError) {
        return s.record(std::move(entry));
    }
    if (s.procWithoutID) {
        *outIOProcID = nullptr;
        return s.record(std::move(entry));
    }
    // IO proc ids are opaque tokens; these never point at anything.
    const auto id = reinterpret_cast<AudioDeviceIOProcID>(s.nextProc++ * 16);
    s.procs[id] = IOProc{device, std::move(block)};
    *outIOProcID = id;
    entry.ioProc = id;
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::destroyIOProcID, device);
    entry.ioProc = ioProc;
    entry.status = s.injected(Call::destroyIOProcID, device, 0);
    if (entry.status == kAudioNoError) {
        const auto it = s.procs.find(ioProc);
        if (it == s.procs.end() || it->second.device != device) {
            entry.status = kAudioHardwareIllegalOperationError;
        } else {
            s.procs.erase(it);
        }
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::deviceStart(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::deviceStart, device);
    entry.ioProc = ioProc;
    entry.status = s.injected(Call::deviceStart, device, 0);
    if (entry.status == kAudioNoError) {
        const auto it = s.procs.find(ioProc);
        if (it == s.procs.end() || it->second.device != device) {
            entry.status = kAudioHardwareBadDeviceError;
        } else {
            it->second.running = true;
        }
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::deviceStop(AudioObjectID device, AudioDeviceIOProcID ioProc) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::deviceStop, device);
    entry.ioProc = ioProc;
    entry.status = s.injected(Call::deviceStop, device, 0);
    if (entry.status == kAudioNoError) {
        const auto it = s.procs.find(ioProc);
        if (it == s.procs.end() || it->second.device != device) {
            entry.status = kAudioHardwareBadDeviceError;
        } else {
            it->second.running = false;
        }
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::addPropertyListenerBlock(
    AudioObjectID object, const AudioObjectPropertyAddress& address, DispatchQueue,
    AudioObjectPropertyListenerBlock block, AudioObjectPropertyListenerID* outListener) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::addPropertyListenerBlock, object, address);
    entry.status = s.injected(Call::addPropertyListenerBlock, object, address.mSelector);
    if (entry.status == kAudioNoError && (outListener == nullptr || !block)) {
        entry.status = kAudioParamError;
    }
    if (entry.status == kAudioNoError &&
        (object != kAudioObjectSystemObject || address.mSelector != kProcessObjectList)) {
        entry.status = object == kAudioObjectSystemObject ? kAudioHardwareUnknownPropertyError
                                                          : kAudioHardwareBadObjectError;
    }
    if (entry.status == kAudioNoError) {
        // Listener ids are opaque tokens; these never point at anything.
        const auto id = reinterpret_cast<AudioObjectPropertyListenerID>(s.nextListener++ * 16);
        s.listeners[id] = Listener{address, std::move(block)};
        *outListener = id;
    }
    return s.record(std::move(entry));
}

OSStatus SimulatedAudioSystem::removePropertyListenerBlock(
    AudioObjectID object, const AudioObjectPropertyAddress& address, DispatchQueue,
    AudioObjectPropertyListenerID listener) {
    std::lock_guard lock(mutex_);
    State& s = *state_;
    CallRecord entry = newEntry(Call::removePropertyListenerBlock, object, address);
    entry.status = s.injected(Call::removePropertyListenerBlock, object, address.mSelector);
    if (entry.status == kAudioNoError) {
        const auto it = s.listeners.find(listener);
        if (it == s.listeners.end() || object != kAudioObjectSystemObject ||
            it->second.address != address) {
            entry.status = kAudioHardwareIllegalOperationError;
        } else {
            s.listeners.erase(it);
        }
    }
    return s.record(std::move(entry));
}

std::string toString(SimulatedAudioSystem::Call call) {
    using C = SimulatedAudioSystem::Call;
    switch (call) {
        case C::getPropertyDataSize: return "getPropertyDataSize";
        case C::getPropertyData: return "getPropertyData";
        case C::setPropertyData: return "setPropertyData";
        case C::createProcessTap: return "createProcessTap";
        case C::destroyProcessTap: return "destroyProcessTap";
        case C::createAggregateDevice: return "createAggregateDevice";
        case C::destroyAggregateDevice: return "destroyAggregateDevice";
        case C::createIOProcIDWithBlock: return "createIOProcIDWithBlock";
        case C::destroyIOProcID: return "destroyIOProcID";
        case C::deviceStart: return "deviceStart";
        case C::deviceStop: return "deviceStop";
        case C::addPropertyListenerBlock:
            return "addPropertyListenerBlock";
        case C::removePropertyListenerBlock:
            return "removePropertyListenerBlock";
        case C::createGainStage: return "createGainStage";
        case C::destroyGainStage: return "destroyGainStage";
    }
    return "?";
}

std::string SimulatedAudioSystem::CallRecord::text() const {
    std::string out = toString(call) + "(" + std::to_string(object);
    switch (call) {
        case Call::getPropertyDataSize:
        case Call::getPropertyData:
        case Call::setPropertyData:
        case Call::addPropertyListenerBlock:
        case Call::removePropertyListenerBlock:
            out += ", " + fourCCString(address.mSelector) + " " + fourCCString(address.mScope) +
                   " " + std::to_string(address.mElement);
            if (call == Call::getPropertyData || call == Call::setPropertyData) {
                out += ", " + std::to_string(dataSize);
            }
            break;
        case Call::destroyIOProcID:
        case Call::deviceStart:
        case Call::deviceStop:
            out += ioProc ? ", proc" : ", no proc";
            break;
        default:
            break;
    }
    if (!detail.empty()) {
        out += ", " + detail;
    }
    return out + ") -> " + std::to_string(status);
}

}  // namespace morvale::sim
