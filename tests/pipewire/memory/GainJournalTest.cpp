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
#include "platform/pipewire/memory/GainJournal.h"

namespace morvale::pipewire {
namespace {

// Cases are named by their place in the table (their text says what they are).
struct CaseName {
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& which) const {
        return "case" + std::to_string(which.index);
    }
};

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string name = (fs::temp_directory_path() / "morvale-journal-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        path_ = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

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
    // Nobody else reads what this user's streams were.
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(GainJournal, NamesItsOwnerSoASecondStartLeavesItAlone) {
    TempFolder folder;
    const std::string path = (folder / "gains").string();
    GainJournal journal(path);
    ASSERT_TRUE(journal.willSet(1, musicKey()));
    const JournalContents read = readJournal(path);
    ASSERT_TRUE(read.owner.has_value());
    EXPECT_EQ(read.owner, thisProcess());
    EXPECT_TRUE(ownerRuns(*read.owner));
}

struct OwnerCase {
    const char* what;
    JournalOwner owner;
    bool runs;
};

class JournalOwnerRuns : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(JournalOwnerRuns, OnlyTheSameLiveProcessCounts) {
    EXPECT_EQ(ownerRuns(GetParam().owner), GetParam().runs) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Owners, JournalOwnerRuns,
    ::testing::Values(
        OwnerCase{"this process", *thisProcess(), true},
        OwnerCase{"this pid, another start (the pid was reused)",
                  {thisProcess()->pid, thisProcess()->startTime + 1}, false},
        OwnerCase{"no such pid", {2147483646, 1}, false},
        OwnerCase{"pid 1 with a made-up start", {1, 999999999999}, false}),
    CaseName());

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

TEST(GainJournal, AReleasedNodeGoesWithTheNextWriteAndItsKeyStays) {
    TempFolder folder;
    const std::string path = (folder / "gains").string();
    GainJournal journal(path);
    journal.setDaemon(7);
    journal.willSet(51, musicKey());
    journal.released(51);
    journal.willSet(60, oddKey());
    const JournalContents read = readJournal(path);
    EXPECT_FALSE(read.nodes.contains(51));
    EXPECT_TRUE(read.keys.contains(musicKey().text));
}

TEST(GainJournal, ClearRemovesTheFile) {
    TempFolder folder;
    const std::string path = (folder / "gains").string();
    GainJournal journal(path);
    journal.willSet(1, musicKey());
    ASSERT_TRUE(fs::exists(path));
    EXPECT_TRUE(journal.clear());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(journal.clear());  // twice is fine
}

TEST(GainJournal, AnEarlierRunsJournalIsKeptUntilCleanedUp) {
    TempFolder folder;
    const std::string path = (folder / "gains").string();
    {
        GainJournal earlier(path);
        earlier.setDaemon(1);
        earlier.willSet(51, musicKey());
    }
    GainJournal next(path);
    next.setDaemon(1);
    next.willSet(70, oddKey());
    const JournalContents read = readJournal(path);
    EXPECT_TRUE(read.nodes.contains(51)) << "same daemon: the node may still be lowered";
    EXPECT_TRUE(read.keys.contains(musicKey().text));

    // Another daemon instance: the old serials mean nothing there, the keys do.
    GainJournal afterRestart(path);
    afterRestart.setDaemon(2);
    afterRestart.willSet(3, oddKey());
    const JournalContents restarted = readJournal(path);
    EXPECT_EQ(restarted.nodes.size(), 1u);
    EXPECT_TRUE(restarted.nodes.contains(3));
    EXPECT_TRUE(restarted.keys.contains(musicKey().text));
}

TEST(GainJournal, AFailedWriteIsReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into a read-only folder";
    }
    TempFolder folder;
    fs::create_directories(folder / "locked");
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    GainJournal journal((folder / "locked/gains").string());
    EXPECT_FALSE(journal.willSet(1, musicKey()));
    EXPECT_NE(journal.lastError().find("cannot write"), std::string::npos);
}

TEST(GainJournal, AFolderInTheWayIsReportedNotThrown) {
    TempFolder folder;
    std::ofstream(folder / "file") << "x";
    GainJournal journal((folder / "file/gains").string());
    EXPECT_FALSE(journal.willSet(1, musicKey()));
    EXPECT_FALSE(journal.lastError().empty());
}

// Damaged or hostile content: read what can be read, say what cannot, never crash.
struct DamageCase {
    const char* what;
    std::string text;
    bool isJournal;
    std::size_t nodes;
    std::size_t keys;
    std::size_t problems;
};

class DamagedJournal : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedJournal, KeepsWhatItCanAndReportsTheRest) {
    const DamageCase& c = GetParam();
    const JournalContents read = parseJournal(c.text);
    EXPECT_EQ(read.isJournal, c.isJournal) << c.what;
    EXPECT_EQ(read.nodes.size(), c.nodes) << c.what;
    EXPECT_EQ(read.keys.size(), c.keys) << c.what;
    EXPECT_EQ(read.problems.size(), c.problems) << c.what;
}

const std::string header = "morvale-pipewire-gains 1\n";

INSTANTIATE_TEST_SUITE_P(
    Contents, DamagedJournal,
    ::testing::Values(
        DamageCase{"whole", header + "owner 7 9\ndaemon 5\nkey K media.role=Music\nnode 3 K\n",
                   true, 1, 1, 0},
        DamageCase{"owner without start", header + "owner 7\nnode 3 K\n", true, 1, 0, 1},
        DamageCase{"owner pid 0", header + "owner 0 9\n", true, 0, 0, 1},
        DamageCase{"no final newline", header + "node 3 K", true, 1, 0, 0},
        DamageCase{"empty file", "", false, 0, 0, 1},
        DamageCase{"someone else's file", "root:x:0:0:root:/root:/bin/bash\n", false, 0, 0, 1},
        DamageCase{"a later format", "morvale-pipewire-gains 2\nnode 3 K\n", false, 0, 0, 1},
        DamageCase{"unknown record", header + "volume 3 0.3\nnode 4 K\n", true, 1, 0, 1},
        DamageCase{"serial too big", header + "node 99999999999999999999999 K\n", true, 0, 0, 1},
        DamageCase{"negative serial", header + "node -3 K\n", true, 0, 0, 1},
        DamageCase{"bad escape", header + "node 3 K%4\nnode 4 K%zz\nnode 5 K%41\n", true, 1, 0, 2},
        DamageCase{"key without text", header + "key\nkey %20x\n", true, 0, 1, 1},
        DamageCase{"property without '='", header + "key K media.role\n", true, 0, 0, 1},
        DamageCase{"empty property name", header + "key K =x\n", true, 0, 0, 1},
        DamageCase{"torn write: half a line", header + "key K media.role=Mu\nnod", true, 0, 1, 1},
        DamageCase{"daemon twice, bad cookie", header + "daemon x\ndaemon 4294967296\n", true, 0,
                   0, 2},
        DamageCase{"NUL bytes", header + std::string("node 3 K\0\n", 10), true, 1, 0, 0},
        DamageCase{"CRLF line ends", header.substr(0, header.size() - 1) + "\r\nnode 3 K\r\n",
                   false, 0, 0, 1}),
    CaseName());

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

TEST(GainJournal, AMissingFileIsAnEmptyJournal) {
    TempFolder folder;
    const JournalContents read = readJournal((folder / "none").string());
    EXPECT_TRUE(read.isJournal);
    EXPECT_TRUE(read.problems.empty());
    EXPECT_TRUE(read.nodes.empty());
}

}  // namespace
}  // namespace morvale::pipewire
