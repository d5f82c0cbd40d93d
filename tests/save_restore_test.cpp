// `save` and `restore` through the real code on simulated monitors: the
// exact documents and statuses, and what goes over the bus: a restore reads
// each feature and writes only what differs, capped at the monitor's
// maximum, presets first; a refused document makes no traffic at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-00000000CAFE";

struct Level {
    int current;
    int max;
};
using Levels = std::map<std::string, Level>;

Json monitorWith(const Levels& levels, const std::string& capabilities, Json faults = nullptr)
{
    Json vcp = Json::object();
    for (const auto& [code, level] : levels) {
        vcp[code] = {{"current", level.current}, {"max", level.max}};
    }
    Json monitor{{"vcp", vcp}, {"capabilities", capabilities}};
    if (!faults.is_null()) {
        monitor["faults"] = std::move(faults);
    }
    return monitor;
}

std::string machine(const Levels& levels, const std::string& capabilities = "",
                    Json faults = nullptr, const std::string& name = "Studio \"27\"")
{
    return reg::scenario({reg::panel(kId, name), reg::proxy("m")},
                         {{"m", monitorWith(levels, capabilities, std::move(faults))}});
}

const Levels kLevels{
    {"0x10", {60, 100}}, {"0x12", {75, 100}}, {"0x14", {5, 11}}, {"0x62", {30, 100}},
    {"0x60", {15, 18}},  {"0xD6", {1, 5}},    {"0x87", {4, 10}},
};
const std::string kCapabilities =
    "(prot(monitor)type(LCD)model(S27)cmds(01 02 03 0C E3 F3)vcp(10 12 14(05 08) 60(0F 11) 62 "
    "87 D6(01 04) DC(00 02))mccs_ver(2.2))";

// The codes of the Get VCP Feature requests in a trace, one per transaction
// (each is written twice), and the Set VCP Feature messages as "code=value".
std::vector<int> readCodes(const std::vector<std::string>& trace)
{
    std::vector<int> codes;
    bool second = false;
    for (const std::string& line : trace) {
        if (line.rfind("write 0x37 0x51 82 01 ", 0) == 0) {
            if (!second) {
                codes.push_back(std::stoi(line.substr(22, 2), nullptr, 16));
            }
            second = !second;
        }
    }
    return codes;
}

std::vector<std::string> writes(const std::vector<std::string>& trace)
{
    std::vector<std::string> sets;
    for (const std::string& line : trace) {
        if (line.rfind("write 0x37 0x51 84 03 ", 0) == 0) {
            int value = std::stoi(line.substr(25, 2), nullptr, 16) * 256 +
                        std::stoi(line.substr(28, 2), nullptr, 16);
            sets.push_back(line.substr(22, 2) + "=" + std::to_string(value));
        }
    }
    return sets;
}

// A file of this test process's own: ctest runs tests side by side.
std::string writeFile(const std::string& name, const std::string& text)
{
    std::string path = testing::TempDir() + "panoctl-" + std::to_string(getpid()) + "-" + name;
    std::ofstream(path) << text;
    return path;
}

// ---- save ----

struct SaveCase {
    const char* what;
    std::string scenario;
    std::string document;
    int status;
    std::vector<int> read;  // codes read, in order
};

void PrintTo(const SaveCase& c, std::ostream* os)
{
    *os << c.what;
}

class Save : public testing::TestWithParam<SaveCase> {};

