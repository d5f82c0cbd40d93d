#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "sim_state.h"
#include "test_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kScenario = R"({
  "registry": {"name": "R", "children": [{"name": "proxy", "avservice": {"monitor": "m"}}]},
  "monitors": {"m": {"vcp": {"0x10": {"current": 50, "max": 100}, "192": {"current": 300, "max": 4000}}},
               "n": {"vcp": {"0x12": {"current": 1, "max": 9}}}}})";

// Files beside the state file other than those a run makes: none may be left.
std::vector<std::string> strays(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name != "state.json" && name != "state.json.lock") names.push_back(name);
    }
    return names;
}

class MonitorStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/panoctl-state-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir_ = folder;
        path_ = (dir_ / "state.json").string();
        simtest::load(kScenario);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string read() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    // Whether another open file description could take the lock right now.
    bool lockIsFree() const
    {
        int fd = open((path_ + ".lock").c_str(), O_RDWR);
        bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0) close(fd);
        return free;
    }
    // Set VCP Feature on monitor "m" through its AV service.
    void set(uint8_t code, uint16_t value)
    {
        io_registry_entry_t entry = simtest::findEntry("proxy");
        IOAVServiceRef service = IOAVServiceCreateWithService(kCFAllocatorDefault, entry);
        IOObjectRelease(entry);
        std::vector<uint8_t> bytes{0x84, 0x03, code, static_cast<uint8_t>(value >> 8),
                                   static_cast<uint8_t>(value & 0xff)};
        uint8_t checksum = 0x6e ^ 0x51;
        for (uint8_t b : bytes) checksum ^= b;
        bytes.push_back(checksum);
        EXPECT_EQ(simtest::writeI2C(service, bytes), kIOReturnSuccess);
        CFRelease(service);
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(MonitorStateTest, BrokenFilesAreRejectedAndTheLockReleased)
{
    struct Case {
        std::string file, message;
    } cases[] = {
        {"", "invalid json at line 1, column 1"},
        {"[]", "expected a json object"},
        // A monitor the scenario lacks is unplugged, but its values are
        // still checked as values.
        {R"({"x": 5})", R"(["x"]: expected an object)"},
        {R"({"x": {"zz": 1}})", R"(["x"]["zz"]: not a vcp code ("0x10" or "16", up to 255))"},
        {R"({"x": {"0x10": -1}})", R"(["x"]["0x10"]: expected an integer from 0 to 65535)"},
        {R"({"m": 5})", R"(["m"]: expected an object)"},
        {R"({"m": {"0x12": 1}})", R"(["m"]["0x12"]: the scenario's monitor has no such code)"},
        {R"({"m": {"16": 1, "0x10": 2}})", R"(["m"]["0x10"]: code given twice)"},
        {R"({"m": {"0x10": 65536}})", R"(["m"]["0x10"]: expected an integer from 0 to 65535)"},
        {R"({"m": {"0x10": 1e400}})", "invalid json: number overflow parsing '1e400'"},
    };
    for (const Case& c : cases) {
        write(c.file);
        std::string error;
        EXPECT_FALSE(sim::loadMonitorState(path_, &error)) << c.file;
        EXPECT_EQ(error, c.message);
        EXPECT_TRUE(lockIsFree()) << c.file;
    }
}

TEST_F(MonitorStateTest, KeepsNamedAndChangedCodesInTheScenarioSpelling)
{
    std::string error;
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;  // no file: no values
    EXPECT_FALSE(lockIsFree());
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    EXPECT_TRUE(lockIsFree());
    EXPECT_FALSE(fs::exists(path_)) << "nothing changed, nothing written";

    write(R"({"m": {"16": 42}, "n": {"0x12": 7}})");
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 42);
    EXPECT_EQ(sim::monitorVcpCurrent("m", 192), 300);
    set(0x10, 42);  // the value it already has
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    EXPECT_EQ(read(), R"({"m": {"16": 42}, "n": {"0x12": 7}})");

    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    set(192, 5000);  // clamped to the maximum
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    EXPECT_EQ(read(), "{\"m\":{\"0x10\":42,\"192\":4000},\"n\":{\"0x12\":7}}\n");
    EXPECT_TRUE(strays(dir_).empty());
}

// A monitor the scenario lacks is unplugged: its values wait in the file,
// untouched by runs that change other monitors, and come back with it, even
// when it is plugged back in during a run.
TEST_F(MonitorStateTest, UnpluggedMonitorsKeepTheirValues)
{
    write(R"({"gone": {"0x10": 9, "16x": 1}})");
    std::string error;
    EXPECT_FALSE(sim::loadMonitorState(path_, &error));
    write(R"({"gone": {"0x10": 9, "0x62": 70}, "m": {"0x10": 42}})");
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 42);
    set(0x10, 43);
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    EXPECT_EQ(read(), "{\"m\":{\"0x10\":43},\"gone\":{\"0x10\":9,\"0x62\":70}}\n");

    // Plugged in during a run: the file's values apply to the codes it has.
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    std::string replugged = kScenario;
    replugged.replace(replugged.find(R"("n": )"), 0,
                      R"("gone": {"vcp": {"0x10": {"current": 1, "max": 100}}}, )");
    sim::Machine machine;
    ASSERT_TRUE(sim::buildMachine(replugged, &machine, &error)) << error;
    sim::replaceMachine(std::move(machine));
    EXPECT_EQ(sim::monitorVcpCurrent("gone", 0x10), 9);
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    EXPECT_EQ(read(), "{\"m\":{\"0x10\":43},\"gone\":{\"0x10\":9,\"0x62\":70}}\n")
        << "nothing changed: nothing written";

    // Unplugged during a run after a change: the change is kept for it.
    write(R"({"m": {"0x10": 42}})");
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    set(0x10, 11);
    sim::Machine without;
    ASSERT_TRUE(sim::buildMachine(R"({"registry": {"name": "R", "children": [
        {"name": "proxy", "avservice": {}}]}})",
                                  &without, &error))
        << error;
    sim::replaceMachine(std::move(without));
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), std::nullopt);
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    EXPECT_EQ(read(), "{\"m\":{\"0x10\":11}}\n");
    EXPECT_TRUE(strays(dir_).empty());
}

