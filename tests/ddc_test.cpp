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
using std::string_literals::operator""s;

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

// `message` followed by its reply checksum (0x50 XOR its bytes), then `extra`.
std::vector<int> withChecksum(std::vector<int> message, std::vector<int> extra = {})
{
    int checksum = 0x50;
    for (int byte : message) checksum ^= byte;
    message.push_back(checksum);
    message.insert(message.end(), extra.begin(), extra.end());
    return message;
}

std::vector<int> vcpReply(std::vector<int> message, int byte11 = 0)
{
    return withChecksum(std::move(message), {byte11});
}

// Read 0 answered with `bytes`, as a 12-byte read sees them.
Json replyFault(const std::vector<int>& bytes)
{
    return {{"replies", {{"0", replyHex(bytes, 12)}}}};
}

Trace getTransaction(const std::string& request, const std::string& reply)
{
    return {kPause, request, kPause, request, kPause, reply};
}

TEST(Get, ReadsTheCurrentValueWithTwoWritesAndARead)
{
    for (const char* code : {"16", "0x10", "0X10", "brightness", "Brightness"}) {
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
                   replyFault(vcpReply({0x6e, 0x08, 2, 0, 0x10, 0, 0, 100, 0, 50})), 6},
        // 01 is "unsupported", a definite answer; any other is no answer.
        GetFailure{"result code neither 00 nor 01",
                   replyFault(vcpReply({0x6e, 0x88, 2, 2, 0x10, 0, 0, 100, 0, 50})), 6},
        GetFailure{"wrong echo", replyFault(vcpReply({0x6e, 0x88, 2, 0, 0x11, 0, 0, 100, 0, 50})),
                   6},
        GetFailure{"null message", replyFault({0x6e, 0x80, 0xbe}), 6},
        GetFailure{"capabilities fragment",
                   replyFault({0x6e, 0xa3, 0xe3, 0x00, 0x10, 0x00, 0xff, 0xff, 0x42, 0x42}), 6},
        GetFailure{"length byte 0x89",
                   replyFault(vcpReply({0x6e, 0x89, 2, 0, 0x10, 0, 0, 100, 0, 50})), 6},
        GetFailure{"opcode not 0x02",
                   replyFault(vcpReply({0x6e, 0x88, 3, 0, 0x10, 0, 0, 100, 0, 50})), 6},
        GetFailure{"a value bit flipped after the checksum was made",
                   replyFault({0x6e, 0x88, 2, 0, 0x10, 0, 0, 100, 0, 50 ^ 0x04, 0xf2}), 6},
        GetFailure{"checksum wrong", replyFault({0x6e, 0x88, 2, 0, 0x10, 0, 0, 100, 0, 50, 0xf3}),
                   6}));

TEST(Get, OnlyTheChecksumCoversByteZeroAndTheValueBytes)
{
    // Byte 0 and bytes 5 to 9 are free as long as the checksum matches them;
    // byte 11 is past the message.
    Json faults =
        replyFault(vcpReply({0x00, 0x88, 2, 0, 0x10, 0x7f, 0x12, 0x34, 0xfe, 0xdc}, 0x66));
    RunResult run = runPanoctl(machine(faults), {"get", kId, "0x10"});
    EXPECT_EQ(run.out, "{\"value\":65244}\n");
}

