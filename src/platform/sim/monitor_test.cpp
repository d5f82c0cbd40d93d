#include <fstream>
#include <unistd.h>

#include "platform/platform.h"
#include "test_helpers.h"

namespace {

using Bytes = std::vector<uint8_t>;
using simtest::readI2C;
using simtest::writeI2C;

// A request as sent to data address 0x51: the bytes and their checksum.
Bytes request(Bytes bytes)
{
    uint8_t checksum = 0x6e ^ 0x51;
    for (uint8_t b : bytes) checksum ^= b;
    bytes.push_back(checksum);
    return bytes;
}

Bytes padded(Bytes bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}

// 300 bytes, so that chunks past offset 255 exist.
std::string capabilities()
{
    std::string text;
    for (int i = 0; i < 300; ++i) text += static_cast<char>('A' + i % 26);
    return text;
}

std::string scenario(const std::string& faults = "{}")
{
    return R"({"registry": {"name": "Root", "children": [
        {"name": "proxy", "avservice": {"monitor": "m"}},
        {"name": "empty", "avservice": {}},
        {"name": "plain"}]},
      "monitors": {"m": {
        "vcp": {"0x10": {"current": 50, "max": 100}, "192": {"current": 300, "max": 4000}},
        "capabilities": ")" +
           capabilities() + R"(", "faults": )" + faults + "}}}";
}

IOAVServiceRef openService(const char* name)
{
    io_registry_entry_t entry = simtest::findEntry(name);
    IOAVServiceRef service = IOAVServiceCreateWithService(kCFAllocatorDefault, entry);
    IOObjectRelease(entry);
    return service;
}

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simtest::load(scenario());
        service_ = openService("proxy");
        ASSERT_NE(service_, nullptr);
    }
    void TearDown() override { CFRelease(service_); }

    // Sends a request at 0x51, then reads `count` bytes back.
    Bytes exchange(const Bytes& bytes, uint32_t count)
    {
        EXPECT_EQ(writeI2C(service_, bytes), kIOReturnSuccess);
        IOReturn status;
        Bytes reply = readI2C(service_, count, &status);
        EXPECT_EQ(status, kIOReturnSuccess);
        return reply;
    }

    IOAVServiceRef service_ = nullptr;
};

const Bytes kNullMessage = {0x6e, 0x80, 0xbe, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST_F(MonitorTest, GetVcpReplies)
{
    struct Case {
        Bytes request;
        Bytes reply;
    } cases[] = {
        {{0x82, 0x01, 0x10, 0xac},
         {0x6e, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32, 0xf2, 0x00}},
        // 16-bit values, big-endian.
        {request({0x82, 0x01, 0xc0}),
         {0x6e, 0x88, 0x02, 0x00, 0xc0, 0x00, 0x0f, 0xa0, 0x01, 0x2c, 0xf6, 0x00}},
        // Unsupported code: result code 01, values zero.
        {request({0x82, 0x01, 0x99}),
         {0x6e, 0x88, 0x02, 0x01, 0x99, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00}},
    };
    for (const Case& c : cases) EXPECT_EQ(exchange(c.request, 12), c.reply);
    // The reply is cut to a shorter read.
    EXPECT_EQ(exchange(request({0x82, 0x01, 0x10}), 3), (Bytes{0x6e, 0x88, 0x02}));
}

TEST_F(MonitorTest, SetVcpClampsToMaxAndIgnoresUnsupportedCodes)
{
    EXPECT_EQ(exchange(request({0x84, 0x03, 0x10, 0x00, 0x4b}), 12), kNullMessage);
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 75);
    EXPECT_EQ(exchange(request({0x82, 0x01, 0x10}), 12),
              (Bytes{0x6e, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x4b, 0x8b, 0x00}));

    exchange(request({0x84, 0x03, 0x10, 0x01, 0x2c}), 0);  // 300 > max 100
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 100);
    exchange(request({0x84, 0x03, 0xc0, 0x0b, 0xb8}), 0);  // 3000, 16 bits
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0xc0), 3000);
    exchange(request({0x84, 0x03, 0x99, 0x00, 0x01}), 0);
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x99), std::nullopt);
}

