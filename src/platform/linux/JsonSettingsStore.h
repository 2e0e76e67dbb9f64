#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SettingsStore.h"

namespace morvale::linux_desktop {

// Writes a settings file's new contents in full; absent on success, else the
// operating system's text for the failure. The program uses
// replaceFileAtomically; tests hand in failures.
using SettingsFileWriter =
    std::function<std::optional<std::string>(const std::filesystem::path&, std::string_view)>;

// One settings store kept in a JSON file holding one object. The file is read
// once when the store opens and written whole at every setValue, atomically;
// the values in memory change only when that write succeeded, so they always
// match the file. Used on one thread.
class JsonSettingsStore final : public SettingsStore {
public:
    // Reads file. A file that is not valid settings JSON is renamed to
    // "<file>.corrupt-<YYYYMMDD-HHMMSS>" and the store starts empty; it is never
    // overwritten. A file that cannot be read, or cannot be moved aside, is
    // left alone and every write is refused, for the same reason.
    JsonSettingsStore(std::filesystem::path file, SettingsFileWriter writer);

    std::optional<PlistValue> value(std::string_view key) const override;
    std::optional<std::string> setValue(std::string_view key, PlistValue value) override;

    const std::filesystem::path& file() const { return file_; }
    // Where an unreadable file's contents were moved when the store opened.
    const std::optional<std::filesystem::path>& recoveredFrom() const { return recoveredFrom_; }
    // For the user, when the store opened without its stored values.
    const std::optional<std::string>& openProblem() const { return openProblem_; }
    // True when writes are refused because the file could not be read.
    bool writesBlocked() const { return blockedReason_.has_value(); }

private:
    void open();

    std::filesystem::path file_;
    SettingsFileWriter writer_;
    PlistValue::Dict values_;
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

    // writer defaults to an atomic replacement with mode 0600.
    explicit JsonSettingsStores(std::filesystem::path folder, SettingsFileWriter writer = {});

    SettingsStore& standard() override { return *standard_; }

    // Null when name cannot be a suite (see isValidSuiteName), when the folder
    // cannot be made, or when the suite's file exists but cannot be read: a
    // later call tries again. A suite without a file opens empty.
    SettingsStore* suite(std::string_view name) override;

    // Every store's open problem so far, one per line; absent when none.
    std::optional<std::string> loadProblem() const override;

    JsonSettingsStore& standardStore() { return *standard_; }
    const std::filesystem::path& folder() const { return folder_; }

    // A suite name becomes a file name: it must not be empty, start with a
    // dot, hold '/' or control characters, be longer than 200 bytes, or be
    // "settings" (the standard store's own file).
    static bool isValidSuiteName(std::string_view name);

private:
    std::filesystem::path folder_;
    SettingsFileWriter writer_;
    std::unique_ptr<JsonSettingsStore> standard_;
    std::map<std::string, std::unique_ptr<JsonSettingsStore>, std::less<>> suites_;
};

}  // namespace morvale::linux_desktop
