// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/linux/FileIo.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/TempDir.h"
#include "platform/pipewire/memory/GainJournal.h"

namespace morvale::pipewire {
namespace {

namespace fs = std::filesystem;

using TempFolder = LinuxDesktop::testing::TempDir;

StreamKey musicKey() {
    return {"Output/Audio:media.role:Music",
            {{"media.class", "Stream/Output/Audio"}, {"media.role", "Music"}}};
}

StreamKey oddKey() {
    // Every character the format must carry: spaces, '=', '%', a newline, UTF-8.
    return {"Output/Audio:media.name:a b=c%d\ne ü",
            {{"media.class", "Stream/Output/Audio"}, {"media.name", "a b=c%d\ne ü"}}};
}

TEST(GainJournal, WhatWillBeSetIsOnDiskBeforeWillSetReturns) {
    TempFolder folder;
    const std::string path = (folder / "state/morvale/pipewire-gains").string();
    GainJournal journal(path);
    journal.setDaemon(342621524);
    ASSERT_TRUE(journal.willSet(51, musicKey()));
    ASSERT_TRUE(journal.willSet(54, oddKey()));

    const JournalContents read = readJournal(path);
    EXPECT_TRUE(read.isJournal);
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(read.daemon, 342621524u);
    EXPECT_EQ(read.nodes.at(51), musicKey().text);
    EXPECT_EQ(read.nodes.at(54), oddKey().text);
    EXPECT_EQ(read.keys.at(oddKey().text), oddKey());
    // It names its owner, so that a second start leaves it alone.
    EXPECT_EQ(read.owner, thisProcess());
    EXPECT_TRUE(read.owner && ownerRuns(*read.owner));
    // Nobody else reads what this user's streams were.
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(JournalOwnerRuns, OnlyTheSameLiveProcessCounts) {
    const struct {
        const char* what;
        JournalOwner owner;
        bool runs;
    } cases[] = {
        {"this process", *thisProcess(), true},
        {"this pid, another start (the pid was reused)",
         {thisProcess()->pid, thisProcess()->startTime + 1},
         false},
        {"no such pid", {2147483646, 1}, false},
        {"pid 1 with a made-up start", {1, 999999999999}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ownerRuns(c.owner), c.runs) << c.what;
    }
}

TEST(GainJournal, AKilledOwnerLeftAsAZombieDoesNotRun) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    // Not reaped yet: a zombie, as a killed program is until its parent reaps it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto stat = LinuxDesktop::ProcFs().stat(child);
    ASSERT_TRUE(stat.has_value());
    EXPECT_FALSE(ownerRuns({child, stat->startTime}));
    ::waitpid(child, nullptr, 0);
}

// An earlier run's journal is kept, and a node released goes with the next
// write while its key stays: the stored value is still ours to put back.
// Clearing removes the file, and a missing file is an empty journal.
TEST(GainJournal, AnEarlierRunsJournalIsKeptUntilCleanedUp) {
    TempFolder folder;
    const std::string path = (folder / "gains").string();
    const JournalContents none = readJournal(path);
    EXPECT_TRUE(none.isJournal && none.problems.empty() && none.nodes.empty());
    {
        GainJournal earlier(path);
        earlier.setDaemon(1);
        earlier.willSet(52, musicKey());
        earlier.released(52);
        earlier.willSet(51, musicKey());
    }
    GainJournal next(path);
    next.setDaemon(1);
    next.willSet(70, oddKey());
    const JournalContents read = readJournal(path);
    EXPECT_TRUE(read.nodes.contains(51)) << "same daemon: the node may still be lowered";
    EXPECT_FALSE(read.nodes.contains(52));
    EXPECT_TRUE(read.keys.contains(musicKey().text));

    // Another daemon instance: the old serials mean nothing there, the keys do.
    GainJournal afterRestart(path);
    afterRestart.setDaemon(2);
    afterRestart.willSet(3, oddKey());
    const JournalContents restarted = readJournal(path);
    EXPECT_EQ(restarted.nodes.size(), 1u);
    EXPECT_TRUE(restarted.nodes.contains(3));
    EXPECT_TRUE(restarted.keys.contains(musicKey().text));
    EXPECT_TRUE(afterRestart.clear());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(afterRestart.clear());  // twice is fine
}

// A folder that cannot be written to (root writes anyway), or a file where
// the folder should be: reported, never thrown.
TEST(GainJournal, AFailedWriteIsReported) {
    TempFolder folder;
    fs::create_directories(folder / "locked");
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    std::ofstream(folder / "file") << "x";
    for (const auto& [path, error] :
         {std::pair{"locked/gains", "cannot write"}, std::pair{"file/gains", "cannot make"}}) {
        if (std::string(path) == "locked/gains" && ::geteuid() == 0) {
            continue;
        }
        GainJournal journal((folder / path).string());
        EXPECT_FALSE(journal.willSet(1, musicKey())) << path;
        EXPECT_NE(journal.lastError().find(error), std::string::npos) << journal.lastError();
    }
}

const std::string header = "morvale-pipewire-gains 1\n";

// Damaged or hostile content: read what can be read, say what cannot, never crash.
TEST(DamagedJournal, KeepsWhatItCanAndReportsTheRest) {
    const struct {
        const char* what;
        std::string text;
        bool isJournal;
        std::size_t nodes, keys, problems;
    } cases[] = {
        {"whole", header + "owner 7 9\ndaemon 5\nkey K media.role=Music\nnode 3 K\n", true, 1, 1,
         0},
        {"owner without start", header + "owner 7\nnode 3 K\n", true, 1, 0, 1},
        {"owner pid 0", header + "owner 0 9\n", true, 0, 0, 1},
        {"no final newline", header + "node 3 K", true, 1, 0, 0},
        {"empty file", "", false, 0, 0, 1},
        {"someone else's file", "root:x:0:0:root:/root:/bin/bash\n", false, 0, 0, 1},
        {"a later format", "morvale-pipewire-gains 2\nnode 3 K\n", false, 0, 0, 1},
        {"unknown record", header + "volume 3 0.3\nnode 4 K\n", true, 1, 0, 1},
        {"serial too big", header + "node 99999999999999999999999 K\n", true, 0, 0, 1},
        {"negative serial", header + "node -3 K\n", true, 0, 0, 1},
        {"bad escape", header + "node 3 K%4\nnode 4 K%zz\nnode 5 K%41\n", true, 1, 0, 2},
        {"key without text", header + "key\nkey %20x\n", true, 0, 1, 1},
        {"property without '='", header + "key K media.role\n", true, 0, 0, 1},
        {"empty property name", header + "key K =x\n", true, 0, 0, 1},
        {"torn write: half a line", header + "key K media.role=Mu\nnod", true, 0, 1, 1},
        {"daemon twice, bad cookie", header + "daemon x\ndaemon 4294967296\n", true, 0, 0, 2},
        {"NUL bytes", header + std::string("node 3 K\0\n", 10), true, 1, 0, 0},
        {"CRLF line ends", header.substr(0, header.size() - 1) + "\r\nnode 3 K\r\n", false, 0, 0,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const JournalContents read = parseJournal(c.text);
        EXPECT_EQ(read.isJournal, c.isJournal);
        EXPECT_EQ(read.nodes.size(), c.nodes);
        EXPECT_EQ(read.keys.size(), c.keys);
        EXPECT_EQ(read.problems.size(), c.problems);
    }
}

TEST(GainJournal, FormatAndParseAgreeOnAnyText) {
    JournalContents contents;
    contents.daemon = 4294967295u;
    std::string every;
    for (int c = 1; c < 256; ++c) {
        every += static_cast<char>(c);
    }
    contents.keys[every] = StreamKey{every, {{every, every}, {"media.class", "Stream/Output/Audio"}}};
    contents.nodes[18446744073709551615ull] = every;
    const JournalContents read = parseJournal(formatJournal(contents));
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(read.daemon, contents.daemon);
    EXPECT_EQ(read.nodes, contents.nodes);
    EXPECT_EQ(read.keys, contents.keys);
}

TEST(GainJournal, AHugeFileIsNotReadIntoMemory) {
    TempFolder folder;
    const fs::path path = folder / "gains";
    {
        std::ofstream out(path, std::ios::binary);
        out << header;
        const std::string line = "node 1 " + std::string(1000, 'k') + "\n";
        for (int i = 0; i < 5000; ++i) {
            out << line;
        }
    }
    const JournalContents read = readJournal(path.string());
    EXPECT_FALSE(read.isJournal);
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_NE(read.problems[0].find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace morvale::pipewire
