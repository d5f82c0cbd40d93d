// The monitor's own buttons (the panel file), its reports of them through
// 0x02 and 0x52, and sleep, through the AV service's I2C operations.
#include <unistd.h>

#include <fstream>

#include "platform/platform.h"
#include "sim_state.h"
#include "test_helpers.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes request(Bytes bytes)
{
    uint8_t checksum = 0x6e ^ 0x51;
    for (uint8_t b : bytes) checksum ^= b;
    bytes.push_back(checksum);
    return bytes;
}

std::string scenario(const std::string& reports)
{
    std::string member = reports.empty() ? "" : R"(, "newControlValue": ")" + reports + "\"";
    return R"({"registry": {"name": "Root", "children": [
        {"name": "proxy", "avservice": {"monitor": "m"}}]},
      "monitors": {"m": {"vcp": {"0x10": {"current": 50, "max": 100},
                                 "0x12": {"current": 40, "max": 100},
                                 "0xD6": {"current": 1, "max": 5}})" +
           member + "}}}";
}

class PanelTest : public ::testing::Test {
protected:
    void load(const std::string& reports)
    {
        if (service_ != nullptr) CFRelease(service_);
        service_ = nullptr;
        simtest::load(scenario(reports));
        sim::setPanelFile(path_);
        io_registry_entry_t entry = simtest::findEntry("proxy");
        service_ = IOAVServiceCreateWithService(kCFAllocatorDefault, entry);
        IOObjectRelease(entry);
        ASSERT_NE(service_, nullptr);
        sim::clearTrace();
    }
    void TearDown() override
    {
        if (service_ != nullptr) CFRelease(service_);
        sim::setPanelFile("");
        std::remove(path_.c_str());
    }
    void press(const std::string& line) { std::ofstream(path_, std::ios::app) << line; }
    // Get VCP Feature of `code`: its current value, or -1 for unsupported.
    int get(uint8_t code)
    {
        EXPECT_EQ(simtest::writeI2C(service_, request({0x82, 0x01, code})), kIOReturnSuccess);
        IOReturn status;
        Bytes reply = simtest::readI2C(service_, 12, &status);
        if (reply[3] != 0) return -1;
        return reply[8] * 256 + reply[9];
    }
    void set(uint8_t code, uint16_t value)
    {
        simtest::writeI2C(service_, request({0x84, 0x03, code, static_cast<uint8_t>(value >> 8),
                                             static_cast<uint8_t>(value & 0xff)}));
    }
    std::vector<std::string> notes()
    {
        std::vector<std::string> lines;
        for (const std::string& line : sim::traceLines()) {
            if (line.rfind("panel", 0) == 0 || line.rfind("wake", 0) == 0) lines.push_back(line);
        }
        return lines;
    }

    std::string path_ = ::testing::TempDir() + "panel_" + std::to_string(getpid());
    IOAVServiceRef service_ = nullptr;
};

TEST_F(PanelTest, PressesApplyBeforeTheNextOperationInFileOrder)
{
    load("");
    press("m 0x10 70\nm 16 20\nother 0x10 99\n");
    EXPECT_EQ(get(0x10), 20);
    // Capped at the maximum as a set is; a line not yet whole waits.
    press("m 0x12 300\nm 0x12 5");
    EXPECT_EQ(get(0x12), 100);
    press("\n");
    EXPECT_EQ(get(0x12), 5);
    // Without newControlValue, 0x02 and 0x52 are codes the monitor lacks.
    EXPECT_EQ(get(0x02), -1);
    EXPECT_EQ(get(0x52), -1);
}

TEST_F(PanelTest, UnreadableLinesAreTracedOnceAndSkipped)
{
    load("");
    press("m 0x10\nm 0x10 60 extra\nm 0x100 1\nm 0x10 65536\nm 0x10 61\n");
    EXPECT_EQ(get(0x10), 61);
    get(0x10);
    EXPECT_EQ(notes(), (std::vector<std::string>{"panel 1 skipped", "panel 2 skipped",
                                                 "panel 3 skipped", "panel 4 skipped"}));
}

TEST_F(PanelTest, FaithfulMonitorReportsEachPressUntilReset)
{
    load("faithful");
    EXPECT_EQ(get(0x02), 1);
    press("m 0x10 70\nm 0x12 30\nm 0x10 75\n");
    EXPECT_EQ(get(0x02), 2);
    // The oldest code first, each once: asked twice before a read, it is
    // handed out by the read.
    simtest::writeI2C(service_, request({0x82, 0x01, 0x52}));
    EXPECT_EQ(get(0x52), 0x10);
    EXPECT_EQ(get(0x52), 0x12);
    EXPECT_EQ(get(0x52), 0);
    EXPECT_EQ(get(0x02), 1);
    // Writing 1 to 0x02 clears what was not handed out yet.
    press("m 0x12 31\n");
    EXPECT_EQ(get(0x02), 2);
    set(0x02, 1);
    EXPECT_EQ(get(0x02), 1);
    EXPECT_EQ(get(0x52), 0);
    // Both answer with max 0xFF, and a write of 0x52 changes nothing.
    press("m 0x10 1\n");
    set(0x52, 0);
    EXPECT_EQ(get(0x52), 0x10);
}

TEST_F(PanelTest, StuckAndSilentMonitorsAnswerTheSameWhateverIsPressed)
{
    load("stuck");
    press("m 0x10 70\n");
    EXPECT_EQ(get(0x02), 2);
    EXPECT_EQ(get(0x52), 0);
    set(0x02, 1);
    EXPECT_EQ(get(0x02), 2);
    load("never");
    press("m 0x10 71\n");
    EXPECT_EQ(get(0x02), 1);
    EXPECT_EQ(get(0x52), 0);
    EXPECT_EQ(get(0x10), 71);
}

TEST_F(PanelTest, SleepEndsWithAnyRequestButPowerModes)
{
    load("");
    press("m 0xD6 4\n");
    EXPECT_EQ(get(0xD6), 4);
    set(0xD6, 5);
    EXPECT_EQ(get(0xD6), 5);
    EXPECT_EQ(notes(), std::vector<std::string>{});
    EXPECT_EQ(get(0x10), 50);
    EXPECT_EQ(notes(), std::vector<std::string>{"wake m"});
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xD6), 1);
    // A capabilities request wakes it too; a write that is no request does not.
    set(0xD6, 4);
    simtest::writeI2C(service_, {0xf3, 0x00, 0x00, 0xcc});
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xD6), 4);
    simtest::writeI2C(service_, request({0x83, 0xf3, 0x00, 0x00}));
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xD6), 1);
}

TEST(PanelScenarioTest, NewControlValueTakesThreeWords)
{
    std::string error;
    EXPECT_FALSE(
        sim::loadScenarioText(R"({"monitors": {"m": {"newControlValue": "sometimes"}}})", &error));
    EXPECT_NE(error.find("newControlValue"), std::string::npos) << error;
    EXPECT_NE(error.find("\"faithful\", \"stuck\" or \"never\""), std::string::npos) << error;
}

}  // namespace
