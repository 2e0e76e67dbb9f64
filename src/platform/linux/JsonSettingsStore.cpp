// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/JsonSettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/Translation.h"
#include "platform/linux/FileIo.h"
#include "platform/linux/Json.h"
#include "platform/linux/XdgDirs.h"

namespace morvale::LinuxDesktop {

namespace {

// Settings files are small (a few kilobytes for hundreds of applications); a
// larger one is not read: parsed, its values take many times its size in
// memory, and the program would start slowly on it.
constexpr std::size_t kMaxSettingsBytes = 256 << 10;
constexpr std::string_view kStandardName = "settings";

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "unknown-time";
    if (::localtime_r(&now, &local) != nullptr) {
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    }
    return text;
}

constexpr std::string_view kDamagedMark = ".corrupt-";
constexpr std::string_view kKeptMark = ".kept-";

// A name beside file that nothing uses yet: "<file><mark><time>", with a
// counter when that is taken, so an earlier kept file is never replaced.
// Absent when no free name can be found (the folder cannot even be looked at).
std::optional<std::filesystem::path> asideName(const std::filesystem::path& file,
                                               std::string_view mark) {
    const std::string base = file.string() + std::string(mark) + timestamp();
    std::filesystem::path candidate = base;
    for (int n = 2; n < 1000; ++n) {
        std::error_code ec;
        if (!std::filesystem::exists(candidate, ec)) {
            if (ec) {
                return std::nullopt;
            }
            return candidate;
        }
        candidate = base + "-" + std::to_string(n);
    }
    return std::nullopt;
}

}  // namespace

JsonSettingsStore::JsonSettingsStore(std::filesystem::path file, SettingsWriting writing)
    : file_(std::move(file)), writing_(std::move(writing)) {
    open();
}

JsonSettingsStore::~JsonSettingsStore() {
    flush();
}

void JsonSettingsStore::open() {
    if (file_.is_relative()) {
        // No home folder to keep settings in; a relative path would land
        // wherever the program happened to start.
        openProblem_ = translate("Settings",
                                 "Couldn't find a folder for settings: the home folder is unknown");
        blockedReason_ = translate("Settings", "the home folder is unknown");
        return;
    }
    const FileContents contents = readWholeFile(file_, kMaxSettingsBytes);
    if (contents.error == ENOENT || contents.error == ENOTDIR) {
        return;  // nothing stored yet
    }
    if (contents.error != 0) {
        const std::string why = osErrorText(contents.error);
        //: %1 is the settings file, %2 the system's reason.
        openProblem_ = fillIn(translate("Settings", "Couldn't read settings from %1: %2"),
                              {file_.string(), why});
        blockedReason_ = fillIn(translate("Settings", "%1 can't be read (%2) and is left as it is"),
                                {file_.string(), why});
        return;
    }
    JsonParse parsed = parseJson(contents.text);
    std::string problem = parsed.error;
    if (parsed.value && parsed.value->isDict()) {
        values_ = *parsed.value->asDict();
        return;
    }
    if (parsed.value) {
        problem = translate("Settings", "it holds no settings object");
    }
    const auto aside = asideName(file_, kDamagedMark);
    std::error_code ec;
    if (aside) {
        std::filesystem::rename(file_, *aside, ec);
    } else {
        ec = std::make_error_code(std::errc::file_exists);
    }
    if (ec) {
        //: %1 is the settings file, %2 what is wrong in it, %3 the system's reason.
        openProblem_ = fillIn(
            translate("Settings", "Couldn't read settings from %1 (%2) nor move it aside: %3"),
            {file_.string(), problem, ec.message()});
        blockedReason_ = fillIn(translate("Settings", "%1 is damaged and could not be moved aside"),
                                {file_.string()});
        return;
    }
    recoveredFrom_ = *aside;
    //: %1 says what is wrong in the file; %2 is the name it was kept under.
    openProblem_ = fillIn(translate("Settings",
                                    "Couldn't read settings (%1); the file was kept as "
                                    "%2 and settings start afresh"),
                          {problem, aside->string()});
}

