// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

namespace morvale::sim {

// A settings store in memory that writes every change at once. values is what
// a restart reads. Writes can be made to fail, as a full disk would: values
// then stays as it was and the save observer hears why.
class MemorySettingsStore final : public SettingsStore {
public:
    PlistValue::Dict values;
    std::optional<std::string> failWritesWith;
    int writes = 0;
    std::vector<PlistValue::Dict> keptCopies;
    std::optional<std::string> failCopiesWith;
    const SettingsStores::SaveObserver* observer = nullptr;  // set by MemorySettings

    std::optional<PlistValue> value(std::string_view key) const override {
        const auto it = values.find(key);
        if (it == values.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    std::optional<std::string> setValue(std::string_view key, PlistValue value) override {
        ++writes;
        if (!failWritesWith) {
            values.insert_or_assign(std::string(key), std::move(value));
        }
        if (observer != nullptr && *observer) {
            (*observer)(failWritesWith);
        }
        return std::nullopt;
    }

    KeptCopy keepCopy() override {
        if (failCopiesWith) {
            return {std::nullopt, *failCopiesWith};
        }
        keptCopies.push_back(values);
        return {"copy " + std::to_string(keptCopies.size()), {}};
    }
};

// The standard store and named suites, all in memory. A suite is opened (and
// made empty) on first use unless it is listed as unopenable.
class MemorySettings final : public SettingsStores {
public:
    MemorySettingsStore standardStore;
    std::map<std::string, std::unique_ptr<MemorySettingsStore>, std::less<>> suites;
    bool suitesOpen = true;
    std::optional<std::string> problem;  // what loadProblem() reports
    int flushes = 0;

    MemorySettings() { standardStore.observer = &observer_; }
    MemorySettings(const MemorySettings&) = delete;
    MemorySettings& operator=(const MemorySettings&) = delete;

    SettingsStore& standard() override { return standardStore; }

    SettingsStore* suite(std::string_view name) override { return suiteStore(name); }

    std::optional<std::string> loadProblem() const override { return problem; }

    void setSaveObserver(SaveObserver observer) override { observer_ = std::move(observer); }

    void flush() override { ++flushes; }

    MemorySettingsStore* suiteStore(std::string_view name) {
        if (!suitesOpen) {
            return nullptr;
        }
        auto it = suites.find(name);
        if (it == suites.end()) {
            it = suites.emplace(std::string(name), std::make_unique<MemorySettingsStore>()).first;
            it->second->observer = &observer_;
        }
        return it->second.get();
    }

private:
    SaveObserver observer_;
};

}  // namespace morvale::sim
