// The fault sweep: for every command that talks to a monitor, each I2C
// operation of its transaction fails in turn, then each read is answered with
// each class of malformed reply, and the document and status must be the ones
// the command's rules give for that fault. Expectations come from the rules,
// case by case, never from a run of the tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"

using reg::Json;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-00000000F00D";
// Three chunks of 32 bytes; no chunk but the last ends in ')', so a
// reader that stops on ')' reads all three.
const std::string kCapabilities = "(prot(monitor)type(LCD)model(SW1)cmds(01 02 03 07 0C E3 F3)"
                                  "vcp(02 10 12 60(0F 11))mccs_ver(2.2))";

// A reply a monitor should not give, and what the rules make of it: as a Get
// VCP reply to code 0x10 (accepted or not, and the values then), and as a
// capabilities chunk (the text it adds, as the document shows it).
struct ReplyClass {
    const char* name;
    std::vector<int> bytes;  // zero-padded or cut to the length read
    bool accepted;
    int current;
    int maximum;
    std::string chunkText;
};

std::vector<int> textReply(const std::string& text)
{
    std::vector<int> bytes{0x6e, 0x80 + 3 + static_cast<int>(text.size()), 0xe3, 0x00};
    for (unsigned char c : text) bytes.push_back(c);
    return bytes;
}

ReplyClass rejected(const char* name, std::vector<int> bytes, std::string chunkText)
{
    return {name, std::move(bytes), false, 0, 0, std::move(chunkText)};
}

ReplyClass accepted(const char* name, std::vector<int> bytes, int current, int maximum,
                    std::string chunkText)
{
    return {name, std::move(bytes), true, current, maximum, std::move(chunkText)};
}

std::string repeated(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; i++) result += text;
    return result;
}

const std::vector<ReplyClass>& replyClasses()
{
    std::vector<int> noNul = textReply("");
    noNul.resize(40, 'w');
    static const std::vector<ReplyClass> classes{
        rejected("nothing at all", {}, ""),
        rejected("null message", {0x6e, 0x80, 0xbe}, ""),
        rejected("every byte 0xff", std::vector<int>(40, 0xff), repeated("\u00ff", 35)),
        rejected("length byte without its top bit",
                 {0x6e, 0x08, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32}, "\x10"),
        rejected("unsupported code", {0x6e, 0x88, 0x02, 0x01, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32},
                 "\x10"),
        rejected("another code echoed",
                 {0x6e, 0x88, 0x02, 0x00, 0x11, 0x00, 0x00, 0x64, 0x00, 0x32}, "\x11"),
        // Only the length bit, the result code and the echo are checked.
        accepted("cut after the echo", {0x6e, 0x88, 0x02, 0x00, 0x10}, 0, 0, "\x10"),
        accepted("bad checksum and odd bytes",
                 {0x00, 0x81, 0xff, 0x00, 0x10, 0x7f, 0x12, 0x34, 0xfe, 0xdc, 0x55, 0x66}, 0xfedc,
                 0x1234, "\x10\x7f\x12\x34\u00fe\u00dcUf"),
        accepted("longer than the read",
                 {0x6e, 0x88, 0x02, 0x00, 0x10, 0x00, 0xff, 0xff, 0xff, 0xff, 0x00, 0xaa, 0xbb},
                 0xffff, 0xffff, "\x10"),
        rejected("capabilities chunk", textReply("(vcp(10))"), "(vcp(10))"),
        rejected("text with no NUL", noNul, std::string(35, 'w')),
        rejected("quotes, backslash and UTF-8", textReply("a\"b\\c\xc3\xa9\xe2\x82\xac"),
                 "a\"b\\c\xc3\xa9\xe2\x82\xac"),
    };
    return classes;
}