TEST_P(Save, PrintsTheSettingsItRead)
{
    const SaveCase& c = GetParam();
    RunResult run = runPanoctl(c.scenario, {"save", "1"});
    EXPECT_EQ(run.out, c.document + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(readCodes(run.trace), c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Monitors, Save,
    testing::Values(
        SaveCase{"the restorable features the capabilities list, in code order; those the "
                 "monitor does not support left out",
                 machine(kLevels, kCapabilities),
                 R"({"id":")" + kId +
                     R"(","name":"Studio \"27\"","model":"S27",)"
                     R"("features":{"0x10":60,"0x12":75,"0x14":5,"0x62":30,"0x87":4}})",
                 0,
                 {0x10, 0x12, 0x14, 0x62, 0x87, 0xDC}},
        SaveCase{"no capabilities: every restorable feature is tried",
                 machine(kLevels),
                 R"({"id":")" + kId +
                     R"(","name":"Studio \"27\"","model":null,)"
                     R"("features":{"0x10":60,"0x12":75,"0x14":5,"0x62":30,"0x87":4}})",
                 0,
                 {0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x62, 0x6C, 0x6E, 0x70, 0x87, 0x8D, 0xDC}},
        SaveCase{"a read that fails leaves its feature out",
                 machine(kLevels, "(vcp(10 12))", Json{{"failReads", {1}}}),
                 R"({"id":")" + kId +
                     R"(","name":"Studio \"27\"","model":null,)"
                     R"("features":{"0x12":75}})",
                 0,
                 {0x10, 0x12}},
        SaveCase{"nothing to keep is an empty set of features",
                 machine(kLevels, "(model(X)vcp(60 D6))"),
                 R"({"id":")" + kId + R"(","name":"Studio \"27\"","model":"X","features":{}})",
                 0,
                 {}},
        SaveCase{"not one of the features it tried could be read",
                 machine(kLevels, "(vcp(10 12 60))",
                         Json{{"failReads", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}}}),
                 R"({"error":"read_failed"})",
                 1,
                 {0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x62, 0x6C, 0x6E, 0x70, 0x87, 0x8D, 0xDC}},
        // The monitor's word that it lacks them is an answer: there is
        // nothing to keep, which is no failure.
        SaveCase{"every feature it tried is one the monitor says it lacks",
                 machine({{"0x60", {15, 18}}}, "(vcp(10 12 60))"),
                 R"({"id":")" + kId + R"(","name":"Studio \"27\"","model":null,"features":{}})",
                 0,
                 {0x10, 0x12}}));

std::string readWhole(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SaveFile, IsReplacedWholeOnlyBySuccess)
{
    std::string path = writeFile("saved.json", "old and good\n");
    ::chmod(path.c_str(), 0640);
    RunResult saved = runPanoctl(machine(kLevels, kCapabilities), {"save", "1", path});
    EXPECT_EQ(saved.status, 0);
    EXPECT_EQ(readWhole(path), saved.out) << "the file holds what was printed";
    struct stat kept {};
    ASSERT_EQ(::stat(path.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 0777, 0640U) << "the old file's permissions";

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"save", "3", path}, {"save", "1", path}}) {
        std::string before = readWhole(path);
        // The second run finds every read failing.
        Json faults = args[1] == "1"
                          ? Json{{"failReads", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}}}
                          : Json{};
        RunResult failed = runPanoctl(machine(kLevels, "(vcp(10 12))", faults), args);
        EXPECT_EQ(failed.status, 1);
        EXPECT_NE(failed.out.find("\"error\""), std::string::npos) << failed.out;
        EXPECT_EQ(readWhole(path), before) << "a failed save leaves the old file";
    }
    std::remove(path.c_str());
}

TEST(SaveFile, ThatCannotBeWrittenIsStatusThreeAndPrintsNothing)
{
    std::string path =
        testing::TempDir() + "panoctl-no-such-folder-" + std::to_string(getpid()) + "/saved.json";
    RunResult run = runPanoctl(machine(kLevels, kCapabilities), {"save", "1", path});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "panoctl: cannot write " + path + ": No such file or directory\n");
}

TEST(BuiltInMonitors, AnswerEveryCodeTheirCapabilitiesListAndNoOther)
{
    for (const char* display : {"1", "2"}) {
        Json features = Json::parse(runPanoctl("", {"features", display}).out);
        std::set<int> listed;
        for (const Json& code : features["vcp"]) {
            listed.insert(code["code"].get<int>());
        }
        for (int code = 0; code <= 0xFF; code++) {
            RunResult get = runPanoctl("", {"get", display, std::to_string(code)});
            bool answered = get.out.find("\"unsupported\"") == std::string::npos;
            EXPECT_EQ(answered, listed.count(code) == 1) << display << " " << code;
        }
    }
}