TEST_F(MonitorStateTest, AFailedWriteBackKeepsTheOldFile)
{
    write(R"({"m": {"0x10": 1}})");
    std::string error;
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    set(0x10, 2);
    // A file size limit below the new state makes its write fail as a full
    // disk would, whoever runs the test.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit tiny = before;
    tiny.rlim_cur = 4;
    setrlimit(RLIMIT_FSIZE, &tiny);
    bool saved = sim::saveMonitorState(&error);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_FALSE(saved);
    EXPECT_NE(error.find("cannot write " + path_ + ".tmp-"), std::string::npos) << error;
    EXPECT_NE(error.find("(file too large)"), std::string::npos) << error;
    EXPECT_EQ(read(), R"({"m": {"0x10": 1}})");
    EXPECT_TRUE(lockIsFree());
    EXPECT_TRUE(strays(dir_).empty());
}

TEST_F(MonitorStateTest, NewFilesAreMadePrivatelyAndNoneIsLeftBehind)
{
    mode_t mask = umask(0);
    std::string error;
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    set(0x10, 7);
    ASSERT_TRUE(sim::saveMonitorState(&error)) << error;
    umask(mask);
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(path_ + ".lock").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(strays(dir_).empty());
}

// Whatever is planted at the state file's path or its lock's, the run stops
// with a message, follows no link, waits on no FIFO and touches no file
// elsewhere.
TEST_F(MonitorStateTest, LinksAndOtherFilesAtItsPathsAreRefused)
{
    std::string victim = (dir_ / "victim").string();
    std::string absent = (dir_ / "absent").string();
    struct Case {
        std::string at;
        std::function<void(const std::string&)> plant;
        std::string message;  // after the path
    } cases[] = {
        {path_, [&](const std::string& p) { fs::create_symlink(victim, p); },
         " is a symbolic link, not followed"},
        {path_, [&](const std::string& p) { fs::create_symlink(absent, p); },
         " is a symbolic link, not followed"},
        {path_, [](const std::string& p) { mkfifo(p.c_str(), 0600); }, " is not a regular file"},
        {path_, [](const std::string& p) { fs::create_directory(p); }, " is not a regular file"},
        {path_ + ".lock", [&](const std::string& p) { fs::create_symlink(victim, p); },
         " is a symbolic link, not followed"},
        {path_ + ".lock", [&](const std::string& p) { fs::create_symlink(absent, p); },
         " is a symbolic link, not followed"},
        {path_ + ".lock", [](const std::string& p) { mkfifo(p.c_str(), 0600); },
         " is not a regular file"},
        {path_ + ".lock", [](const std::string& p) { fs::create_directory(p); },
         " is not a regular file"},
    };
    for (const Case& c : cases) {
        std::ofstream(victim) << R"({"m": {"0x10": 9}})";
        c.plant(c.at);
        std::string error;
        EXPECT_FALSE(sim::loadMonitorState(path_, &error)) << c.at << c.message;
        EXPECT_EQ(error, c.at + c.message);
        EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 50) << c.at << c.message;
        EXPECT_FALSE(fs::exists(absent));
        fs::remove_all(c.at);
        fs::remove(path_ + ".lock");
    }
    std::ifstream in(victim);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), R"({"m": {"0x10": 9}})");
}

// A link planted while the run held the state is not written through.
TEST_F(MonitorStateTest, ALinkPlantedBeforeTheWriteBackIsRefused)
{
    std::string error;
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    set(0x10, 7);
    std::string victim = (dir_ / "victim").string();
    fs::create_symlink(victim, path_);
    EXPECT_FALSE(sim::saveMonitorState(&error));
    EXPECT_EQ(error, path_ + " is a symbolic link, not followed");
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_TRUE(fs::is_symlink(path_));
}

TEST_F(MonitorStateTest, UnreadableAndOversizedFilesAreRefused)
{
    write("{}");
    ASSERT_EQ(truncate(path_.c_str(), (off_t{64} << 20) + 1), 0);
    std::string error;
    EXPECT_FALSE(sim::loadMonitorState(path_, &error));
    EXPECT_EQ(error, "larger than 64 MiB");

    write("{}");
    chmod(path_.c_str(), 0);
    // Root reads any file, so the check runs as nobody; the folder and the
    // lock must be open to it.
    bool asRoot = geteuid() == 0;
    if (asRoot) {
        chmod(dir_.c_str(), 0755);
        int lockFd = open((path_ + ".lock").c_str(), O_CREAT | O_WRONLY, 0666);
        fchmod(lockFd, 0666);
        close(lockFd);
        ASSERT_EQ(seteuid(65534), 0);
    }
    bool loaded = sim::loadMonitorState(path_, &error);
    if (asRoot) {
        ASSERT_EQ(seteuid(0), 0);
    }
    EXPECT_FALSE(loaded);
    EXPECT_EQ(error, "cannot open " + path_ + " (permission denied)");
    EXPECT_TRUE(lockIsFree());
}

}  // namespace
