// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <array>

#include "TempDir.h"
#include "platform/linux/DesktopAppIdentifier.h"
#include "platform/linux/DesktopRunningApplications.h"
#include "platform/linux/LinuxProcessInfo.h"
#include "platform/linux/SystemdUnit.h"

namespace morvale::LinuxDesktop {
namespace {

using testing::TempDir;
using testing::writeFile;

// The kernel's short name is read whole: a name holding a newline is not cut
// there, which would give it another program's name and stored volume.
TEST(LinuxProcessInfo, ShortNamesAreReadWhole) {
    std::array<char, 16> before{};
    ASSERT_EQ(::prctl(PR_GET_NAME, before.data()), 0);
    const LinuxProcessInfo info;
    std::array<char, 256> buffer{};
    for (const char* name : {"player\nbox", "player\n", "\u202Etxt.exe"}) {
        ASSERT_EQ(::prctl(PR_SET_NAME, name), 0);
        const int n = info.procName(info.ownPid(), buffer.data(), buffer.size());
        EXPECT_EQ(std::string(buffer.data(), static_cast<std::size_t>(n)), name);
    }
    ::prctl(PR_SET_NAME, before.data());
}

// Units of the kinds the identifier's own tests do not start processes in.
TEST(SystemdUnit, DesktopIdsComeFromAppAndSnapUnits) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"app-gnome-org.gnome.Rhythmbox3@abc.service",
         {"org.gnome.Rhythmbox3.desktop", "gnome-org.gnome.Rhythmbox3.desktop"}},
        {"app-flatpak-org.mozilla.firefox-1234.scope",
         {"org.mozilla.firefox.desktop", "flatpak-org.mozilla.firefox.desktop"}},
        {"app-gnome-evil\\x2f..\\x2fx-1.scope", {}},  // an escaped "/" makes no file name
        {"vte-spawn-0b1c.scope", {}},
        {"app.slice", {}},
    };
    for (const auto& [unit, ids] : cases) {
        EXPECT_EQ(desktopIdsForUnit(unit), ids) << unit;
    }
}

TEST(SystemdUnit, TheInnermostUnitOfTheProcessCounts) {
    const std::string apps = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        // A terminal's slice carries its ID; the shell's own scope does not.
        {apps + "app-org.gnome.Terminal.slice/vte-spawn-0b1c.scope\n", "vte-spawn-0b1c.scope"},
        {"12:cpu,cpuacct:/user.slice\n1:name=systemd:/user.slice/user-1000.slice/session-2.scope\n",
         "session-2.scope"},
        {"0::/\n", std::nullopt},
    };
    for (const auto& [cgroup, unit] : cases) {
        EXPECT_EQ(innermostUnit(cgroup), unit) << cgroup;
    }
}

// A fake /proc with processes and installed applications, both made by the test.
struct IdentityFixture : ::testing::Test {
    TempDir root;
    std::filesystem::path proc = root / "proc";
    std::filesystem::path apps = root / "share/applications";
    std::unique_ptr<DesktopEntryIndex> index;
    std::unique_ptr<DesktopAppIdentifier> identifier;

    void SetUp() override {
        install("firefox-esr.desktop", "Firefox ESR", "Exec=/usr/lib/firefox-esr/firefox-esr %u\n");
        install("org.gnome.Rhythmbox3.desktop", "Rhythmbox", "Exec=rhythmbox %U\n");
        install("org.mozilla.firefox.desktop", "Firefox (Flatpak)",
                "Exec=/usr/bin/flatpak run org.mozilla.firefox\n");
        install("org.kde.konsole.desktop", "Konsole", "Exec=konsole\n");
        install("firefox_firefox.desktop", "Firefox (Snap)", "Exec=/snap/bin/firefox\n");
        index = std::make_unique<DesktopEntryIndex>(
            DesktopEntryIndex::Options{{apps}, {}, std::chrono::milliseconds(0)});
        identifier = std::make_unique<DesktopAppIdentifier>(*index, ProcFs(proc));
    }

    void install(const std::string& id, const std::string& name, const std::string& extra) {
        writeFile(apps / id, "[Desktop Entry]\nType=Application\nName=" + name + "\n" + extra);
    }

    struct Process {
        std::int32_t pid;
        std::int32_t parent = 1;
        std::string exe;  // empty: not readable
        std::string cgroup = "0::/user.slice/user-1000.slice/session-2.scope\n";
        std::string flatpakApp;
    };