std::optional<PlistValue> JsonSettingsStore::value(std::string_view key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> JsonSettingsStore::setValue(std::string_view key, PlistValue value) {
    if (blockedReason_) {
        return fillIn(translate("Settings", "Couldn't save settings: %1"), {*blockedReason_});
    }
    // What the file cannot hold is refused now, as it would sit in the way of
    // every later write. Checked as the file would nest it, one level down.
    const JsonText json = toJson(PlistValue(PlistValue::Dict{{std::string(key), value}}));
    if (!json.text) {
        //: %1 is the setting's name, %2 what the file can't hold.
        return fillIn(
            translate("Settings", "Couldn't save settings: the value for \"%1\" holds %2"),
            {key, json.error});
    }
    values_.insert_or_assign(std::string(key), std::move(value));
    unwritten_ = true;
    if (writing_.timers == nullptr) {
        write();
    } else if (!writeScheduled_) {
        // Replaces the handle of a delay that has already fired.
        writeTimer_ = writing_.timers->scheduleOnce(kWriteDelay, [this] {
            writeScheduled_ = false;
            write();
        });
        writeScheduled_ = true;
    }
    return std::nullopt;
}

KeptCopy JsonSettingsStore::keepCopy() {
    const JsonText json = toJson(PlistValue(values_));
    if (!json.text) {
        return {std::nullopt, fillIn(translate("Settings", "they hold %1"), {json.error})};
    }
    if (auto earlier = keptBefore(*json.text)) {
        return {earlier->string(), {}};
    }
    const auto name = asideName(file_, kKeptMark);
    if (!name) {
        return {std::nullopt,
                fillIn(translate("Settings", "no free name beside %1"), {file_.string()})};
    }
    if (const int error = makeFolders(file_.parent_path(), 0700)) {
        return {std::nullopt, osErrorText(error)};
    }
    if (auto failure = writing_.writer(*name, *json.text)) {
        return {std::nullopt, *failure};
    }
    return {name->string(), {}};
}

std::optional<std::filesystem::path> JsonSettingsStore::keptBefore(
    std::string_view contents) const {
    const std::string prefix = file_.filename().string() + std::string(kKeptMark);
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(file_.parent_path(), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (!path.filename().string().starts_with(prefix)) {
            continue;
        }
        const FileContents kept = readWholeFile(path, contents.size());
        if (kept.error == 0 && kept.text == contents) {
            return path;
        }
    }
    return std::nullopt;
}

void JsonSettingsStore::flush() {
    if (writeScheduled_) {
        writeTimer_.reset();
        writeScheduled_ = false;
    }
    write();
}

void JsonSettingsStore::write() {
    if (!unwritten_) {
        return;
    }
    const auto saved = [this](std::optional<std::string> failure) {
        if (writing_.saved) {
            writing_.saved(failure);
        }
    };
    const auto notSaved = [&saved](std::string_view why) {
        saved(fillIn(translate("Settings", "Couldn't save settings: %1"), {why}));
    };
    const JsonText json = toJson(PlistValue(values_));
    if (!json.text) {
        // Every value was checked as it came; this is only a safeguard.
        return notSaved(fillIn(translate("Settings", "they hold %1"), {json.error}));
    }
    if (const int error = makeFolders(file_.parent_path(), 0700)) {
        return notSaved(osErrorText(error));
    }
    if (auto failure = writing_.writer(file_, *json.text)) {
        return notSaved(*failure);
    }
    unwritten_ = false;
    saved(std::nullopt);
}

std::filesystem::path JsonSettingsStores::defaultFolder() {
    const auto configHome = XdgDirs::fromEnvironment().configHome;
    return configHome.empty() ? std::filesystem::path{} : configHome / "morvale";
}

JsonSettingsStores::JsonSettingsStores(std::filesystem::path folder, SettingsFileWriter writer,
                                       Timers* timers)
    : folder_(std::move(folder)), writer_(std::move(writer)), timers_(timers) {
    if (!writer_) {
        writer_ = [](const std::filesystem::path& file, std::string_view text) {
            return replaceFileAtomically(file, text, 0600);
        };
    }
    // A failure here shows at the first write, with the reason.
    (void)makeFolders(folder_, 0700);
    standard_ = makeStore(folder_ / (std::string(kStandardName) + ".json"));
}

std::unique_ptr<JsonSettingsStore> JsonSettingsStores::makeStore(
    const std::filesystem::path& file) {
    auto saved = [this](const std::optional<std::string>& failure) {
        if (observer_) {
            observer_(failure);
        }
    };
    return std::make_unique<JsonSettingsStore>(file,
                                               SettingsWriting{writer_, timers_, std::move(saved)});
}

void JsonSettingsStores::flush() {
    standard_->flush();
    for (auto& [name, store] : suites_) {
        store->flush();
    }
}

bool JsonSettingsStores::isValidSuiteName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name.front() == '.' || name == kStandardName) {
        return false;
    }
    for (const char c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

SettingsStore* JsonSettingsStores::suite(std::string_view name) {
    if (const auto it = suites_.find(name); it != suites_.end()) {
        return it->second.get();
    }
    if (!isValidSuiteName(name) || folder_.empty() || makeFolders(folder_, 0700) != 0) {
        return nullptr;
    }
    auto store = makeStore(folder_ / (std::string(name) + ".json"));
    if (store->writesBlocked()) {
        return nullptr;
    }
    return suites_.emplace(std::string(name), std::move(store)).first->second.get();
}

std::optional<std::string> JsonSettingsStores::loadProblem() const {
    std::string text;
    const auto add = [&text](const JsonSettingsStore& store) {
        if (store.openProblem()) {
            text += text.empty() ? "" : "\n";
            text += *store.openProblem();
        }
    };
    add(*standard_);
    for (const auto& [name, store] : suites_) {
        add(*store);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace morvale::LinuxDesktop