TEST(SaveUnknown, DisplayIsStatusOneWithoutTraffic)
{
    RunResult run = runPanoctl(machine(kLevels, kCapabilities), {"save", "3"});
    EXPECT_EQ(run.out, "{\"error\":\"no_such_display\"}\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.trace.empty());
}

TEST(SaveRetries, EachFeatureIsReadOnceWithTheRunsRetries)
{
    // The first read of 0x10 fails (read 0 is the capabilities string's one
    // fragment); one retry reads it.
    RunResult run = runPanoctl(machine(kLevels, "(vcp(10 12))", Json{{"failReads", {1}}}),
                               {"--retries", "1", "save", "1"});
    EXPECT_EQ(run.out,
              R"({"id":")" + kId +
                  R"(","name":"Studio \"27\"","model":null,"features":{"0x10":60,"0x12":75}})"
                  "\n");
    EXPECT_EQ(readCodes(run.trace), (std::vector<int>{0x10, 0x10, 0x12}));
}

// ---- restore ----

struct RestoreCase {
    const char* what;
    Levels levels;
    std::string document;
    std::string answer;
    std::vector<std::string> writes;  // in the order made
    std::map<int, int> after;         // values the monitor then holds
};

void PrintTo(const RestoreCase& c, std::ostream* os)
{
    *os << c.what;
}

class Restore : public testing::TestWithParam<RestoreCase> {};

TEST_P(Restore, WritesOnlyWhatDiffers)
{
    const RestoreCase& c = GetParam();
    std::string path = writeFile("restore.json", c.document);
    RunResult run = runPanoctl(machine(c.levels, kCapabilities), {"restore", kId, path});
    EXPECT_EQ(run.out, c.answer + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(writes(run.trace), c.writes);
    for (const auto& [code, value] : c.after) {
        EXPECT_EQ(sim::monitorVcpCurrent("m", code), value) << code;
    }
    std::remove(path.c_str());
}

// Each write is the Set VCP Feature message, sent three times.
std::vector<std::string> thrice(const std::string& write)
{
    return {write, write, write};
}

std::vector<std::string> concat(const std::vector<std::vector<std::string>>& parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, Restore,
    testing::Values(
        RestoreCase{
            "nothing differs: no write at all",
            kLevels,
            R"({"id":"other","features":{"0x10":60,"0x12":75,"0x14":5}})",
            R"({"ok":true,"features":{"0x10":"unchanged","0x12":"unchanged","0x14":"unchanged"}})",
            {},
            {{0x10, 60}}},
        RestoreCase{
            "one differs: one write",
            kLevels,
            R"({"features":{"0x10":60,"0x12":40,"0x14":5}})",
            R"({"ok":true,"features":{"0x10":"unchanged","0x12":"changed","0x14":"unchanged"}})",
            thrice("12=40"),
            {{0x12, 40}}},
        RestoreCase{"all differ: presets first, then the levels, in restore order",
                    kLevels,
                    R"({"features":{"0x87":2,"brightness":20,"0x12":30,"color-preset":8,"98":10}})",
                    R"({"ok":true,"features":{"0x10":"changed","0x12":"changed","0x14":"changed",)"
                    R"("0x62":"changed","0x87":"changed"}})",
                    concat({thrice("14=8"), thrice("10=20"), thrice("12=30"), thrice("62=10"),
                            thrice("87=2")}),
                    {{0x14, 8}, {0x10, 20}, {0x12, 30}, {0x62, 10}, {0x87, 2}}},
        RestoreCase{"above the maximum: written as the maximum",
                    kLevels,
                    R"({"features":{"0x10":300}})",
                    R"({"ok":true,"features":{"0x10":"changed"}})",
                    thrice("10=100"),
                    {{0x10, 100}}},
        RestoreCase{"above the maximum it already holds: nothing to write",
                    {{"0x10", {100, 100}}},
                    R"({"features":{"0x10":65535}})",
                    R"({"ok":true,"features":{"0x10":"unchanged"}})",
                    {},
                    {{0x10, 100}}},
        RestoreCase{"a feature the monitor lacks is unsupported, no failure; the others are "
                    "still restored",
                    kLevels,
                    R"({"features":{"0x16":50,"0x10":20}})",
                    R"({"ok":true,"features":{"0x10":"changed","0x16":"unsupported"}})",
                    thrice("10=20"),
                    {{0x10, 20}}},
        RestoreCase{"an empty set of features",
                    kLevels,
                    R"({"features":{}})",
                    R"({"ok":true,"features":{}})",
                    {},
                    {}}));

TEST(RestoreFailures, AWriteNobodyAcceptsIsFailed)
{
    // Reads succeed; the three writes of the set are refused.
    std::string path = writeFile("fails.json", R"({"features":{"0x10":20}})");
    RunResult run =
        runPanoctl(machine(kLevels, "", Json{{"failWrites", {2, 3, 4}}}), {"restore", "1", path});
    EXPECT_EQ(run.out, R"({"ok":false,"features":{"0x10":"failed"}})"
                       "\n");
    EXPECT_EQ(sim::monitorVcpCurrent("m", 0x10), 60);
    EXPECT_EQ(run.status, 0);
    // With --fail the failure is in the status too.
    RunResult failing = runPanoctl(machine(kLevels, "", Json{{"failWrites", {2, 3, 4}}}),
                                   {"--fail", "restore", "1", path});
    EXPECT_EQ(failing.out, run.out);
    EXPECT_EQ(failing.status, 1);
    std::remove(path.c_str());
}

TEST(RestoreVerify, ReadsEachWrittenValueBack)
{
    std::string path = writeFile("verify.json", R"({"features":{"0x10":300,"0x12":75}})");
    RunResult run = runPanoctl(machine(kLevels), {"--verify", "restore", "1", path});
    // The capped value is what was written, so the read back agrees.
    EXPECT_EQ(run.out, R"({"ok":true,"features":{"0x10":"changed","0x12":"unchanged"}})"
                       "\n");
    EXPECT_EQ(readCodes(run.trace), (std::vector<int>{0x10, 0x10, 0x12}));
    std::remove(path.c_str());
}

TEST(RestoreInput, ReadsStandardInputWithoutAFileOrWithADash)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"restore", "1"},
                                                 std::vector<std::string>{"restore", "1", "-"}}) {
        RunResult run =
            runPanoctlWithInput(machine(kLevels), args, R"({"features":{"contrast":10}})");
        EXPECT_EQ(run.out, R"({"ok":true,"features":{"0x12":"changed"}})"
                           "\n");
        EXPECT_EQ(writes(run.trace), thrice("12=10"));
    }
}

