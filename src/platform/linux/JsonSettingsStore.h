// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/MainThread.h"
#include "platform/SettingsStore.h"

namespace morvale::LinuxDesktop {

// Writes a settings file's new contents in full; absent on success, else the
// operating system's text for the failure. The program uses
// replaceFileAtomically; tests hand in failures.
using SettingsFileWriter =
    std::function<std::optional<std::string>(const std::filesystem::path&, std::string_view)>;

// How a store's changes reach its file.
struct SettingsWriting {
    SettingsFileWriter writer;
    // With timers, a change is written at most kWriteDelay after it is made,
    // together with every change made meanwhile, so a dragged slider costs a
    // few writes rather than one per step. Without, each change is written at
    // once.
    Timers* timers = nullptr;
    // Told how each write went: absent on success, else a message for the user.
    std::function<void(const std::optional<std::string>& failure)> saved;
};

// One settings store kept in a JSON file holding one object. The file is read
// once when the store opens; the values change in memory at once and the
// file follows, written whole and atomically. A failed write is tried again
// with the next change, and when the store is flushed. Used on one thread.
class JsonSettingsStore final : public SettingsStore {
public:
    static constexpr std::chrono::milliseconds kWriteDelay{500};

    // Reads file. A file that is not valid settings JSON is renamed to
    // "<file>.corrupt-<YYYYMMDD-HHMMSS>" and the store starts empty; it is never
    // overwritten. A file that cannot be read, or cannot be moved aside, is
    // left alone and every write is refused, for the same reason.
    JsonSettingsStore(std::filesystem::path file, SettingsWriting writing);
    // Writes what is waiting.
    ~JsonSettingsStore() override;

    std::optional<PlistValue> value(std::string_view key) const override;
    std::optional<std::string> setValue(std::string_view key, PlistValue value) override;
    // A copy of the values as "<file>.kept-<YYYYMMDD-HHMMSS>". A copy kept
    // earlier with the same contents (at an earlier start) is named instead of
    // making another.
    KeptCopy keepCopy() override;

    // Writes what is waiting now.
    void flush();
    // Changes not yet written (waiting for the delay, or after a failed write).
    bool hasUnwrittenChanges() const { return unwritten_; }

    const std::filesystem::path& file() const { return file_; }
    // Where an unreadable file's contents were moved when the store opened.
    const std::optional<std::filesystem::path>& recoveredFrom() const { return recoveredFrom_; }
    // For the user, when the store opened without its stored values.
    const std::optional<std::string>& openProblem() const { return openProblem_; }
    // True when writes are refused because the file could not be read.
    bool writesBlocked() const { return blockedReason_.has_value(); }

private:
    void open();
    void write();
    std::optional<std::filesystem::path> keptBefore(std::string_view contents) const;

    std::filesystem::path file_;
    SettingsWriting writing_;
    PlistValue::Dict values_;
    bool unwritten_ = false;
    bool writeScheduled_ = false;
    std::unique_ptr<TimerHandle> writeTimer_;
    std::optional<std::filesystem::path> recoveredFrom_;
    std::optional<std::string> openProblem_;
    std::optional<std::string> blockedReason_;
};

// The user's settings: settings.json in the settings folder for the standard
// store and "<suite name>.json" beside it for each suite. The folder is made
// (0700) when missing.
class JsonSettingsStores final : public SettingsStores {
public:
    // $XDG_CONFIG_HOME/morvale, by default ~/.config/morvale.
    static std::filesystem::path defaultFolder();

    // writer defaults to an atomic replacement with mode 0600; timers, when
    // given, gather changes into fewer writes (see SettingsWriting) and must
    // outlive this object.
    explicit JsonSettingsStores(std::filesystem::path folder, SettingsFileWriter writer = {},
                                Timers* timers = nullptr);

    SettingsStore& standard() override { return *standard_; }

    // Null when name cannot be a suite (see isValidSuiteName), when the folder
    // cannot be made, or when the suite's file exists but cannot be read: a
    // later call tries again. A suite without a file opens empty.
    SettingsStore* suite(std::string_view name) override;

    // Every store's open problem so far, one per line; absent when none.
    std::optional<std::string> loadProblem() const override;

    void setSaveObserver(SaveObserver observer) override { observer_ = std::move(observer); }
    void flush() override;

    JsonSettingsStore& standardStore() { return *standard_; }
    const std::filesystem::path& folder() const { return folder_; }

    // A suite name becomes a file name: it must not be empty, start with a
    // dot, hold '/' or control characters, be longer than 200 bytes, or be
    // "settings" (the standard store's own file).
    static bool isValidSuiteName(std::string_view name);

private:
    std::unique_ptr<JsonSettingsStore> makeStore(const std::filesystem::path& file);

    std::filesystem::path folder_;
    SettingsFileWriter writer_;
    Timers* timers_;
    SaveObserver observer_;  // before the stores: they report to it as they end
    std::unique_ptr<JsonSettingsStore> standard_;
    std::map<std::string, std::unique_ptr<JsonSettingsStore>, std::less<>> suites_;
};

}  // namespace morvale::LinuxDesktop
