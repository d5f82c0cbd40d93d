#include <random>

#include "flaky_bus.h"
#include "platform/platform.h"
#include "test_helpers.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A Get VCP Feature request for 0x10 and the monitor's 12-byte answer.
const Bytes kRequest = {0x82, 0x01, 0x10, 0xac};
const Bytes kReply = {0x6e, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32, 0xf2, 0x00};
const Bytes kNull = {0x6e, 0x80, 0xbe, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr IOReturn kFailed = static_cast<IOReturn>(0xe00002bc);

std::string scenario(const std::string& bus, const std::string& faults = "{}")
{
    return R"({"registry": {"name": "R", "children": [{"name": "proxy", "avservice": {"monitor": "m"}}]},
               "monitors": {"m": {"vcp": {"0x10": {"current": 50, "max": 100}}, "bus": )" +
           bus + R"(, "faults": )" + faults + "}}}";
}

struct Outcome {
    IOReturn status;
    Bytes bytes;  // of a read that succeeded
    bool operator==(const Outcome&) const = default;
};

// The AV service of monitor "m", released at the end.
class Service {
public:
    Service()
    {
        io_registry_entry_t entry = simtest::findEntry("proxy");
        handle_ = IOAVServiceCreateWithService(kCFAllocatorDefault, entry);
        IOObjectRelease(entry);
    }
    ~Service() { CFRelease(handle_); }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    IOReturn write() { return simtest::writeI2C(handle_, kRequest); }
    Outcome read()
    {
        IOReturn status;
        Bytes bytes = simtest::readI2C(handle_, 12, &status);
        return {status, status == kIOReturnSuccess ? bytes : Bytes{}};
    }

private:
    IOAVServiceRef handle_;
};

// `count` get transactions (a write, a pause, a read) on a freshly loaded
// scenario; the trace they leave.
std::vector<std::string> transactions(const std::string& json, int count, int64_t offset = 0)
{
    simtest::load(json);
    sim::seedFlakyBuses(offset);
    Service service;
    for (int i = 0; i < count; ++i) {
        service.write();
        pauseMicroseconds(10000);
        service.read();
    }
    return sim::traceLines();
}

TEST(FlakyBusTest, TheSameSeedGivesTheSameTraceAndTheOffsetShiftsIt)
{
    auto bus = [](int seed) {
        return scenario(R"({"failRate": 0.3, "corruptRate": 0.3, "seed": )" + std::to_string(seed) +
                        "}");
    };
    std::vector<std::string> first = transactions(bus(7), 40);
    EXPECT_EQ(transactions(bus(7), 40), first);
    EXPECT_NE(transactions(bus(8), 40), first);
    EXPECT_EQ(transactions(bus(5), 40, 2), first);
    EXPECT_EQ(transactions(bus(-1), 40, 8), first);
}

// Each operation's outcome, predicted from the engine by the drawing scheme
// the README gives callers.
TEST(FlakyBusTest, OutcomesFollowTheDocumentedDraws)
{
    constexpr double kFail = 0.25, kCorrupt = 0.5;
    simtest::load(scenario(R"({"failRate": 0.25, "corruptRate": 0.5, "seed": 42})"));
    Service service;
    std::mt19937_64 engine(42);
    bool replyPending = false;
    int writesFailed = 0, readsFailed = 0, readsGarbled = 0, readsClean = 0;
    for (int i = 0; i < 100; ++i) {
        uint64_t x = engine();
        bool fails = static_cast<double>(x >> 11) / 9007199254740992.0 < kFail;
        EXPECT_EQ(service.write(), fails ? kFailed : kIOReturnSuccess) << i;
        replyPending = replyPending || !fails;
        writesFailed += fails;

        x = engine();
        double u = static_cast<double>(x >> 11) / 9007199254740992.0;
        Outcome expected{kFailed, {}};
        if (u >= kFail) {
            expected = {kIOReturnSuccess, replyPending ? kReply : kNull};
            if (u < kFail + (1 - kFail) * kCorrupt) {
                expected.bytes[(x >> 8) % 12] ^= static_cast<uint8_t>(1 + x % 255);
                ++readsGarbled;
            } else {
                ++readsClean;
            }
        } else {
            ++readsFailed;
        }
        EXPECT_EQ(service.read(), expected) << i;
    }
    EXPECT_GT(writesFailed, 0);
    EXPECT_GT(readsFailed, 0);
    EXPECT_GT(readsGarbled, 0);
    EXPECT_GT(readsClean, 0);
}

// An operation that the faults name takes no draw: the monitor with two
// faulted reads goes on exactly as the one without them.
TEST(FlakyBusTest, FaultsComeFirstAndTakeNoDraw)
{
    const std::string bus = R"({"failRate": 0.2, "corruptRate": 0.5, "seed": 3})";
    simtest::load(scenario(bus));
    std::vector<Outcome> plain;
    {
        Service service;
        service.write();
        for (int i = 0; i < 30; ++i) plain.push_back(service.read());
    }
    simtest::load(scenario(bus, R"({"failReads": [0], "replies": {"1": "0102"}})"));
    Service service;
    service.write();
    EXPECT_EQ(service.read(), (Outcome{kFailed, {}}));
    EXPECT_EQ(service.read(), (Outcome{kIOReturnSuccess, {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));
    for (int i = 0; i < 30; ++i) EXPECT_EQ(service.read(), plain[static_cast<size_t>(i)]) << i;
}

TEST(FlakyBusTest, AReplyIsReadyOnlyAfterItsDelay)
{
    simtest::load(scenario(R"({"replyDelay": 25000})"));
    Service service;
    ASSERT_EQ(service.write(), kIOReturnSuccess);
    EXPECT_EQ(service.read(), (Outcome{kIOReturnSuccess, kNull}));
    pauseMicroseconds(10000);
    pauseMicroseconds(10000);
    EXPECT_EQ(service.read(), (Outcome{kIOReturnSuccess, kNull}));
    pauseMicroseconds(5000);
    EXPECT_EQ(service.read(), (Outcome{kIOReturnSuccess, kReply}));
    EXPECT_EQ(service.read(), (Outcome{kIOReturnSuccess, kReply}));
    ASSERT_EQ(service.write(), kIOReturnSuccess);  // a new request starts the wait again
    pauseMicroseconds(24999);
    EXPECT_EQ(service.read(), (Outcome{kIOReturnSuccess, kNull}));
}

TEST(FlakyBusTest, ABusThatAlwaysFailsFailsOnlyAtTheMonitorsChip)
{
    simtest::load(scenario(R"({"failRate": 1})"));
    io_registry_entry_t entry = simtest::findEntry("proxy");
    IOAVServiceRef service = IOAVServiceCreateWithService(kCFAllocatorDefault, entry);
    IOObjectRelease(entry);
    IOReturn status;
    EXPECT_EQ(simtest::writeI2C(service, kRequest), kFailed);
    simtest::readI2C(service, 12, &status);
    EXPECT_EQ(status, kFailed);
    EXPECT_EQ(simtest::writeI2C(service, kRequest, 0x50), static_cast<IOReturn>(0xe00002c0));
    CFRelease(service);
}

TEST(FlakyBusTest, TheSeedOffsetIsADecimal64BitInteger)
{
    struct Case {
        const char* text;
        bool valid;
        int64_t offset;
    } cases[] = {
        {nullptr, true, 0},
        {"", true, 0},
        {"12", true, 12},
        {"-3", true, -3},
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"1x", false, 0},
        {" 1", false, 0},
        {"+1", false, 0},
        {"0x10", false, 0},
        {"1\n", false, 0},
    };
    for (const Case& c : cases) {
        int64_t offset = -99;
        std::string error;
        EXPECT_EQ(sim::parseSeedOffset(c.text, &offset, &error), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(offset, c.offset) << c.text;
        } else {
            EXPECT_EQ(error.find('\n'), std::string::npos);
            EXPECT_EQ(error.rfind("seed \"", 0), 0u) << error;
        }
    }
    std::string error;
    int64_t offset;
    sim::parseSeedOffset("1x", &offset, &error);
    EXPECT_EQ(error,
              R"(seed "1x": expected an integer from -9223372036854775808 to 9223372036854775807)");
}

}  // namespace