TEST_F(MonitorTest, CapabilitiesFragments)
{
    const std::string text = capabilities();
    auto fragment = [&](uint8_t high, uint8_t low, size_t n) {
        Bytes reply = {0x6e, static_cast<uint8_t>(0x80 + 3 + n), 0xe3, high, low};
        size_t start = high * 256u + low;
        reply.insert(reply.end(), text.begin() + static_cast<long>(start),
                     text.begin() + static_cast<long>(start + n));
        uint8_t checksum = 0x50;
        for (uint8_t b : reply) checksum ^= b;
        reply.push_back(checksum);
        return padded(reply, 40);
    };
    struct Case {
        Bytes request;
        Bytes reply;
    } cases[] = {
        {{0x83, 0xf3, 0x00, 0x00, 0x4f}, fragment(0, 0, 32)},
        {request({0x83, 0xf3, 0x00, 0xf0}), fragment(0, 0xf0, 32)},
        {request({0x83, 0xf3, 0x00, 0xf5}), fragment(0, 0xf5, 32)},  // any offset, not steps of 32
        {request({0x83, 0xf3, 0x01, 0x20}), fragment(1, 0x20, 12)},  // the last 12 bytes
        // At or past the end: no data, the end of the string.
        {request({0x83, 0xf3, 0x01, 0x2c}), padded({0x6e, 0x83, 0xe3, 0x01, 0x2c, 0x73}, 40)},
        {request({0x83, 0xf3, 0x7f, 0xff}), padded({0x6e, 0x83, 0xe3, 0x7f, 0xff, 0xde}, 40)},
        // Requests without their length byte are no requests.
        {{0xf3, 0x00, 0x00, 0xcc}, padded(kNullMessage, 40)},
        {request({0xe3, 0x00, 0x20}), padded(kNullMessage, 40)},
        {request({0x83, 0xe3, 0x00, 0x20}), padded(kNullMessage, 40)},
    };
    for (const Case& c : cases) EXPECT_EQ(exchange(c.request, 40), c.reply);
}

TEST_F(MonitorTest, PendingReplyLastsUntilTheNextWrite)
{
    IOReturn status;
    EXPECT_EQ(readI2C(service_, 12, &status), kNullMessage);
    Bytes reply = exchange(request({0x82, 0x01, 0x10}), 12);
    // Read again, at another data address too: the same reply.
    EXPECT_EQ(readI2C(service_, 12, &status, 0x37, 0x50), reply);
    EXPECT_EQ(status, kIOReturnSuccess);

    // Writes that are not requests are acknowledged, ignored, and still drop
    // the pending reply.
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t dataAddress;
    } ignored[] = {
        {"bad checksum", {0x84, 0x03, 0x10, 0x00, 0x01, 0x00}, 0x51},
        {"other data address", request({0x84, 0x03, 0x10, 0x00, 0x01}), 0x50},
        {"wrong length", request({0x82, 0x01, 0x10, 0x00}), 0x51},
    };
    for (const Case& c : ignored) {
        exchange(request({0x82, 0x01, 0x10}), 0);
        EXPECT_EQ(writeI2C(service_, c.bytes, 0x37, c.dataAddress), kIOReturnSuccess) << c.what;
        EXPECT_EQ(readI2C(service_, 12, &status), kNullMessage) << c.what;
    }
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 50);
}

TEST(AvServiceTest, HandlesAndStatuses)
{
    simtest::load(scenario());
    IOAVServiceRef service = openService("proxy");
    IOReturn status;
    // Only chip 0x37 answers; a failed read leaves the buffer alone.
    EXPECT_EQ(writeI2C(service, request({0x82, 0x01, 0x10}), 0x50),
              static_cast<IOReturn>(0xe00002c0));
    EXPECT_EQ(readI2C(service, 4, &status, 0x50), Bytes(4, 0xaa));
    EXPECT_EQ(status, static_cast<IOReturn>(0xe00002c0));
    CFRelease(service);

    int liveBefore = sim::liveCfObjects();
    EXPECT_EQ(openService("plain"), nullptr);
    EXPECT_EQ(openService("Root"), nullptr);
    EXPECT_EQ(IOAVServiceCreateWithService(nullptr, 0x7777), nullptr);

    IOAVServiceRef empty = openService("empty");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(sim::liveAvServices(), 1);
    EXPECT_EQ(sim::liveCfObjects(), liveBefore + 1);
    EXPECT_EQ(writeI2C(empty, {0xf3, 0x00, 0x00, 0xcc}), static_cast<IOReturn>(0xe00002c0));
    readI2C(empty, 12, &status);
    EXPECT_EQ(status, static_cast<IOReturn>(0xe00002c0));
    CFRelease(empty);
    EXPECT_EQ(sim::liveAvServices(), 0);

    EXPECT_NE(writeI2C(nullptr, {0xf3, 0x00, 0x00, 0xcc}), kIOReturnSuccess);
    readI2C(nullptr, 12, &status);
    EXPECT_NE(status, kIOReturnSuccess);

    // A handle of an earlier machine no longer reaches anything.
    IOAVServiceRef stale = openService("proxy");
    simtest::load(scenario());
    EXPECT_NE(writeI2C(stale, request({0x82, 0x01, 0x10})), kIOReturnSuccess);
    CFRelease(stale);
    EXPECT_EQ(sim::liveCfObjects(), liveBefore);
}

