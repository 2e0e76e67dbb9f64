// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio/TapSession.h"
#include "catalog/AppEntry.h"
#include "catalog/Entries.h"
#include "catalog/Volumes.h"
#include "model/ErrorLine.h"
#include "model/SessionCell.h"
#include "model/SessionExecutor.h"
#include "model/Settings.h"
#include "model/WillChange.h"
#include "platform/OutputRoute.h"
#include "platform/Platform.h"

namespace morvale {

class ModelTesting;

// The application's one state: the rows to show, the per-application volumes,
// the call-ducking boost, the login-item state, the last error and the running
// tap sessions. Everything here runs on the main thread, except the calls
// that start, change and end tap sessions: those may wait on the sound
// server, and run as jobs on the session executor, whose results come back
// to the main thread. The rows and volumes never wait for them.
//
// Views read the five published values and redraw when objectWillChange()
// fires; they change them only through the operations below.
class Model {
public:
    static constexpr std::chrono::milliseconds refreshInterval{1500};

    // Chooses the platform the shared model is built on, and where its session
    // jobs run; call once, before the first shared(). The services and the
    // executor must outlive the process's use of the model.
    static void configure(const Platform& platform, SessionExecutor& sessionJobs);

    // The process-wide model, created on first use (exactly once, whichever
    // threads ask) and never destroyed.
    static Model& shared();

    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    ~Model();

    // ---- Published state ----
    WillChangeChannel& objectWillChange() { return willChange_; }
    const std::vector<AppEntry>& entries() const { return *entries_; }
    const Volumes& volumes() const { return *volumes_; }
    const std::optional<std::string>& errorText() const { return *errorText_; }
    bool launchAtLogin() const { return *launchAtLogin_; }
    double duckBoostDB() const { return *duckBoostDB_; }
    // The output devices a row can send its application to, as of the last
    // refresh, in the audio system's order.
    struct OutputDevice {
        std::string uid;
        std::string name;  // for people; the UID when the device has none
        friend bool operator==(const OutputDevice&, const OutputDevice&) = default;
    };
    const std::vector<OutputDevice>& outputDevices() const { return *outputDevices_; }
    const Settings::Outputs& outputs() const { return *outputs_; }
    const Settings::KeySet& hiddenKeys() const { return *hidden_; }

    // ---- Catalog ----
    // Rebuilds and publishes the rows from a fresh snapshot of the audio
    // clients, then brings the tap sessions in line with them.
    void refresh();

    // ---- Volumes, mute and boost ----
    // The key's volume as it sounds and shows: the stored one within 0 to 1
    // (1 when none is stored, or the stored one is not finite). A key without
    // one of its own whose process declared its name has the one stored under
    // its program's key; setting its volume moves that one to it.
    double volume(const std::string& key) const;
    void setVolume(const std::string& key, double value);
    // Mute sets the volume to 0 and remembers the one before, which unmuting
    // (the same call) sets again, or full volume when none is remembered. A
    // volume set by hand forgets it.
    void toggleMute(const std::string& key);
    // The volume unmuting returns to, while the key is muted (its volume is 0
    // by a mute); none otherwise.
    std::optional<double> mutedLevel(const std::string& key) const;
    void setDuckBoost(double boostDB);
    // The boost as it sounds and shows: duckBoostDB within the slider's 0 to
    // 30 dB (0 when it is not finite).
    double appliedBoostDB() const;
    // A call is playing: the call row plays, or an application records while
    // it plays.
    bool callActive() const;
    // How far the system lowers others during a call, where it tells.
    std::optional<double> callDuckingDB() const;
    // The boost that sounds during a call: appliedBoostDB, at most the
    // ducking the system applies (see VolumeRules::liftDB).
    double liftedBoostDB() const;
    // The boost is set, but the system lowers nothing during calls: the
    // boost has nothing to undo, and lifts nothing.
    bool boostHasNothingToUndo() const;
    // A call is playing and the lifted boost is above 0: playing applications
    // are lifted to undo the ducking.
    bool boostedCall() const;
    // The call row's name on this platform, as its row shows it.
    const std::string& callRowName() const { return platform_.grouping.calls.name; }
    // The linear gain for a volume: volume squared, in single precision.
    static float gain(double volume);

    // ---- Outputs ----
    // The device the user sent the key's application to (a UID), kept while
    // the device is away; absent: it follows the default output.
    std::optional<std::string> chosenOutput(const std::string& key) const;
    // The device the key's application plays on now, as the audio system
    // tells (another mixer may have moved it): the UID of the first of its
    // processes that is connected to one; absent while none is.
    std::optional<std::string> playingOutput(const std::string& key) const;
    // The default output's UID; absent when there is none.
    std::optional<std::string> defaultOutput() const;
    // Sends every stream of the key's application to the device (absent: the
    // default output, as if it had never been sent anywhere), now and at every
    // start, and remembers it.
    void setOutput(const std::string& key, const std::optional<std::string>& deviceUID);

