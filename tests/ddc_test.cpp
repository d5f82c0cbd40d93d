// DDC/CI commands against a simulated monitor: the exact bytes and pauses on
// the bus, the document, and what every failure of a transaction gives.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;
using Trace = std::vector<std::string>;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-00000000CAFE";
const std::string kPause = "sleep 10000";
const std::string kGetRequest = "write 0x37 0x51 82 01 10 ac -> 0";
const std::string kGetReply = "read 0x37 0x51 12 -> 0 6e 88 02 00 10 00 00 64 00 32 f2 00";
const std::string kCapabilities =
    "(prot(monitor)type(LCD)model(T1X)cmds(01 02 03 07 0C E3 F3)vcp(02 04 05 08 10 12 14(05 08 "
    "0B) 16 18 1A 52 60(0F 11 12) 62 AC AE B2 B6 C6 C8 CA CC(01 02 03 04 05 06 07 08 09 0A 0C "
    "0D 14 16 1E) D6(01 04 05) DF)mccs_ver(2.2)window1(type(PIP) area(25 25 1895 1175) max(640 "
    "480) min(10 10) window(10))vcpname(10(Brightness)))";

// One display whose monitor supports brightness (50 of 100), contrast with a
// 16-bit range, and the capabilities string above; `faults` as given.
std::string machine(Json faults = Json::object(), const std::string& capabilities = kCapabilities)
{
    Json monitor = reg::monitor(50, 100, capabilities);
    monitor["vcp"]["0x12"] = {{"current", 1200}, {"max", 4000}};
    if (!faults.empty()) {
        monitor["faults"] = std::move(faults);
    }
    return reg::scenario({reg::panel(kId, "Test Monitor"), reg::proxy("m")},
                         {{"m", std::move(monitor)}});
}

