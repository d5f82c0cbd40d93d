#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_helpers.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kScenario = R"({
  "registry": {"name": "R", "children": [{"name": "proxy", "avservice": {"monitor": "m"}}]},
  "monitors": {"m": {"vcp": {"0x10": {"current": 50, "max": 100}, "192": {"current": 300, "max": 4000}}},
               "n": {"vcp": {"0x12": {"current": 1, "max": 9}}}}})";

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
        {R"({"x": {}})", R"(["x"]: the scenario has no monitor "x")"},
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
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(MonitorStateTest, AFailedWriteBackKeepsTheOldFile)
{
    write(R"({"m": {"0x10": 1}})");
    std::string error;
    ASSERT_TRUE(sim::loadMonitorState(path_, &error)) << error;
    set(0x10, 2);
    fs::create_directory(path_ + ".tmp");  // the temporary file cannot be created
    EXPECT_FALSE(sim::saveMonitorState(&error));
    EXPECT_EQ(error, "cannot create " + path_ + ".tmp (is a directory)");
    EXPECT_EQ(read(), R"({"m": {"0x10": 1}})");
    EXPECT_TRUE(lockIsFree());
}

}  // namespace