    void add(const Process& p) {
        const auto dir = proc / std::to_string(p.pid);
        writeStat(p.pid, p.parent, 1000);
        writeFile(dir / "cgroup", p.cgroup);
        if (!p.exe.empty()) {
            std::filesystem::create_symlink(p.exe, dir / "exe");
        }
        if (!p.flatpakApp.empty()) {
            writeFile(dir / "root/.flatpak-info",
                      "[Application]\nname=" + p.flatpakApp + "\nruntime=x\n");
        }
    }

    void writeStat(std::int32_t pid, std::int32_t parent, std::uint64_t start) {
        // The name holds a space and a parenthesis, as names may.
        writeFile(proc / std::to_string(pid) / "stat",
                  std::to_string(pid) + " (Web (Content)) S " + std::to_string(parent) +
                      " 1 1 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 12 0 " + std::to_string(start) +
                      " 1000000 500 18446744073709551615\n");
    }

    // The cgroup of a process in a unit of the user's systemd.
    static std::string unit(const std::string& name) {
        return "0::/user.slice/user-1000.slice/user@1000.service/app.slice/" + name + ".scope\n";
    }

    std::optional<std::string> idOf(std::int32_t pid) const {
        return identifier->desktopId({.pid = pid});
    }
};

TEST_F(IdentityFixture, EachSourceIsTriedInTurn) {
    add({.pid = 100, .exe = "/app/lib/firefox/firefox", .flatpakApp = "org.mozilla.firefox"});
    add({.pid = 101, .exe = "/usr/bin/x", .cgroup = unit("app-gnome-firefox\\x2desr-77")});
    add({.pid = 102, .exe = "/usr/lib/firefox-esr/firefox-esr"});
    add({.pid = 103,
         .exe = "/usr/bin/python3",
         .cgroup = unit("app-gnome-org.example.NotInstalled-5")});
    add({.pid = 104, .exe = "/usr/bin/x", .cgroup = unit("snap.firefox.firefox-3dcfaa86-bf58")});
    add({.pid = 105, .exe = "/usr/bin/rhythmbox (deleted)"});
    add({.pid = 106, .exe = "/usr/bin/unknown"});

    const std::pair<ClientHints, std::optional<std::string>> cases[] = {
        {{.pid = 100}, "org.mozilla.firefox.desktop"},
        {{.pid = 101}, "firefox-esr.desktop"},
        {{.pid = 102}, "firefox-esr.desktop"},
        {{.pid = 103}, "org.example.NotInstalled.desktop"},  // the unit's ID as last resort
        {{.pid = 104}, "firefox_firefox.desktop"},
        {{.pid = 105}, "org.gnome.Rhythmbox3.desktop"},
        {{.pid = 106}, std::nullopt},
        {{.pid = 999}, std::nullopt},  // no such process
        // The portal's word beats whatever the (perhaps sandbox-local) pid says.
        {{.pid = 101, .portalAppId = "org.mozilla.firefox"}, "org.mozilla.firefox.desktop"},
        {{.portalAppId = "org.example.Unlisted"}, "org.example.Unlisted.desktop"},
        {{.portalAppId = "firefox"}, "firefox_firefox.desktop"},
        {{.pid = 106, .portalAppId = "../etc"}, std::nullopt},
        // An installed unit ID beats the client's own claim; an unlisted one does not.
        {{.pid = 101, .applicationId = "org.gnome.Rhythmbox3"}, "firefox-esr.desktop"},
        {{.pid = 103, .applicationId = "org.gnome.Rhythmbox3"}, "org.gnome.Rhythmbox3.desktop"},
        {{.applicationId = "org.gnome.Rhythmbox3.desktop"}, "org.gnome.Rhythmbox3.desktop"},
        {{.applicationId = "org.example.Unlisted"}, std::nullopt},
        // The client's binary name serves when /proc cannot tell.
        {{.binary = "rhythmbox"}, "org.gnome.Rhythmbox3.desktop"},
        {{.pid = 106, .binary = "rhythmbox"}, std::nullopt},  // the real executable says otherwise
        {{}, std::nullopt},
    };
    for (const auto& [hints, id] : cases) {
        EXPECT_EQ(identifier->desktopId(hints), id)
            << hints.pid << " " << hints.portalAppId.value_or("-") << " "
            << hints.applicationId.value_or(hints.binary.value_or("-"));
    }
}