// The reply a monitor would give, as read: `bytes` padded to `length`.
std::string replyHex(std::vector<int> bytes, size_t length)
{
    bytes.resize(length, 0);
    std::string hex;
    for (int byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

Trace getTransaction(const std::string& request, const std::string& reply)
{
    return {kPause, request, kPause, request, kPause, reply};
}

TEST(Get, ReadsTheCurrentValueWithTwoWritesAndARead)
{
    for (const char* code : {"16", "0x10", "020", "0X10"}) {
        RunResult run = runPanoctl(machine(), {"get", kId, code});
        EXPECT_EQ(run.out, "{\"value\":50}\n") << code;
        EXPECT_EQ(run.trace, getTransaction(kGetRequest, kGetReply)) << code;
        EXPECT_EQ(run.status, 0);
    }
}

TEST(Get, ValuesAreSixteenBits)
{
    RunResult run = runPanoctl(machine(), {"get", kId, "0x12"});
    EXPECT_EQ(run.out, "{\"value\":1200}\n");
}

struct GetFailure {
    const char* what;
    Json faults;
    size_t traceLength;  // where the transaction stops
};

void PrintTo(const GetFailure& c, std::ostream* os)
{
    *os << c.what;
}

class GetFailures : public testing::TestWithParam<GetFailure> {};

TEST_P(GetFailures, ReportReadFailed)
{
    RunResult run = runPanoctl(machine(GetParam().faults), {"get", kId, "0x10"});
    EXPECT_EQ(run.out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.trace.size(), GetParam().traceLength);
}

INSTANTIATE_TEST_SUITE_P(
    Transaction, GetFailures,
    testing::Values(
        GetFailure{"first write", {{"failWrites", {0}}}, 2},
        GetFailure{"second write", {{"failWrites", {1}}}, 4},
        GetFailure{"read", {{"failReads", {0}}}, 6},
        GetFailure{"top bit clear",
                   {{"replies", {{"0", replyHex({0x6e, 0x08, 2, 0, 0x10, 0, 0, 100, 0, 50}, 12)}}}},
                   6},
        GetFailure{"result code set",
                   {{"replies", {{"0", replyHex({0x6e, 0x88, 2, 1, 0x10, 0, 0, 100, 0, 50}, 12)}}}},
                   6},
        GetFailure{"wrong echo",
                   {{"replies", {{"0", replyHex({0x6e, 0x88, 2, 0, 0x11, 0, 0, 100, 0, 50}, 12)}}}},
                   6}));

TEST(Get, UncheckedBytesStayUnchecked)
{
    // A wrong checksum and odd bytes elsewhere do not fail the read.
    Json faults{
        {"replies", {{"0", replyHex({0, 0x81, 0xff, 0, 0x10, 0xff, 0, 9, 0, 7, 0x55, 0x66}, 12)}}}};
    RunResult run = runPanoctl(machine(faults), {"get", kId, "0x10"});
    EXPECT_EQ(run.out, "{\"value\":7}\n");
}

TEST(Get, UnsupportedCodeAndUnknownDisplayReadFailed)
{
    RunResult unsupported = runPanoctl(machine(), {"get", kId, "0xE0"});
    EXPECT_EQ(unsupported.out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    RunResult unknown = runPanoctl(machine(), {"get", "nope", "0x10"});
    EXPECT_EQ(unknown.out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    EXPECT_TRUE(unknown.trace.empty());
}

TEST(Set, WritesThreeTimesAndTheMonitorTakesTheValue)
{
    RunResult run = runPanoctl(machine(), {"set", kId, "0x10", "50"});
    const std::string write = "write 0x37 0x51 84 03 10 00 32 9a -> 0";
    EXPECT_EQ(run.trace, (Trace{kPause, write, kPause, write, kPause, write}));
    EXPECT_EQ(run.out, "{\"ok\":true}\n");

    run = runPanoctl(machine(), {"set", kId, "16", "300"});
    EXPECT_EQ(run.trace[1], "write 0x37 0x51 84 03 10 01 2c 85 -> 0");
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 100);  // the monitor caps it at its maximum
    run = runPanoctl(machine(), {"set", kId, "0x12", "3500"});
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x12), 3500);
}

TEST(Set, OkWhenAnyOfTheThreeWritesIsAccepted)
{
    struct {
        Json failing;
        const char* out;
    } cases[] = {
        {{0}, "{\"ok\":true}\n"}, {{1, 2}, "{\"ok\":true}\n"}, {{0, 1, 2}, "{\"ok\":false}\n"}};
    for (const auto& c : cases) {
        RunResult run = runPanoctl(machine({{"failWrites", c.failing}}), {"set", kId, "0x10", "1"});
        EXPECT_EQ(run.out, c.out) << c.failing;
        EXPECT_EQ(run.trace.size(), 6U) << "all three writes are always made";
    }
}

TEST(Set, UnknownDisplayTouchesNothing)
{
    RunResult run = runPanoctl(machine(), {"set", "nope", "0x10", "1"});
    EXPECT_EQ(run.out, "{\"ok\":false}\n");
    EXPECT_TRUE(run.trace.empty());
}

TEST(Capabilities, ReadsChunksUntilTheClosingParenthesis)
{
    RunResult run = runPanoctl(machine(), {"capabilities", kId});
    Json document = Json::parse(run.out);
    EXPECT_EQ(document["capabilities"], kCapabilities);
    ASSERT_GT(kCapabilities.size(), 256U);

    // Start request, the longer pause, then a write and a read per chunk.
    size_t chunks = (kCapabilities.size() + 31) / 32;
    ASSERT_EQ(run.trace.size(), 3 + 4 * chunks);
    EXPECT_EQ(run.trace[0], kPause);
    EXPECT_EQ(run.trace[1], "write 0x37 0x51 f3 00 00 cc -> 0");
    EXPECT_EQ(run.trace[2], "sleep 50000");
    EXPECT_EQ(run.trace[4], "write 0x37 0x51 e3 00 00 dc -> 0");
    EXPECT_EQ(run.trace[8], "write 0x37 0x51 e3 00 20 fc -> 0");
    // Offsets go on past 255 instead of wrapping to the start.
    EXPECT_EQ(run.trace[4 + 4 * 8], "write 0x37 0x51 e3 01 00 dd -> 0");
    EXPECT_EQ(run.trace[4 + 4 * 9], "write 0x37 0x51 e3 01 20 fd -> 0");
}

std::string chunk(const std::string& text)
{
    std::vector<int> bytes{0x6e, 0x80 + 3 + static_cast<int>(text.size()), 0xe3, 0};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return replyHex(bytes, 40);
}

struct ChunkCase {
    const char* what;
    std::vector<std::string> chunks;  // replies to the chunk reads, in order
    std::string expected;             // the capabilities member
    size_t chunkRequests;
};

void PrintTo(const ChunkCase& c, std::ostream* os)
{
    *os << c.what;
}

class CapabilityChunks : public testing::TestWithParam<ChunkCase> {};

TEST_P(CapabilityChunks, GathersTheText)
{
    Json replies = Json::object();
    for (size_t i = 0; i < GetParam().chunks.size(); i++) {
        replies[std::to_string(i)] = GetParam().chunks[i];
    }
    RunResult run = runPanoctl(machine({{"replies", replies}}, ""), {"capabilities", kId});
    EXPECT_EQ(Json::parse(run.out)["capabilities"], GetParam().expected);
    EXPECT_EQ(run.trace.size(), 3 + 4 * GetParam().chunkRequests);
}

std::vector<ChunkCase> chunkCases()
{
    std::vector<std::string> thirteen(13, chunk("(abc"));
    std::string thirteenText;
    for (int i = 0; i < 13; i++) {
        thirteenText += "(abc";
    }
    // Bytes 4 to 39 all text, no NUL.
    std::vector<int> wideReply{0x6e, 0xa3, 0xe3, 0, '('};
    wideReply.resize(40, 'w');
    return {
        {"stops once the text ends in ')'",
         {chunk("(prot(monitor)type(l"), chunk("cd))")},
         "(prot(monitor)type(lcd))",
         2},
        {"parentheses are not counted", {chunk("(prot(monitor)")}, "(prot(monitor)", 1},
        {"an empty chunk does not end the read", {chunk("(a"), chunk(""), chunk("b)")}, "(ab)", 3},
        {"at most 35 bytes a chunk", {replyHex(wideReply, 40)}, "(" + std::string(34, 'w'), 13},
        {"thirteen chunks at most; a partial text is printed", thirteen, thirteenText, 13},
        {"a text not starting with '(' is no capabilities string", {chunk("prot)")}, "", 1},
        {"quotes and backslashes are escaped",
         {chunk("(model(\"A\\B\"))")},
         "(model(\"A\\B\"))",
         1},
    };
}

INSTANTIATE_TEST_SUITE_P(Reader, CapabilityChunks, testing::ValuesIn(chunkCases()));

TEST(Capabilities, FailuresGiveTheEmptyDocumentOrKeepWhatWasRead)
{
    RunResult firstWrite = runPanoctl(machine({{"failWrites", {1}}}), {"capabilities", kId});
    EXPECT_EQ(firstWrite.out, "{\"capabilities\":\"\"}\n");
    EXPECT_EQ(firstWrite.trace, (Trace{kPause, "write 0x37 0x51 f3 00 00 cc -> 0", "sleep 50000",
                                       kPause, "write 0x37 0x51 e3 00 00 dc -> 0xe00002bc"}));

    // The start request's status is not looked at.
    RunResult start = runPanoctl(machine({{"failWrites", {0}}}), {"capabilities", kId});
    EXPECT_EQ(Json::parse(start.out)["capabilities"], kCapabilities);

    RunResult laterRead = runPanoctl(machine({{"failReads", {2}}}), {"capabilities", kId});
    EXPECT_EQ(Json::parse(laterRead.out)["capabilities"], kCapabilities.substr(0, 64));

    RunResult unknown = runPanoctl(machine(), {"capabilities", "nope"});
    EXPECT_EQ(unknown.out, "{\"capabilities\":\"\"}\n");
    EXPECT_TRUE(unknown.trace.empty());
}

TEST(Probe, TriesSixAddressingsAndLeavesTheEepromAlone)
{
    RunResult run = runPanoctl(machine(), {"probeaddr", kId});
    EXPECT_EQ(run.out, "{\"0x37/0x51\":{\"write\":true,\"ok\":true,\"current\":50,\"max\":100},"
                       "\"0x37/0x50\":{\"write\":true,\"ok\":false,\"current\":-1,\"max\":-1},"
                       "\"0x37/0x52\":{\"write\":true,\"ok\":false,\"current\":-1,\"max\":-1},"
                       "\"0x50/0x51\":{\"write\":false,\"ok\":false,\"current\":-1,\"max\":-1},"
                       "\"0x50/0x50\":{\"write\":false,\"ok\":false,\"current\":-1,\"max\":-1},"
                       "\"0x50/0x52\":{\"write\":false,\"ok\":false,\"current\":-1,\"max\":-1}}\n");
    EXPECT_EQ(run.status, 0);
    // The bare write goes out with no pause before it.
    Trace first(run.trace.begin(), run.trace.begin() + 7);
    EXPECT_EQ(first,
              (Trace{kGetRequest, kPause, kGetRequest, kPause, kGetRequest, kPause, kGetReply}));
    EXPECT_EQ(run.trace[7], "write 0x37 0x50 82 01 10 ad -> 0");
    EXPECT_EQ(run.trace[14], "write 0x37 0x52 82 01 10 af -> 0");
    EXPECT_EQ(run.trace.size(), 21U);
    for (const std::string& line : run.trace) {
        EXPECT_EQ(line.find(" 0x50 0x"), std::string::npos) << "traffic to the EEPROM: " << line;
    }
}

TEST(Probe, CodeArgumentAndFailingService)
{
    RunResult contrast = runPanoctl(machine(), {"probeaddr", kId, "0x12"});
    EXPECT_EQ(Json::parse(contrast.out)["0x37/0x51"],
              (Json{{"write", true}, {"ok", true}, {"current", 1200}, {"max", 4000}}));

    std::string unanswered = reg::scenario({reg::panel(kId, "X"), reg::proxy("")});
    RunResult dead = runPanoctl(unanswered, {"probeaddr", kId});
    Json entries = Json::parse(dead.out);
    EXPECT_EQ(entries.size(), 6U);
    for (auto& [key, entry] : entries.items()) {
        EXPECT_EQ(entry, (Json{{"write", false}, {"ok", false}, {"current", -1}, {"max", -1}}))
            << key;
    }
    EXPECT_EQ(dead.trace.size(), 3U * 3);  // bare write, then one pause and a failed write

    RunResult unknown = runPanoctl(machine(), {"probeaddr", "nope"});
    EXPECT_EQ(unknown.out, "{\"error\":\"no_such_display\"}\n");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.trace.empty());
}

