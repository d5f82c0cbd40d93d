// The fault sweep: for every command that talks to a monitor, each I2C
// operation of its transaction fails in turn, then each read is answered with
// each class of malformed reply, and the document and status must be the ones
// the command's rules give for that fault. Expectations come from the rules,
// case by case, never from a run of the tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"

using reg::Json;
using std::string_literals::operator""s;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-00000000F00D";
// Three fragments of 32 bytes; the first ends in ')' and the parentheses
// balance only at the very end.
const std::string kCapabilities = "(prot(monitor)type(LCD)model(SW)cmds(01 02 03 07 0C E3 F3)"
                                  "vcp(02 10 12 60(0F 11))mccs_ver(2.20))";

// A reply a monitor should not give, and what the rules make of it: as a Get
// VCP reply to code 0x10 (accepted or not, and the values then), and as a
// capabilities fragment answering a request for offset 0 (its data bytes,
// or nothing when it is not a valid fragment; at any other offset none is
// valid, since each echoes offset 0).
struct ReplyClass {
    const char* name;
    std::vector<int> bytes;  // zero-padded or cut to the length read
    bool accepted;
    int current;
    int maximum;
    std::optional<std::string> fragmentData;
};

// `message` followed by its reply checksum, 0x50 XOR its bytes.
std::vector<int> withChecksum(std::vector<int> message)
{
    int checksum = 0x50;
    for (int byte : message) checksum ^= byte;
    message.push_back(checksum);
    return message;
}

std::vector<int> fragmentReply(const std::string& data)
{
    std::vector<int> bytes{0x6e, 0x80 + 3 + static_cast<int>(data.size()), 0xe3, 0x00, 0x00};
    for (unsigned char c : data) bytes.push_back(c);
    return withChecksum(bytes);
}

ReplyClass rejected(const char* name, std::vector<int> bytes,
                    std::optional<std::string> fragmentData = std::nullopt)
{
    return {name, std::move(bytes), false, 0, 0, std::move(fragmentData)};
}

ReplyClass accepted(const char* name, std::vector<int> bytes, int current, int maximum)
{
    return {name, std::move(bytes), true, current, maximum, std::nullopt};
}

const std::vector<ReplyClass>& replyClasses()
{
    std::vector<int> longer =
        withChecksum({0x6e, 0x88, 0x02, 0x00, 0x10, 0x00, 0xff, 0xff, 0xff, 0xff});
    longer.insert(longer.end(), {0xaa, 0xbb});
    std::vector<int> flipped =
        withChecksum({0x6e, 0x88, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32});
    flipped[9] ^= 0x01;
    std::vector<int> badFragment = fragmentReply("(vcp(10))");
    badFragment[5] ^= 0x20;
    static const std::vector<ReplyClass> classes{
        rejected("nothing at all", {}),
        rejected("null message", {0x6e, 0x80, 0xbe}),
        rejected("every byte 0xff", std::vector<int>(40, 0xff)),
        rejected("length byte without its top bit",
                 withChecksum({0x6e, 0x08, 0x02, 0x00, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32})),
        rejected("unsupported code",
                 withChecksum({0x6e, 0x88, 0x02, 0x01, 0x10, 0x00, 0x00, 0x64, 0x00, 0x32})),
        rejected("another code echoed",
                 withChecksum({0x6e, 0x88, 0x02, 0x00, 0x11, 0x00, 0x00, 0x64, 0x00, 0x32})),
        rejected("cut after the echo", {0x6e, 0x88, 0x02, 0x00, 0x10}),
        rejected("bad checksum",
                 {0x6e, 0x88, 0x02, 0x00, 0x10, 0x7f, 0x12, 0x34, 0xfe, 0xdc, 0x55}),
        rejected("a value bit flipped", flipped),
        accepted("odd bytes under a good checksum",
                 withChecksum({0x00, 0x88, 0x02, 0x00, 0x10, 0x7f, 0x12, 0x34, 0xfe, 0xdc}), 0xfedc,
                 0x1234),
        accepted("longer than the read", longer, 0xffff, 0xffff),
        rejected("capabilities fragment", fragmentReply("(vcp(10))"), "(vcp(10))"),
        rejected("fragment with a NUL inside", fragmentReply("(a\0b)"s), "(a\0b)"s),
        rejected("end-of-string fragment", fragmentReply(""), ""),
        rejected("fragment with a changed byte", badFragment),
        rejected("fragment of quotes, backslash and UTF-8",
                 fragmentReply("a\"b\\c\xc3\xa9\xe2\x82\xac"), "a\"b\\c\xc3\xa9\xe2\x82\xac"),
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
    // The monitor's word that it lacks the code is an answer, not a failure.
    if (fault.kind == Fault::Kind::Reply && fault.reply->name == std::string("unsupported code")) {
        return {{"value", nullptr}, {"error", "unsupported"}};
    }
    return kReadFailed;
}

// set: three writes, nothing read; ok unless all three fail.
Json setExpected(const Fault& /*fault*/)
{
    return {{"ok", true}};
}

// capabilities: write 0 is the first request, whose status is not looked
// at; then fragment k is write k + 1 and read k. The monitor's fragments carry
// 32 bytes from the offset asked for, which is the length of the text
// received so far. Reading stops on a failure, an invalid fragment, an empty
// one, a NUL, parentheses that balance in a text starting with '(', or after
// 64 fragments; whatever text came is printed.
Json capabilitiesExpected(const Fault& fault)
{
    std::string text;
    size_t offset = 0;
    for (int k = 0; k < 64; k++) {
        bool failed = (fault.kind == Fault::Kind::FailWrite && fault.index == k + 1) ||
                      (fault.kind == Fault::Kind::FailRead && fault.index == k);
        if (failed) break;
        std::optional<std::string> data;
        if (fault.kind == Fault::Kind::Reply && fault.index == k) {
            data = offset == 0 ? fault.reply->fragmentData : std::nullopt;
        } else {
            data = kCapabilities.substr(std::min(offset, kCapabilities.size()), 32);
        }
        if (!data || data->empty()) break;
        size_t nul = data->find('\0');
        text += data->substr(0, nul);
        offset += data->size();
        if (nul != std::string::npos ||
            (text.starts_with('(') && std::count(text.begin(), text.end(), '(') ==
                                          std::count(text.begin(), text.end(), ')'))) {
            break;
        }
    }
    return {{"capabilities", text}};
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