std::string hex(const std::vector<int>& bytes)
{
    std::string text;
    for (int byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

// One injected fault: an operation that fails, or a read with a given reply.
struct Fault {
    enum class Kind { FailWrite, FailRead, Reply } kind;
    int index;
    const ReplyClass* reply = nullptr;
};

std::string describe(const Fault& fault)
{
    switch (fault.kind) {
        case Fault::Kind::FailWrite: return "write " + std::to_string(fault.index) + " fails";
        case Fault::Kind::FailRead: return "read " + std::to_string(fault.index) + " fails";
        case Fault::Kind::Reply:
            return "read " + std::to_string(fault.index) + " gets " + fault.reply->name;
    }
    return "";
}

std::string machine(const std::optional<Fault>& fault)
{
    Json monitor = reg::monitor(50, 100, kCapabilities);
    if (fault) {
        std::string index = std::to_string(fault->index);
        switch (fault->kind) {
            case Fault::Kind::FailWrite:
                monitor["faults"] = {{"failWrites", {fault->index}}};
                break;
            case Fault::Kind::FailRead: monitor["faults"] = {{"failReads", {fault->index}}}; break;
            case Fault::Kind::Reply:
                monitor["faults"] = {{"replies", {{index, hex(fault->reply->bytes)}}}};
                break;
        }
    }
    return reg::scenario({reg::panel(kId, "Sweep"), reg::proxy("m")}, {{"m", monitor}});
}

const Json kReadFailed{{"value", nullptr}, {"error", "read_failed"}};

// get: the request written twice, then one read.
Json getExpected(const Fault& fault)
{
    if (fault.kind == Fault::Kind::Reply && fault.reply->accepted) {
        return {{"value", fault.reply->current}};
    }
    return kReadFailed;
}

// set: three writes, nothing read; ok unless all three fail.
Json setExpected(const Fault& /*fault*/)
{
    return {{"ok", true}};
}

// capabilities: write 0 is the start request, whose status is not looked at;
// then chunk k is write k + 1 and read k. The text of each chunk runs from
// byte 4 to a NUL, 35 bytes at most; reading stops on a failure, on a text
// that ends in ')' or after 13 chunks, and the text is printed only if it
// starts with '('.
Json capabilitiesExpected(const Fault& fault)
{
    std::string text;
    for (int chunk = 0; chunk < 13; chunk++) {
        bool failed = (fault.kind == Fault::Kind::FailWrite && fault.index == chunk + 1) ||
                      (fault.kind == Fault::Kind::FailRead && fault.index == chunk);
        if (failed) break;
        size_t offset = static_cast<size_t>(chunk) * 32;
        if (fault.kind == Fault::Kind::Reply && fault.index == chunk) {
            text += fault.reply->chunkText;
        } else if (offset < kCapabilities.size()) {
            text += kCapabilities.substr(offset, 32);
        }
        if (!text.empty() && text.back() == ')') break;
    }
    return {{"capabilities", text.starts_with('(') ? text : ""}};
}

// probeaddr: for data addresses 0x51, 0x50 and 0x52 in turn, a bare write
// (write 3a) and then a get (writes 3a + 1 and 3a + 2, read a). Only 0x51
// reaches the monitor's request handling; chip 0x50 is never touched.
Json probeExpected(const Fault& fault)
{
    const char* addresses[] = {"0x51", "0x50", "0x52"};
    Json unanswered{{"write", false}, {"ok", false}, {"current", -1}, {"max", -1}};
    Json document = Json::object();
    for (int a = 0; a < 3; a++) {
        bool bareFails = fault.kind == Fault::Kind::FailWrite && fault.index == 3 * a;
        bool getFails = (fault.kind == Fault::Kind::FailWrite &&
                         (fault.index == 3 * a + 1 || fault.index == 3 * a + 2)) ||
                        (fault.kind == Fault::Kind::FailRead && fault.index == a);
        bool replaced = fault.kind == Fault::Kind::Reply && fault.index == a;
        Json entry{{"write", !bareFails}, {"ok", false}, {"current", -1}, {"max", -1}};
        if (replaced && fault.reply->accepted) {
            entry["ok"] = true;
            entry["current"] = fault.reply->current;
            entry["max"] = fault.reply->maximum;
        } else if (a == 0 && !getFails && !replaced) {
            entry["ok"] = true;
            entry["current"] = 50;
            entry["max"] = 100;
        }
        document[std::string("0x37/") + addresses[a]] = entry;
    }
    for (const char* address : addresses) {
        document[std::string("0x50/") + address] = unanswered;
    }
    return document;
}

struct CommandSweep {
    std::vector<std::string> args;
    int writes;  // in the transaction when nothing fails
    int reads;
    std::function<Json(const Fault&)> expected;
};

int countOperations(const std::vector<std::string>& trace, const std::string& kind)
{
    int count = 0;
    for (const std::string& line : trace) {
        count += line.starts_with(kind + " ") ? 1 : 0;
    }
    return count;
}

// Runs one command under one fault and checks its document and status.
void check(const CommandSweep& sweep, const Fault& fault)
{
    SCOPED_TRACE(sweep.args[0] + ", " + describe(fault));
    RunResult run = runPanoctl(machine(fault), sweep.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line";
    ASSERT_TRUE(Json::accept(run.out)) << run.out;
    EXPECT_EQ(Json::parse(run.out), sweep.expected(fault)) << run.out;
}

TEST(FaultSweep, EveryOperationAndEveryMalformedReplyOfEveryCommand)
{
    const std::vector<CommandSweep> sweeps{
        {{"get", kId, "0x10"}, 2, 1, getExpected},
        {{"set", kId, "0x10", "70"}, 3, 0, setExpected},
        {{"capabilities", kId}, 4, 3, capabilitiesExpected},
        {{"probeaddr", kId}, 9, 3, probeExpected},
    };
    int cases = 0;
    for (const CommandSweep& sweep : sweeps) {
        // The transaction as it goes with nothing wrong: the operations the
        // sweep then fails one by one.
        RunResult clean = runPanoctl(machine(std::nullopt), sweep.args);
        ASSERT_EQ(countOperations(clean.trace, "write"), sweep.writes) << sweep.args[0];
        ASSERT_EQ(countOperations(clean.trace, "read"), sweep.reads) << sweep.args[0];

        int before = cases;
        for (int i = 0; i < sweep.writes; i++, cases++) {
            check(sweep, {Fault::Kind::FailWrite, i});
        }
        for (int i = 0; i < sweep.reads; i++) {
            check(sweep, {Fault::Kind::FailRead, i});
            cases++;
            for (const ReplyClass& reply : replyClasses()) {
                check(sweep, {Fault::Kind::Reply, i, &reply});
                cases++;
            }
        }
        std::printf("fault sweep: %s: %d cases\n", sweep.args[0].c_str(), cases - before);
    }
    std::printf("fault sweep: %d cases\n", cases);
    RecordProperty("cases", cases);
}

}  // namespace