TEST(Get, UnsupportedCodeIsADefiniteAnswerAndAnUnknownDisplayReadFailed)
{
    RunResult unsupported = runPanoctl(machine(), {"get", kId, "0xE0"});
    EXPECT_EQ(unsupported.out, "{\"value\":null,\"error\":\"unsupported\"}\n");
    EXPECT_EQ(unsupported.err, "");
    RunResult withMax = runPanoctl(machine(), {"--max", "get", kId, "0xE0"});
    EXPECT_EQ(withMax.out, "{\"value\":null,\"max\":null,\"error\":\"unsupported\"}\n");
    RunResult unknown = runPanoctl(machine(), {"get", "nope", "0x10"});
    EXPECT_EQ(unknown.out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    EXPECT_EQ(unknown.err, "panoctl: no display nope (panoctl list shows them)\n");
    EXPECT_TRUE(unknown.trace.empty());
    // The note echoes the selector as a refusal does: escaped, one line.
    RunResult escaped = runPanoctl(machine(), {"get", "no\npe\x1b[31m", "0x10"});
    EXPECT_EQ(escaped.err,
              "panoctl: no display no\\u000ape\\u001b[31m (panoctl list shows them)\n");
}

TEST(Get, UnsupportedIsNeverAskedAgainWhileAGarbledReplyIs)
{
    // Retrying cannot change a monitor's mind about a code it lacks.
    RunResult unsupported = runPanoctl(machine(), {"--retries", "3", "get", kId, "0xE0"});
    EXPECT_EQ(unsupported.out, "{\"value\":null,\"error\":\"unsupported\"}\n");
    EXPECT_EQ(unsupported.trace.size(), 6U);  // two writes and one read, each after a pause
    // A read that failed on the way is another matter.
    RunResult garbled =
        runPanoctl(machine({{"failReads", {0}}}), {"--retries", "3", "get", kId, "0x10"});
    EXPECT_EQ(garbled.out, "{\"value\":50}\n");
    EXPECT_EQ(garbled.trace.size(), 12U);
}

TEST(Set, AnActionIsSentOnceAndAgainOnlyWhenTheWriteFailed)
{
    RunResult reset = runPanoctl(machine(), {"set", kId, "restore-factory-defaults", "1"});
    EXPECT_EQ(reset.out, "{\"ok\":true}\n");
    EXPECT_EQ(reset.trace, (Trace{kPause, "write 0x37 0x51 84 03 04 00 01 bd -> 0"}));
    RunResult verified = runPanoctl(machine(), {"--verify", "set", kId, "0x04", "1"});
    EXPECT_EQ(verified.trace.size(), 2U) << "an action leaves nothing to read back";

    RunResult failed =
        runPanoctl(machine({{"failWrites", {0}}}), {"--retries", "2", "set", kId, "0xB0", "1"});
    EXPECT_EQ(failed.out, "{\"ok\":true}\n");
    EXPECT_EQ(failed.trace.size(), 4U);
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

// The request line for `offset`: 83 f3, the offset high byte first, checksum.
std::string capabilitiesRequest(int offset, const std::string& status = "0")
{
    int high = offset >> 8;
    int low = offset & 0xFF;
    char line[64];
    std::snprintf(line, sizeof line, "write 0x37 0x51 83 f3 %02x %02x %02x -> %s", high, low,
                  0x6e ^ 0x51 ^ 0x83 ^ 0xf3 ^ high ^ low, status.c_str());
    return line;
}

TEST(Capabilities, ReadsTheWholeStringAskingForTheOffsetPastTheData)
{
    RunResult run = runPanoctl(machine(), {"capabilities", kId});
    EXPECT_EQ(Json::parse(run.out)["capabilities"], kCapabilities);
    ASSERT_EQ(kCapabilities.size(), 320U);

    // The first request, the longer pause, then a write and a read per
    // fragment: ten of 32 bytes, the parentheses closing in the last.
    ASSERT_EQ(run.trace.size(), 3 + 4 * 10U);
    EXPECT_EQ(run.trace[0], kPause);
    EXPECT_EQ(run.trace[1], "write 0x37 0x51 83 f3 00 00 4f -> 0");
    EXPECT_EQ(run.trace[2], "sleep 50000");
    for (int fragment = 0; fragment < 10; fragment++) {
        EXPECT_EQ(run.trace[3 + 4 * fragment], kPause);
        EXPECT_EQ(run.trace[4 + 4 * fragment], capabilitiesRequest(32 * fragment));
        EXPECT_EQ(run.trace[5 + 4 * fragment], kPause);
        EXPECT_TRUE(run.trace[6 + 4 * fragment].starts_with("read 0x37 0x51 40 -> 0 6e a3 e3 "));
    }
    EXPECT_EQ(run.trace[8], "write 0x37 0x51 83 f3 00 20 6f -> 0");
    EXPECT_EQ(run.trace[4 + 4 * 7], "write 0x37 0x51 83 f3 00 e0 af -> 0");
    EXPECT_EQ(run.trace[4 + 4 * 8], "write 0x37 0x51 83 f3 01 00 4e -> 0");
    EXPECT_EQ(run.trace[4 + 4 * 9], "write 0x37 0x51 83 f3 01 20 6e -> 0");
}

TEST(Capabilities, AParenthesisAtEveryFragmentBoundaryDoesNotCutTheString)
{
    // 609 bytes, longer than thirteen fragments, and every fragment of 32
    // ends in ')'.
    std::string text = "((" + std::string(29, 'a') + ")";
    for (int i = 0; i < 18; i++) text += "(" + std::string(30, 'b') + ")";
    text += ")";
    ASSERT_EQ(text.size(), 609U);
    RunResult run = runPanoctl(machine(Json::object(), text), {"capabilities", kId});
    EXPECT_EQ(Json::parse(run.out)["capabilities"], text);
    EXPECT_EQ(run.trace.size(), 3 + 4 * 20U);
}

TEST(Capabilities, TheLongestTextIsPrintedWholeEscaped)
{
    // Never closed: read until the 2047 bytes are full, at the 64th
    // fragment; every byte but the first escapes to six.
    std::string text = "(" + std::string(3000, '\x01');
    RunResult run = runPanoctl(machine(Json::object(), text), {"capabilities", kId});
    EXPECT_EQ(run.out.size(), std::string("{\"capabilities\":\"\"}\n").size() + 1 + 2046 * 6);
    EXPECT_EQ(Json::parse(run.out)["capabilities"], text.substr(0, 2047));
    EXPECT_EQ(run.trace.size(), 3 + 4 * 64U);
}

// A fragment as the monitor frames it, answering a request for `offset`.
std::string fragment(int offset, const std::string& data)
{
    std::vector<int> bytes{0x6e, 0x80 + 3 + static_cast<int>(data.size()), 0xe3, offset >> 8,
                           offset & 0xFF};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return replyHex(withChecksum(bytes), 40);
}

// A fragment with one byte changed after its checksum was made.
std::string garbled(int offset, const std::string& data, size_t at, int value)
{
    std::string hex = fragment(offset, data);
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", value);
    return hex.replace(2 * at, 2, pair);
}

struct FragmentCase {
    const char* what;
    std::vector<std::string> replies;  // to the fragment reads, in order
    std::string expected;              // the capabilities member
    std::vector<int> offsets;          // asked for, in order
};

void PrintTo(const FragmentCase& c, std::ostream* os)
{
    *os << c.what;
}

class CapabilityFragments : public testing::TestWithParam<FragmentCase> {};

TEST_P(CapabilityFragments, GatherTheText)
{
    Json replies = Json::object();
    for (size_t i = 0; i < GetParam().replies.size(); i++) {
        replies[std::to_string(i)] = GetParam().replies[i];
    }
    RunResult run = runPanoctl(machine({{"replies", replies}}, ""), {"capabilities", kId});
    ASSERT_TRUE(Json::accept(run.out)) << run.out;
    EXPECT_EQ(Json::parse(run.out)["capabilities"], GetParam().expected);
    Trace requests;
    for (size_t i = 4; i < run.trace.size(); i += 4) requests.push_back(run.trace[i]);
    Trace expected;
    for (int offset : GetParam().offsets) expected.push_back(capabilitiesRequest(offset));
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(run.trace.size(), 3 + 4 * GetParam().offsets.size());
}

std::vector<FragmentCase> fragmentCases()
{
    const std::string x31 = "(" + std::string(30, 'x');
    const std::string y32(32, 'y');
    std::vector<std::string> oneByteEach;
    std::vector<int> offsets64;
    for (int i = 0; i < 70; i++) oneByteEach.push_back(fragment(i, i == 0 ? "(" : "z"));
    for (int i = 0; i < 64; i++) offsets64.push_back(i);
    return {
        {"fragments of 31, 32 and 1 byte, then the end of the string",
         {fragment(0, x31), fragment(31, y32), fragment(63, "q"), fragment(64, "")},
         x31 + y32 + "q",
         {0, 31, 63, 64}},
        {"one data byte a fragment",
         {fragment(0, "("), fragment(1, "a"), fragment(2, ")")},
         "(a)",
         {0, 1, 2}},
        {"nested parentheses close only at the end",
         {fragment(0, "(a(b)"), fragment(5, "c)")},
         "(a(b)c)",
         {0, 5}},
        {"an empty first fragment", {fragment(0, "")}, "", {0}},
        {"a NUL keeps the bytes before it", {fragment(0, "(ab\0cd)"s)}, "(ab", {0}},
        {"a text not starting with '(' is read on to the end of the string",
         {fragment(0, "prot(a)"), fragment(7, "vcp("), fragment(11, "10)"), fragment(14, "")},
         "prot(a)vcp(10)",
         {0, 7, 11, 14}},
        {"so is one that starts with a space, past parentheses that close",
         {fragment(0, " (a)"), fragment(4, ")")},
         " (a))",
         {0, 4, 5}},
        {"a NUL ends a text not starting with '('",
         {fragment(0, "ab"), fragment(2, "c\0d"s)},
         "abc",
         {0, 2}},
        {"a repeated fragment echoes the wrong offset",
         {fragment(0, "(a"), fragment(0, "(a")},
         "(a",
         {0, 2}},
        {"a string that never ends: 64 fragments", oneByteEach, "(" + std::string(63, 'z'),
         offsets64},
        {"length byte above 35", {fragment(0, "(a"), garbled(2, "b)", 1, 0xa4)}, "(a", {0, 2}},
        {"length byte below 3", {fragment(0, "(a"), garbled(2, "b)", 1, 0x82)}, "(a", {0, 2}},
        {"length byte without its top bit",
         {fragment(0, "(a"), garbled(2, "b)", 1, 0x05)},
         "(a",
         {0, 2}},
        {"opcode not 0xe3", {garbled(0, "(a)", 2, 0xf3)}, "", {0}},
        {"offset high byte wrong", {fragment(0, "(a"), garbled(2, "b)", 3, 0x01)}, "(a", {0, 2}},
        {"checksum wrong", {fragment(0, "(a"), garbled(2, "b)", 7, 0x00)}, "(a", {0, 2}},
        {"a data byte changed", {fragment(0, "(a"), garbled(2, "b)", 5, 'c')}, "(a", {0, 2}},
        {"the null message", {fragment(0, "(a"), replyHex({0x6e, 0x80, 0xbe}, 40)}, "(a", {0, 2}},
        {"quotes and backslashes are escaped",
         {fragment(0, "(model(\"A\\B\"))")},
         "(model(\"A\\B\"))",
         {0}},
    };
}

INSTANTIATE_TEST_SUITE_P(Reader, CapabilityFragments, testing::ValuesIn(fragmentCases()));

TEST(Capabilities, FailuresGiveTheEmptyDocumentOrKeepWhatWasRead)
{
    RunResult firstWrite = runPanoctl(machine({{"failWrites", {1}}}), {"capabilities", kId});
    EXPECT_EQ(firstWrite.out, "{\"capabilities\":\"\"}\n");
    EXPECT_EQ(firstWrite.trace, (Trace{kPause, capabilitiesRequest(0), "sleep 50000", kPause,
                                       capabilitiesRequest(0, "0xe00002bc")}));

    // The first request's status is not looked at.
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

TEST(Probe, AnEntryWhoseReplyIsNotAValidVcpReplyIsNotOk)
{
    for (const std::vector<int>& reply :
         {std::vector<int>{0x6e, 0x80, 0xbe}, vcpReply({0x6e, 0x88, 2, 0, 0x10, 0, 0, 100, 0, 50}),
          std::vector<int>{0x6e, 0x88, 2, 0, 0x10, 0, 0, 100, 0, 51, 0xf2}}) {
        RunResult run = runPanoctl(machine(replyFault(reply)), {"probeaddr", kId});
        bool valid = reply.size() == 12 && reply[9] == 50;
        EXPECT_EQ(Json::parse(run.out)["0x37/0x51"], (Json{{"write", true},
                                                           {"ok", valid},
                                                           {"current", valid ? 50 : -1},
                                                           {"max", valid ? 100 : -1}}));
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
    std::string refused;  // the refusal, without "panoctl: " and the line feed
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
    EXPECT_EQ(run.err, "[dbg] shim=1 shimWithUUID=1 proxy=1 added=1\npanoctl: " +
                           GetParam().refused + "\n" + kNoTransfers);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.trace.empty());
}

std::string unknownFeature(const std::string& word)
{
    return "unknown feature: " + word + " (panoctl help features lists them)";
}

INSTANTIATE_TEST_SUITE_P(
    Refused, NumberArguments,
    testing::Values(
        BadNumber{{"set", kId, "0x10", "5O"}, "invalid number: 5O"},
        BadNumber{{"set", kId, "0x10", "abc"}, "invalid number: abc"},
        BadNumber{{"set", kId, "0x10", "65536"}, "out of range: 65536 (0 to 65535)"},
        BadNumber{{"set", kId, "256", "1"}, "out of range: 256 (0 to 255)"},
        BadNumber{{"set", kId, "0x", "1"}, "invalid number: 0x"},
        BadNumber{{"get", kId, ""}, unknownFeature("")},
        BadNumber{{"get", kId, "0x110"}, "out of range: 0x110 (0 to 255)"},
        BadNumber{{"get", kId, "16 "}, "invalid number: 16 "},
        BadNumber{{"get", kId, "99999999999999999999"},
                  "out of range: 99999999999999999999 (0 to 255)"},
        BadNumber{{"probeaddr", kId, "0x1G"}, "invalid number: 0x1G"},
        // Nobody adjusting a monitor means octal: a leading zero is refused
        // with the ways to write what was probably meant.
        BadNumber{{"get", "unknown-id", "09"},
                  "invalid number: 09 (leading zeros are not read as octal; write 9 or 0x9)"},
        BadNumber{{"set", kId, "0x10", "050"},
                  "invalid number: 050 (leading zeros are not read as octal; write 50 or 0x32)"},
        BadNumber{{"set", kId, "0x10", "050%"},
                  "invalid number: 050% (leading zeros are not read as octal; write 50 or 0x32)"},
        BadNumber{{"set", kId, "0x10", "+007"},
                  "invalid number: +007 (leading zeros are not read as octal; write 7 or 0x7)"},
        BadNumber{{"set", kId, "0x10", "101%"}, "out of range: 101% (0% to 100%)"},
        // No sign, white space or percentage but where a setting's value goes.
        BadNumber{{"get", kId, "+16"}, unknownFeature("+16")},
        BadNumber{{"get", kId, "-0"}, unknownFeature("-0")},
        BadNumber{{"get", kId, " 16"}, unknownFeature(" 16")},
        BadNumber{{"get", kId, "\t16"}, unknownFeature("\\u000916")},
        // Echoed escaped, as a document escapes it: one line whatever the word.
        BadNumber{{"get", kId, "16\n"}, "invalid number: 16\\u000a"},
        BadNumber{{"get", kId, "16%"}, "invalid number: 16%"},
        BadNumber{{"set", kId, "+0x10", "1"}, unknownFeature("+0x10")},
        BadNumber{{"set", kId, "0x10", " 5"}, "invalid number:  5"},
        BadNumber{{"set", kId, "0x10", "5 "}, "invalid number: 5 "},
        BadNumber{{"probeaddr", kId, "+0x10"}, unknownFeature("+0x10")},
        BadNumber{{"probeaddr", kId, "10%"}, "invalid number: 10%"}));

TEST(NumberArguments, DecimalAndHexadecimalAreAccepted)
{
    for (const char* value : {"65535", "0xFFFF", "0XffFF", "0"}) {
        RunResult run = runPanoctl(machine(), {"set", kId, "0x12", value});
        EXPECT_EQ(run.out, "{\"ok\":true}\n") << value;
    }
    RunResult run = runPanoctl(machine(), {"set", kId, "0x12", "65535"});
    EXPECT_EQ(run.trace[1], "write 0x37 0x51 84 03 12 ff ff aa -> 0");
}

}  // namespace
