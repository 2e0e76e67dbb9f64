// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDir.h"
#include "platform/linux/DesktopEntryIndex.h"

namespace morvale::LinuxDesktop {
namespace {

using testing::TempDir;
using testing::writeFile;

std::string app(std::string_view name, std::string_view extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + std::string(name) + "\n" +
           std::string(extra);
}

TEST(DesktopEntry, ExecProgramIsTheUnquotedFirstArgument) {
    const std::pair<const char*, const char*> cases[] = {
        {"firefox-esr %u", "firefox-esr"},
        {"\"/opt/My App/bin/my app\" %F", "/opt/My App/bin/my app"},
        {"\"/opt/q\\\\\"d/prog\"", "/opt/q\"d/prog"},  // \\" in the file: an escaped quote
        {"env GDK_BACKEND=x11 LANG=C /usr/bin/prog --x", "/usr/bin/prog"},
        {"/usr/bin/env FOO=1 prog", "prog"},
        {"env -u FOO prog", ""},
        {"env", ""},
        {"\"unterminated", ""},
    };
    for (const auto& [exec, program] : cases) {
        EXPECT_EQ(execProgram(exec), program) << exec;
    }
}

TEST(DesktopEntry, OnlyWellFormedApplicationsAreRead) {
    const auto read = [](std::string_view text) { return parseDesktopEntry(text, {}); };
    EXPECT_TRUE(read(app("A")));
    EXPECT_TRUE(read("# comment\n\n[Desktop Entry]\nName = A\nType= Application\n[Other]\nx=y\n"));
    EXPECT_FALSE(read("[Desktop Entry]\nName=A\n"));                    // no Type
    EXPECT_FALSE(read("[Desktop Entry]\nType=Link\nName=A\nURL=x\n"));  // not an app
    EXPECT_FALSE(read("[Other]\nType=Application\nName=A\n"));
    // A bare Hidden=true entry still counts: it hides the same ID elsewhere.
    const auto hidden = read("[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(hidden);
    EXPECT_TRUE(hidden->hidden);
    EXPECT_FALSE(hidden->shownInMenus());
}

struct IndexFixture : ::testing::Test {
    TempDir root;
    std::filesystem::path home = root / "home/applications";
    std::filesystem::path local = root / "local/applications";
    std::filesystem::path system = root / "usr/applications";

    DesktopEntryIndex::Options options() const {
        return {{home, local, system}, localeSuffixes("de_DE.UTF-8"), std::chrono::milliseconds(0)};
    }

    // Moves a folder's modification time on, as a new file would, however
    // coarse the file system's clock.
    static void touchFolder(const std::filesystem::path& folder) {
        std::filesystem::last_write_time(
            folder, std::filesystem::last_write_time(folder) + std::chrono::seconds(5));
    }
};

TEST_F(IndexFixture, EntriesComeFromAllFoldersAndTheMoreImportantOneWins) {
    writeFile(system / "firefox-esr.desktop", app("Firefox ESR",
                                                  "Name[de]=Firefox (de)\nIcon=firefox-esr\n"
                                                  "Exec=/usr/lib/firefox-esr/firefox-esr %u\n"));
    writeFile(system / "org.gnome.Rhythmbox3.desktop",
              app("Rhythmbox", "Exec=rhythmbox %U\nIcon=/usr/share/pixmaps/rb.png\n"));
    writeFile(local / "org.gnome.Rhythmbox3.desktop", app("Local Rhythmbox", "Exec=rhythmbox\n"));
    writeFile(home / "org.gnome.Rhythmbox3.desktop", "[Desktop Entry]\nHidden=true\n");
    writeFile(system / "kde/org.kde.konsole.desktop", app("Konsole", "Exec=konsole\n"));
    writeFile(system / "broken.desktop", "\x01\x02 garbage");
    writeFile(home / "mpv.desktop", "[Desktop Entry]\nType=Application\n");  // no Name
    writeFile(system / "mpv.desktop", app("mpv", "Exec=mpv -- %U\nNoDisplay=true\n"));
    writeFile(system / "notes.txt", app("Not an entry"));
    std::filesystem::create_directories(system / "unreadable.desktop");
    std::filesystem::create_symlink(system, system / "loop");

    DesktopEntryIndex index(options());
    const auto entries = index.entries();

    const DesktopEntry* firefox = entries->byId("firefox-esr.desktop");
    ASSERT_NE(firefox, nullptr);
    EXPECT_EQ(firefox->name, "Firefox (de)");
    EXPECT_EQ(firefox->path, (system / "firefox-esr.desktop").string());
    EXPECT_EQ(entries->byProgram("firefox-esr"), firefox);

    // The user's Hidden entry hides both system ones.
    const DesktopEntry* rhythmbox = entries->byId("org.gnome.Rhythmbox3.desktop");
    ASSERT_NE(rhythmbox, nullptr);
    EXPECT_TRUE(rhythmbox->hidden);
    EXPECT_EQ(rhythmbox->path, (home / "org.gnome.Rhythmbox3.desktop").string());

    EXPECT_NE(entries->byId("kde-org.kde.konsole.desktop"), nullptr);
    EXPECT_EQ(entries->byId("broken.desktop"), nullptr);
    // A broken entry hides nothing: the next folder's one is used.
    ASSERT_NE(entries->byId("mpv.desktop"), nullptr);
    EXPECT_TRUE(entries->byId("mpv.desktop")->noDisplay);
    EXPECT_EQ(entries->all().size(), 4u);
}

TEST_F(IndexFixture, ProgramsMatchTheBestOfSeveralEntries) {
    writeFile(system / "a-tool.desktop",
              app("Tool helper", "Exec=tool --helper\nNoDisplay=true\n"));
    writeFile(system / "b-tool.desktop", app("Tool", "Exec=tool\n"));
    writeFile(system / "tool.desktop", app("Tool main", "Exec=tool\n"));
    writeFile(system / "viewer.desktop", app("Viewer", "TryExec=viewer-bin\nExec=viewer\n"));
    writeFile(system / "script.desktop", app("Script", "Exec=python3 /usr/share/s/s.py\n"));
    writeFile(system / "flatpak.desktop", app("Sandboxed", "Exec=/usr/bin/flatpak run org.x.Y\n"));
    DesktopEntryIndex index(options());
    const auto entries = index.entries();
    const auto match = [&](const char* program) {
        const DesktopEntry* entry = entries->byProgram(program);
        return entry != nullptr ? entry->id : "(none)";
    };
    EXPECT_EQ(match("tool"), "tool.desktop");
    EXPECT_EQ(match("viewer-bin"), "viewer.desktop");
    EXPECT_EQ(match("python3"), "(none)");  // an interpreter names no application
    EXPECT_EQ(match("flatpak"), "(none)");
}

TEST_F(IndexFixture, IsReadAgainOnlyWhenAFolderChanged) {
    writeFile(system / "a.desktop", app("A"));
    DesktopEntryIndex index(options());
    EXPECT_EQ(index.entries()->all().size(), 1u);
    EXPECT_FALSE(index.refreshIfChanged());
    EXPECT_EQ(index.builds(), 1u);

    writeFile(system / "sub/b.desktop", app("B"));  // in a new subfolder
    touchFolder(system);
    EXPECT_NE(index.entries()->byId("sub-b.desktop"), nullptr);
    EXPECT_EQ(index.builds(), 2u);

    writeFile(home / "a.desktop", app("Mine"));  // a folder that did not exist
    EXPECT_TRUE(index.refreshIfChanged());
    EXPECT_EQ(index.entries()->byId("a.desktop")->name, "Mine");
}

}  // namespace
}  // namespace morvale::LinuxDesktop