    // ---- Hidden rows ----
    bool isHidden(const std::string& key) const { return hidden_->contains(key); }
    // Hides or shows the key's row; its volume and output apply either way.
    void setHidden(const std::string& key, bool hidden);

    // ---- Login item ----
    void toggleLaunchAtLogin();

    // ---- Sessions ----
    // Ends every tap session, and waits until each has ended (every stream
    // back at its own level): for quitting.
    void stopAll();

private:
    friend class ModelTesting;

    Model(const Platform& platform, SessionExecutor& sessionJobs);

    void watchSettingsSaves();
    void loadSettings();
    void migrateLegacySettings(SettingsStore& standard);
    std::string keepUnusableVolumes(std::string why);  // a copy: it may be unkeptVolumes_
    void saveVolumes();
    // Ends the key's use of its program's key's volume; returns that key when
    // its volume is to be given up.
    std::optional<std::string> stopInheriting(const std::string& key);
    bool writeSetting(SettingsStore& store, std::string_view key, PlistValue value);
    void scheduleRefresh();
    void listenForProcessChanges();
    void registerTerminationHook();
    struct ApplyContext;
    ApplyContext applyContext(const std::set<std::string, std::less<>>& keys) const;
    void applySessions();
    void apply(const std::string& key);
    void apply(const std::string& key, const ApplyContext& context);

    // A session as the main thread knows it: starting until its start job
    // reports back, then running; ending once it leaves sessions_ (its stop
    // job is queued). What it was last asked to play stands for what it plays.
    struct Session {
        std::shared_ptr<SessionCell> cell;
        std::vector<AudioObjectID> objects;
        std::string deviceUID;
        // A running tap's gain, set here at once without a job; null while
        // starting and for a gain stage (whose gain is a call to the system).
        std::shared_ptr<Gain> directGain;
        bool running = false;
    };
    using Sessions = std::map<std::string, Session, std::less<>>;
    void startSession(const std::string& key, SessionRequest request, float gain);
    void changeSession(const std::string& key, Session& session, SessionRequest request);
    void setSessionGain(Session& session, float gain);
    void endSession(Sessions::iterator session);
    // A start or change job's result, on the main thread.
    void sessionSettled(const std::string& key, const SessionCell& cell, SessionOutcome outcome);
    void reportError(ErrorLine::Kind kind, std::string text);
    void clearError(ErrorLine::Kind kind);
    void reportSettingsProblem(std::string text);
    void settingsSaved(const std::optional<std::string>& failure);
    void reportAvailability();
    void readOutputDevices();
    // Brings the audio system's routes in line with the chosen outputs and
    // the rows' processes; sets them only when they changed.
    void applyRoutes();
    // A routes job's result, on the main thread.
    void routesSettled(const OutputRoutes& routes, OSStatus status);

    Platform platform_;
    WillChangeChannel willChange_;

    Published<std::vector<AppEntry>> entries_;
    Published<Volumes> volumes_;
    Published<std::optional<std::string>> errorText_;
    Published<bool> launchAtLogin_;
    Published<double> duckBoostDB_;
    Published<std::vector<OutputDevice>> outputDevices_;
    Published<Settings::Outputs> outputs_;
    Published<Settings::KeySet> hidden_;
    // The routes last handed to the audio system; none before the first.
    std::optional<OutputRoutes> appliedRoutes_;
    // The routes a job is handing to the audio system now, if any.
    std::optional<OutputRoutes> routesInFlight_;

    SessionExecutor& sessionJobs_;
    Sessions sessions_;
    std::unique_ptr<TimerHandle> timer_;
    AudioObjectPropertyListenerID processListener_ = nullptr;
    LooksCache looks_;
    std::uint64_t looksGeneration_ = 0;  // the workspace's, when looks_ was learnt
    std::map<std::string, double, std::less<>> beforeMute_;
    // Keys of the last refresh whose volume is the one stored under their
    // program's key (see InheritedVolumes), with that key.
    std::map<std::string, std::string, std::less<>> inheritedVolumes_;
    ErrorLine errors_;  // what errorText shows
    // Settings changes handed to the store so far, and how many there were
    // when the standing settings problem was reported: only saving a change
    // made after it shows that it is over.
    std::uint64_t settingsChanges_ = 0;
    std::uint64_t settingsProblemAt_ = 0;
    // Why the stored volumes could not be used, while no copy of them could be
    // kept: until one is, they are not replaced.
    std::optional<std::string> unkeptVolumes_;

    // Jobs queued for later turns of the main loop hold this weakly, so a job
    // that outlives its model (only test models ever end) does nothing.
    std::shared_ptr<Model*> self_;
};

}  // namespace morvale