TEST(RestoreThenSave, BringsTheSavedSettingsBack)
{
    RunResult saved = runPanoctl(machine(kLevels, kCapabilities), {"save", "1"});
    std::string path = writeFile("roundtrip.json", saved.out);
    // The same monitor after a reset to other values.
    RunResult restored = runPanoctl(machine({{"0x10", {1, 100}},
                                             {"0x12", {2, 100}},
                                             {"0x14", {8, 11}},
                                             {"0x62", {3, 100}},
                                             {"0x87", {4, 10}}},
                                            kCapabilities),
                                    {"restore", "1", path});
    EXPECT_EQ(restored.out, R"({"ok":true,"features":{"0x10":"changed","0x12":"changed",)"
                            R"("0x14":"changed","0x62":"changed","0x87":"unchanged"}})"
                            "\n");
    for (auto [code, value] : {std::pair{0x10, 60}, {0x12, 75}, {0x14, 5}, {0x62, 30}}) {
        EXPECT_EQ(sim::monitorVcpCurrent("m", code), value) << code;
    }
    std::remove(path.c_str());
}

// ---- refusals: status 2, one line, no traffic ----

struct Refusal {
    const char* what;
    std::string document;
    std::string message;
};

void PrintTo(const Refusal& c, std::ostream* os)
{
    *os << c.what;
}

class RestoreRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(RestoreRefusal, BeforeAnyTraffic)
{
    std::string path = writeFile("refused.json", GetParam().document);
    // An unknown display too: the document is judged first.
    for (const char* display : {"1", "9"}) {
        RunResult run = runPanoctl(machine(kLevels), {"restore", display, path});
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, GetParam().message + "\n");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.trace.empty());
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Documents, RestoreRefusal,
    testing::Values(
        Refusal{"not restorable", R"({"features":{"0x10":20,"input":17}})",
                "panoctl: not a restorable feature: input"},
        Refusal{"a factory reset", R"({"features":{"0x04":1}})",
                "panoctl: not a restorable feature: 0x04"},
        Refusal{"not JSON",
                "{\"features\":", "panoctl: not a JSON document: unexpected end at byte 12"},
        Refusal{"not an object", "[]", "panoctl: the document is not a JSON object"},
        Refusal{"no features", R"({"value":60})",
                "panoctl: the document has no \"features\" object"},
        Refusal{"a value out of range", R"({"features":{"0x10":70000}})",
                "panoctl: not an integer from 0 to 65535: 0x10"},
        Refusal{"a feature twice", R"({"features":{"16":1,"0x10":2}})",
                "panoctl: feature given twice: 0x10"},
        // Keys are echoed escaped and cut: one printable line.
        Refusal{"a key with JSON escapes, echoed as written",
                R"({"features":{"a\nb\u001b[31m":1}})",
                R"(panoctl: not a restorable feature: a\\nb\\u001b[31m)"},
        Refusal{"a key with direction override, CSI and DEL",
                "{\"features\":{\"\u202e\u009b\x7f\":1}}",
                "panoctl: not a restorable feature: \\u202e\\u009b\\u007f"},
        Refusal{"a key of 60,000 bytes", R"({"features":{")" + std::string(60000, 'k') + R"(":1}})",
                "panoctl: not a restorable feature: " + std::string(256, 'k') + "\u2026"},
        Refusal{"over 64 KiB", R"({"features":{},"x":")" + std::string(70000, 'x') + "\"}",
                "panoctl: the document is larger than 64 KiB"}));

TEST(RestoreRefusals, AFileThatCannotBeRead)
{
    RunResult run = runPanoctl(machine(kLevels), {"restore", "1", "/nonexistent/saved.json"});
    EXPECT_EQ(run.err, "panoctl: cannot read /nonexistent/saved.json: No such file or directory\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.trace.empty());
    // The path is echoed escaped.
    run = runPanoctl(machine(kLevels), {"restore", "1", "/nonexistent/a\nb\x1b[2J"});
    EXPECT_EQ(run.err,
              "panoctl: cannot read /nonexistent/a\\u000ab\\u001b[2J: No such file or directory\n");
}

TEST(RestoreUnknown, DisplayIsStatusOneWithoutTraffic)
{
    std::string path = writeFile("unknown.json", R"({"features":{"0x10":20}})");
    RunResult run = runPanoctl(machine(kLevels), {"restore", "unknown-id", path});
    EXPECT_EQ(run.out, "{\"error\":\"no_such_display\"}\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.trace.empty());
    std::remove(path.c_str());
}

TEST(SaveRestoreOneDisplay, AListOrAllIsRefusedBeforeAnyTraffic)
{
    std::string path = writeFile("several.json", R"({"features":{"0x10":20}})");
    const std::vector<std::vector<std::string>> lines{
        {"save", "all"}, {"save", "1,2"}, {"restore", "all", path}, {"restore", "2,1"}};
    for (const std::vector<std::string>& args : lines) {
        // Standard input holds a document too: a refused restore reads none.
        RunResult run = runPanoctlWithInput("", args, R"({"features":{}})");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "panoctl: " + args[0] + " takes one display: " + args[1] + "\n");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.trace.empty());
    }
    std::remove(path.c_str());
}

// ---- batch lines ----

TEST(SaveRestoreBatch, LinesAnswerAsOneShotRunsAndRestoreReadsAFile)
{
    std::string path = writeFile("batch.json", R"({"features":{"0x10":20}})");
    std::string scenario = machine(kLevels, kCapabilities);
    RunResult save = runPanoctl(scenario, {"save", "1"});
    RunResult batch = runPanoctlWithInput(
        scenario, {"batch"},
        "save 1\nrestore 1\nrestore 1 -\nrestore 1 " + path + "\nrestore 1 " + path + "\n");
    std::string refused =
        R"({"error":"usage","message":"panoctl: restore in a batch reads a file: restore <display> <file>"})";
    EXPECT_EQ(linesOf(batch.out),
              (std::vector<std::string>{linesOf(save.out)[0], refused, refused,
                                        R"({"ok":true,"features":{"0x10":"changed"}})",
                                        R"({"ok":true,"features":{"0x10":"unchanged"}})"}));
    EXPECT_EQ(batch.status, 0);
    std::remove(path.c_str());
}

}  // namespace