TEST(AvServiceTest, FaultsCountPerServiceAndKind)
{
    simtest::load(scenario(R"({"failWrites": [1], "failReads": [0, 2],
                                "replies": {"1": "0102", "2": "ffff"}})"));
    // Two handles on one service share its operation counters.
    IOAVServiceRef first = openService("proxy");
    IOAVServiceRef second = openService("proxy");
    IOReturn status;

    EXPECT_EQ(writeI2C(first, request({0x84, 0x03, 0x10, 0x00, 0x10})),
              kIOReturnSuccess);                                          // write 0
    EXPECT_EQ(writeI2C(second, request({0x84, 0x03, 0x10, 0x00, 0x20})),  // write 1
              static_cast<IOReturn>(0xe00002bc));
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 0x10);  // the failed write had no effect

    EXPECT_EQ(writeI2C(first, request({0x82, 0x01, 0x10})), kIOReturnSuccess);  // write 2
    EXPECT_EQ(readI2C(first, 4, &status), Bytes(4, 0xaa));                      // read 0 fails
    EXPECT_EQ(status, static_cast<IOReturn>(0xe00002bc));
    EXPECT_EQ(readI2C(second, 4, &status, 0x50), (Bytes{0x01, 0x02, 0x00, 0x00}));  // read 1
    EXPECT_EQ(status, kIOReturnSuccess);
    readI2C(first, 4, &status);  // read 2: in failReads and in replies, the failure wins
    EXPECT_EQ(status, static_cast<IOReturn>(0xe00002bc));
    EXPECT_EQ(readI2C(first, 4, &status), (Bytes{0x6e, 0x88, 0x02, 0x00}));  // read 3: the monitor
    CFRelease(first);
    CFRelease(second);
}

TEST(TraceTest, LinesInOrder)
{
    simtest::load(scenario(R"({"failReads": [1]})"));
    IOAVServiceRef service = openService("proxy");
    IOReturn status;
    pauseMicroseconds(10000);
    writeI2C(service, {0x82, 0x01, 0x10, 0xac});
    readI2C(service, 12, &status);
    readI2C(service, 2, &status);
    writeI2C(service, {0x01}, 0x50, 0x52);
    writeI2C(service, {}, 0x37, 0x51);
    readI2C(service, 0, &status);
    const std::vector<std::string> expected = {
        "sleep 10000",
        "write 0x37 0x51 82 01 10 ac -> 0",
        "read 0x37 0x51 12 -> 0 6e 88 02 00 10 00 00 64 00 32 f2 00",
        "read 0x37 0x51 2 -> 0xe00002bc",
        "write 0x50 0x52 01 -> 0xe00002c0",
        "write 0x37 0x51 -> 0",
        "read 0x37 0x51 0 -> 0",
    };
    EXPECT_EQ(sim::traceLines(), expected);
    sim::clearTrace();
    EXPECT_TRUE(sim::traceLines().empty());
    CFRelease(service);
}

TEST(TraceTest, FileIsAppendedLineByLine)
{
    std::string path = ::testing::TempDir() + "sim_trace_" + std::to_string(getpid()) + ".log";
    {
        std::ofstream existing(path);
        existing << "earlier line\n";
    }
    simtest::load(scenario());
    sim::setTraceFile(path);
    pauseMicroseconds(5);
    IOAVServiceRef service = openService("proxy");
    writeI2C(service, {0xf3, 0x00, 0x00, 0xcc});
    // Each line is in the file as soon as it is made.
    std::ifstream file(path);
    std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "earlier line\nsleep 5\nwrite 0x37 0x51 f3 00 00 cc -> 0\n");
    sim::setTraceFile("");
    CFRelease(service);
    std::remove(path.c_str());
}

}  // namespace
