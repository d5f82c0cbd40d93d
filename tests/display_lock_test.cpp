// The display lock within one process: guards nest, release once, lock one
// display only, and a lock file removed while open is made again. A second
// descriptor of the lock file sees what another process would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ddc/display_lock.h"
#include "discovery/display_table.h"
#include "discovery/walk.h"
#include "sim_control.h"

namespace fs = std::filesystem;

namespace {

// The table these tests lock displays of, under the short names the tests use.
DisplayTable table;
std::array<DisplayRecord, kMaxDisplays>& g_displays = table.records;
int32_t& g_count = table.count;

void enumerateDisplays()
{
    ::enumerateDisplays(&table);
}

void releaseDisplays()
{
    ::releaseDisplays(&table);
}

void releaseDisplayLocks()
{
    ::releaseDisplayLocks(&table);
}

TransferCounters counters;

class DisplayLockGuard : public ::DisplayLockGuard {
public:
    explicit DisplayLockGuard(const DisplayRecord& display)
        : ::DisplayLockGuard(displayLink(&table, display, 0, &counters))
    {
    }
};

class DisplayLock : public testing::Test {
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("PANOCTL_SIM_LOCKS");
        previous_ = previous != nullptr ? previous : "";
        std::string pattern = (fs::temp_directory_path() / "panoctl-lock-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch_ = pattern;
        setenv("PANOCTL_SIM_LOCKS", (scratch_ / "locks").c_str(), 1);
        releaseDisplays();  // and with them the locks, so the folder above is used
        sim::loadDefaultScenario();
        enumerateDisplays();
        ASSERT_EQ(g_count, 2);
    }

    void TearDown() override
    {
        releaseDisplays();
        setenv("PANOCTL_SIM_LOCKS", previous_.c_str(), 1);
        fs::remove_all(scratch_);
    }

    fs::path lockFile(int32_t index) const
    {
        return scratch_ / "locks" /
               ("display-" + std::string(g_displays[index].id.data()) + ".lock");
    }

    // Whether some other holder has the display's lock: another open of the
    // file cannot take it.
    bool held(int32_t index) const
    {
        int fd = open(lockFile(index).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;  // nobody made it
        }
        bool taken = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        return taken;
    }

    fs::path scratch_;
    std::string previous_;
};

TEST_F(DisplayLock, GuardsNestAndTheOutermostReleases)
{
    DisplayLockGuard outer(g_displays[0]);
    EXPECT_TRUE(held(0));
    {
        DisplayLockGuard inner(g_displays[0]);
        EXPECT_TRUE(held(0));
    }
    EXPECT_TRUE(held(0)) << "the inner guard let go of the outer one's lock";
    EXPECT_FALSE(held(1)) << "another display is held up";
    outer.release();
    EXPECT_FALSE(held(0));
    outer.release();  // again, and the destructor after it: nothing more happens
    EXPECT_FALSE(held(0));
}

TEST_F(DisplayLock, EmptyingTheTableLetsGoOfEverything)
{
    DisplayLockGuard guard(g_displays[1]);
    EXPECT_TRUE(held(1));
    releaseDisplayLocks();
    EXPECT_FALSE(held(1));
    DisplayLockGuard again(g_displays[1]);
    EXPECT_TRUE(held(1));
}

TEST_F(DisplayLock, ARecordOutsideTheTableIsNotLocked)
{
    DisplayRecord copy = g_displays[0];
    DisplayLockGuard guard(copy);
    EXPECT_FALSE(held(0));
}

TEST_F(DisplayLock, LockFilesRemovedWhileOpenAreMadeAgain)
{
    {
        DisplayLockGuard first(g_displays[0]);
    }
    // What a cleaner of old temporary files does to the whole folder.
    fs::remove_all(scratch_ / "locks");
    DisplayLockGuard second(g_displays[0]);
    EXPECT_TRUE(fs::is_regular_file(lockFile(0)));
    EXPECT_TRUE(held(0)) << "the lock is on a file no other run can see";
}

}  // namespace
