// The journal of changes: entries noted, published and read back across
// descriptors as another process would; sequence numbers; torn slots; and
// files at the journal's name that are no journal, rebuilt with one warning.
#include "ddc/change_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "discovery/display_table.h"
#include "discovery/walk.h"
#include "sim_control.h"

namespace fs = std::filesystem;

namespace {

class ChangeJournal : public testing::Test {
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("PANOCTL_SIM_LOCKS");
        previous_ = previous != nullptr ? previous : "";
        std::string pattern = (fs::temp_directory_path() / "panoctl-journal-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch_ = pattern;
        setenv("PANOCTL_SIM_LOCKS", (scratch_ / "locks").c_str(), 1);
        releaseDisplays(&table_);
        sim::loadDefaultScenario();
        enumerateDisplays(&table_);
        ASSERT_EQ(table_.count, 2);
    }
    void TearDown() override
    {
        releaseDisplays(&table_);
        setenv("PANOCTL_SIM_LOCKS", previous_.c_str(), 1);
        fs::remove_all(scratch_);
    }

    DdcLink link(int index = 0)
    {
        return displayLink(&table_, table_.records[index], 0, &counters_);
    }
    fs::path journal(int index = 0) const
    {
        return scratch_ / "locks" /
               ("display-" + std::string(table_.records[index].id.data()) + ".journal");
    }
    void write(uint8_t code, uint16_t value, const uint16_t* maximum = nullptr, int index = 0)
    {
        noteChange(link(index), code, value, maximum);
        publishChanges(link(index));
    }
    JournalEntries read(JournalRead expected = JournalRead::read, int index = 0)
    {
        JournalEntries entries;
        EXPECT_EQ(readJournal(link(index), &entries), expected);
        return entries;
    }
    std::string takeWarning(int index = 0)
    {
        LockWarning& warning = table_.records[index].lock.journalWarning;
        std::string text = warning.pending ? warning.text.data() : "";
        warning.pending = false;
        return text;
    }

    DisplayTable table_;
    TransferCounters counters_;
    fs::path scratch_;
    std::string previous_;
};

TEST_F(ChangeJournal, NoJournalUntilAChangeIsPublished)
{
    read(JournalRead::missing);
    noteChange(link(), 0x10, 40, nullptr);
    read(JournalRead::missing);
    publishChanges(link());
    JournalEntries entries = read();
    EXPECT_EQ(entries.codes[0x10].sequence, 1U);
    EXPECT_EQ(entries.codes[0x10].value, 40);
    EXPECT_FALSE(entries.codes[0x10].maximumKnown);
    // Fixed size, the user's alone: it never grows, whatever is written.
    for (int i = 0; i < 500; i++) {
        write(static_cast<uint8_t>(i), static_cast<uint16_t>(i));
    }
    EXPECT_EQ(fs::file_size(journal()), 16U + 256U * 16U);
    EXPECT_EQ(fs::status(journal()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(takeWarning(), "");
}

TEST_F(ChangeJournal, EachWriteAdvancesItsCodeAndTheLastOfARunWins)
{
    uint16_t maximum = 100;
    write(0x10, 40, &maximum);
    write(0x12, 7);
    noteChange(link(), 0x10, 41, &maximum);
    noteChange(link(), 0x10, 42, &maximum);
    publishChanges(link());
    JournalEntries entries = read();
    EXPECT_EQ(entries.codes[0x10].sequence, 2U);
    EXPECT_EQ(entries.codes[0x10].value, 42);
    EXPECT_TRUE(entries.codes[0x10].maximumKnown);
    EXPECT_EQ(entries.codes[0x10].maximum, 100);
    EXPECT_EQ(entries.codes[0x12].sequence, 1U);
    EXPECT_EQ(entries.codes[0x14].sequence, 0U);
    // Each display its own.
    read(JournalRead::missing, 1);
}

TEST_F(ChangeJournal, ATornSlotReadsAsNeverWritten)
{
    write(0x10, 40);
    write(0x12, 41);
    {
        std::fstream file(journal(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(16 + 0x10 * 16 + 6);
        file.put(static_cast<char>(99));  // the value, not its checksum
    }
    JournalEntries entries = read();
    EXPECT_EQ(entries.codes[0x10].sequence, 0U);
    EXPECT_EQ(entries.codes[0x12].value, 41);
    EXPECT_EQ(takeWarning(), "");
    // A writer, alone under the lock, takes the damage for a broken file.
    write(0x12, 42);
    EXPECT_NE(takeWarning().find("holds a damaged entry: ignored, and a new one made"),
              std::string::npos);
    entries = read();
    EXPECT_EQ(entries.codes[0x12].sequence, 1U);
    EXPECT_EQ(entries.codes[0x10].sequence, 0U);
}

TEST_F(ChangeJournal, WhatIsNoJournalIsRebuiltWithOneWarning)
{
    write(0x10, 40);
    struct Planted {
        const char* problem;
        void (*plant)(const fs::path& path);
    } cases[] = {
        {"has the wrong size", [](const fs::path& path) { fs::resize_file(path, 100); }},
        {"is not a journal",
         [](const fs::path& path) {
             std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
             file.write("garbage", 7);
         }},
        {"is a symbolic link",
         [](const fs::path& path) {
             fs::remove(path);
             fs::create_symlink(path.parent_path().parent_path() / "elsewhere", path);
         }},
        {"belongs to another user",
         [](const fs::path& path) { ASSERT_EQ(chown(path.c_str(), 4242, 4242), 0); }},
    };
    for (const Planted& planted : cases) {
        SCOPED_TRACE(planted.problem);
        if (std::string(planted.problem) == "belongs to another user" && geteuid() != 0) {
            continue;  // only root can give a file away
        }
        table_.records[0].lock.journalWarned = false;
        planted.plant(journal());
        read(JournalRead::failed);
        std::string warning = takeWarning();
        EXPECT_NE(warning.find("panoctl: journal "), std::string::npos) << warning;
        EXPECT_NE(warning.find(std::string(planted.problem) + ": ignored, and a new one made"),
                  std::string::npos)
            << warning;
        // Rebuilt empty, in place of the link and not through it.
        EXPECT_FALSE(fs::is_symlink(journal()));
        EXPECT_FALSE(fs::exists(scratch_ / "elsewhere"));
        JournalEntries entries = read();
        EXPECT_EQ(entries.codes[0x10].sequence, 0U);
        write(0x10, 40);
        read(JournalRead::read);
        EXPECT_EQ(takeWarning(), "");
    }
    // Once a display: a second bad file is rebuilt without another warning.
    fs::resize_file(journal(), 5);
    read(JournalRead::failed);
    EXPECT_EQ(takeWarning(), "");
    EXPECT_FALSE(fs::exists(journal().string() + ".new"));
}

}  // namespace
