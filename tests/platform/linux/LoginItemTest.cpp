// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/linux/KeyFile.h"
#include "platform/linux/XdgLoginItem.h"

namespace morvale::LinuxDesktop {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

struct LoginItemFixture : ::testing::Test {
    TempDir home;
    XdgDirs dirs{home / "config", {home / "etc/xdg"}, home / "data", {}};
    AutostartEntry entry{"io.github.morvale.Morvale", "Morvale", {"/opt/Morvale 1/bin/morvale"}};

    std::filesystem::path userEntry() const {
        return home / "config/autostart/io.github.morvale.Morvale.desktop";
    }
    std::filesystem::path systemEntry() const {
        return home / "etc/xdg/autostart/io.github.morvale.Morvale.desktop";
    }
};

TEST_F(LoginItemFixture, RegisterWritesAnEntryAndUnregisterRemovesOrHidesIt) {
    XdgLoginItem item(entry, dirs);
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);

    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);  // read back from the file

    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_FALSE(std::filesystem::exists(userEntry()));
    EXPECT_EQ(item.unregisterItem(), std::nullopt);  // nothing to remove is no failure

    // A system-wide entry is not ours to remove: a hidden user entry switches it
    // off, and registering again switches it on.
    writeFile(systemEntry(), "[Desktop Entry]\nType=Application\nExec=morvale\n");
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_TRUE(std::filesystem::exists(systemEntry()));
    EXPECT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
}

TEST_F(LoginItemFixture, DisabledEntriesDoNotCountAsEnabled) {
    const std::string app = "[Desktop Entry]\nType=Application\nExec=morvale\n";
    const std::pair<std::string, LoginItemStatus> cases[] = {
        {app, LoginItemStatus::enabled},
        {app + "Hidden=true\n", LoginItemStatus::notRegistered},
        {app + "X-GNOME-Autostart-enabled=false\n", LoginItemStatus::notRegistered},
        {app + "X-GNOME-Autostart-enabled=true\n", LoginItemStatus::enabled},
        {"not a desktop entry", LoginItemStatus::notRegistered},
    };
    for (const auto& [text, status] : cases) {
        writeFile(userEntry(), text);
        EXPECT_EQ(XdgLoginItem(entry, dirs).status(), status) << text;
    }
}

TEST_F(LoginItemFixture, ArgumentsAreQuotedForTheExecKey) {
    const struct {
        std::vector<std::string> command;
        const char* exec;  // as the file holds it
    } cases[] = {
        {{"morvale"}, "morvale"},
        {{"/usr/bin/morvale", "--hidden"}, "/usr/bin/morvale --hidden"},
        {{"/a b/morvale"}, "\"/a b/morvale\""},
        {{"/x/$HOME`id`\"q\""}, "\"/x/\\\\$HOME\\\\`id\\\\`\\\\\"q\\\\\"\""},
        {{"/x/back\\slash"}, "\"/x/back\\\\\\\\slash\""},
        {{"/x/100%"}, "/x/100%%"},
    };
    for (const auto& c : cases) {
        XdgLoginItem item({"io.github.morvale.Morvale", "Morvale", c.command}, dirs);
        const auto group = readKeyFileGroup(item.entryText().value_or(""), "Desktop Entry");
        EXPECT_EQ(group.value_or(KeyFileGroup{})["Exec"], c.exec) << c.command[0];
    }
}

TEST_F(LoginItemFixture, FailuresComeWithTheSystemsReason) {
    // The autostart folder's place is taken by a file.
    writeFile(home / "config/autostart", "");
    XdgLoginItem item(entry, dirs);
    const auto failure = item.registerItem();
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("Not a directory"), std::string::npos) << *failure;
    std::filesystem::remove(home / "config/autostart");

    // Something that is not a file sits where the entry would be removed.
    std::filesystem::create_directories(userEntry() / "x");
    const auto removal = item.unregisterItem();
    ASSERT_TRUE(removal);
    EXPECT_NE(removal->find("Is a directory"), std::string::npos) << *removal;

    // A program path that would add a line of its own to the entry is refused.
    EXPECT_TRUE(XdgLoginItem({"io.x", "Morvale", {"a\nExec=evil"}}, dirs).registerItem());
}

}  // namespace
}  // namespace morvale::LinuxDesktop