TEST_F(IdentityFixture, HelpersTakeTheirParentsApplicationButNotThroughAShell) {
    add({.pid = 200, .exe = "/usr/lib/firefox-esr/firefox-esr"});
    add({.pid = 201, .parent = 200, .exe = "/usr/lib/firefox-esr/crashhelper"});
    add({.pid = 202, .parent = 201, .exe = "/usr/lib/firefox-esr/media-helper"});
    add({.pid = 210, .exe = "/usr/bin/konsole"});
    add({.pid = 211, .parent = 210, .exe = "/usr/bin/bash"});
    add({.pid = 212, .parent = 211, .exe = "/usr/bin/paplay"});
    add({.pid = 220, .exe = "/usr/bin/gnome-shell"});
    add({.pid = 221, .parent = 220, .exe = "/usr/bin/some-game"});
    add({.pid = 230, .parent = 200});  // executable unreadable: its parent still tells

    // 211 and 212 started from a terminal, not the terminal; 221 launched by the desktop shell.
    for (const std::int32_t pid : {201, 202, 230})
        EXPECT_EQ(idOf(pid), "firefox-esr.desktop");
    for (const std::int32_t pid : {211, 212, 221})
        EXPECT_EQ(idOf(pid), std::nullopt) << pid;

    // A loop of parents ends.
    add({.pid = 400, .parent = 401, .exe = "/usr/bin/a"});
    add({.pid = 401, .parent = 400, .exe = "/usr/bin/b"});
    EXPECT_EQ(idOf(400), std::nullopt);
}

// A pid the system gave to a new process (a new start time) is read afresh,
// not answered with the earlier process's application.
TEST_F(IdentityFixture, AReusedPidIsIdentifiedAfresh) {
    add({.pid = 500, .exe = "/usr/bin/x", .cgroup = unit("app-gnome-firefox\\x2desr-1")});
    EXPECT_EQ(idOf(500), "firefox-esr.desktop");
    writeFile(proc / "500/cgroup", unit("app-gnome-org.gnome.Rhythmbox3-2"));
    writeStat(500, 1, 2000);
    EXPECT_EQ(idOf(500), "org.gnome.Rhythmbox3.desktop");
}

// An audio process's application comes from the desktop ID its backend found
// for it, without a second search by pid (which here would find nothing).
TEST_F(IdentityFixture, AnAudioProcesssApplicationIsItsDesktopIdsEntry) {
    install("org.example.Tray.desktop", "Tray", "Exec=tray\nNoDisplay=true\n");
    const DesktopRunningApplications applications(*identifier, *index);
    const struct {
        std::optional<std::string> desktopId;
        std::optional<RunningApplication> application;
    } cases[] = {
        {"org.gnome.Rhythmbox3.desktop", {{"Rhythmbox", ActivationPolicy::regular}}},
        {"org.example.Tray.desktop", {{"Tray", ActivationPolicy::accessory}}},
        {"org.example.Gone.desktop", std::nullopt},  // a unit's ID, not installed
        {std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = applications.applicationOfAudioProcess(4000, c.desktopId);
        ASSERT_EQ(got.has_value(), c.application.has_value()) << c.desktopId.value_or("(none)");
        if (got) {
            EXPECT_EQ(got->localizedName, c.application->localizedName);
            EXPECT_EQ(got->activationPolicy, c.application->activationPolicy);
        }
    }
}

// The name a client declares: its application name unless that is just its
// program's, else its application id. (A name of its own, and its program's
// name, are the real servers' tests to show.)
TEST(DeclaredName, IsTheApplicationNameUnlessItIsTheProgramsThenTheId) {
    const struct {
        ClientHints hints;
        std::optional<std::string> name;
    } cases[] = {
        {{.applicationId = "org.example.Game", .binary = "java", .applicationName = "java"},
         "org.example.Game"},
        {{.applicationId = "", .binary = "java", .applicationName = ""}, std::nullopt},
        {{.applicationName = "Tunebox"}, "Tunebox"},  // no binary told
        {{.binary = "x", .applicationName = "Caf\xE9"}, "Caf\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(declaredName(c.hints), c.name) << c.hints.applicationName.value_or("(none)");
    }
}

}  // namespace
}  // namespace morvale::LinuxDesktop