struct BadNumber {
    std::vector<std::string> args;
    std::string refused;
};

void PrintTo(const BadNumber& c, std::ostream* os)
{
    *os << testing::PrintToString(c.refused);
}

class NumberArguments : public testing::TestWithParam<BadNumber> {};

TEST_P(NumberArguments, AreRefusedBeforeAnythingIsSent)
{
    DebugEnv debug("1");
    RunResult run = runPanoctl(machine(), GetParam().args);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "[dbg] shim=1 shimWithUUID=1 proxy=1 added=1\ninvalid number: " +
                           GetParam().refused + "\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.trace.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refused, NumberArguments,
    testing::Values(
        BadNumber{{"set", kId, "0x10", "5O"}, "5O"}, BadNumber{{"set", kId, "0x10", "abc"}, "abc"},
        BadNumber{{"set", kId, "0x10", "65536"}, "65536"},
        BadNumber{{"set", kId, "0x10", "-1"}, "-1"}, BadNumber{{"set", kId, "256", "1"}, "256"},
        BadNumber{{"set", kId, "0x", "1"}, "0x"}, BadNumber{{"get", kId, ""}, ""},
        BadNumber{{"get", kId, "0x110"}, "0x110"}, BadNumber{{"get", kId, "16 "}, "16 "},
        BadNumber{{"get", "unknown-id", "09"}, "09"},
        BadNumber{{"get", kId, "99999999999999999999"}, "99999999999999999999"},
        BadNumber{{"probeaddr", kId, "0x1G"}, "0x1G"}));

TEST(NumberArguments, EveryNumericSyntaxIsAccepted)
{
    for (const char* value : {"65535", "0xFFFF", "0177777", "0"}) {
        RunResult run = runPanoctl(machine(), {"set", kId, "0x12", value});
        EXPECT_EQ(run.out, "{\"ok\":true}\n") << value;
    }
    RunResult run = runPanoctl(machine(), {"set", kId, "0x12", "65535"});
    EXPECT_EQ(run.trace[1], "write 0x37 0x51 84 03 12 ff ff aa -> 0");
}

}  // namespace
