// Batch mode in-process: each line answered as a one-shot run of it would
// answer (same documents, same bus traffic), refused lines answered with a
// usage document, and the lines a one-shot run cannot have (too long, NUL
// bytes, too many words) answered without harm.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "discovery/display_table.h"
#include "harness.h"
#include "registry_builder.h"
#include "sim_control.h"

namespace {

using nlohmann::json;

std::vector<std::string> wordsOf(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream stream(line);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

json usageAnswer(const std::string& message)
{
    return json{{"error", "usage"}, {"message", message}};
}

struct OneShotRuns {
    std::vector<std::string> answers;  // as a batch should give them
    std::vector<std::string> trace;
};

// Each line as its own run on one machine that keeps its values from run to
// run, as monitors do; a refused run's standard error made a usage answer.
OneShotRuns runOneAtATime(const std::vector<std::string>& lines)
{
    sim::loadDefaultScenario();
    sim::setFastPauses(true);
    sim::clearTrace();
    OneShotRuns runs;
    for (const std::string& line : lines) {
        std::vector<std::string> words = wordsOf(line);
        words.insert(words.begin(), "panoctl");
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Session session;
        int status = panoctl_main(&session, static_cast<int>(words.size()), argv.data());
        std::fflush(stdout);
        releaseDisplays(&session.displays);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        if (status == 2) {
            runs.answers.push_back(usageAnswer(err.substr(0, err.size() - 1)).dump());
        } else {
            runs.answers.push_back(out.substr(0, out.size() - 1));
        }
    }
    runs.trace = sim::traceLines();
    return runs;
}

// Answers that are usage documents compare by their decoded message, the
// others byte for byte.
void expectSameAnswers(const std::vector<std::string>& batch,
                       const std::vector<std::string>& oneShot,
                       const std::vector<std::string>& lines)
{
    ASSERT_EQ(batch.size(), oneShot.size());
    for (size_t i = 0; i < batch.size(); i++) {
        if (oneShot[i].rfind("{\"error\":\"usage\"", 0) == 0) {
            EXPECT_EQ(json::parse(batch[i]), json::parse(oneShot[i])) << lines[i];
        } else {
            EXPECT_EQ(batch[i], oneShot[i]) << lines[i];
        }
    }
}

const std::vector<std::string> kSession = {
    "list",
    "get 1 brightness",
    "get 2 0x12",
    "set 2 brightness + 15",
    "get 2 brightness",
    "set 1 input hdmi-2",
    "get 1 input",
    "set 458E2032-0000-0000-0A1F-0104B5462778 16 - 100",
    "get 458E2032-0000-0000-0A1F-0104B5462778 16",
    "capabilities 1",
    "features 2",
    "probeaddr 1 contrast",
    "probeaddr 3",
    "features 7",
    "get 3 16",
    "set 0 16 1",
    "get 1 bright",
    "get 1",
    "frobnicate",
    "set 1 16 +",
    "set 1 16 - 70000",
    "get 1 16 extra words",
    "--retries 2 get 2 contrast",
    "--verify set 2 16 30",
    "--retries 11 get 1 16",
    "--bogus get 1 16",
    "--retries",
};

TEST(Batch, AnswersAndBusTrafficEqualOneShotRuns)
{
    std::string input;
    for (const std::string& line : kSession) {
        input += line + "\n";
    }
    RunResult batch = runPanoctlWithInput("", {"batch"}, input);
    OneShotRuns oneShot = runOneAtATime(kSession);

    EXPECT_EQ(batch.status, 0);
    EXPECT_EQ(batch.err, "");
    expectSameAnswers(linesOf(batch.out), oneShot.answers, kSession);
    EXPECT_EQ(batch.trace, oneShot.trace);
}

TEST(Batch, SpacesAndTabsSeparateWordsAnywhere)
{
    RunResult spaced = runPanoctlWithInput("", {"batch"}, "\t get \t\t1   brightness \t\n");
    EXPECT_EQ(spaced.out, "{\"value\":60}\n");
}

struct RefusedLine {
    const char* name;
    std::string input;
    std::vector<json> answers;
};

void PrintTo(const RefusedLine& line, std::ostream* os)
{
    *os << line.name;
}

std::string repeated(const std::string& text, size_t times)
{
    std::string all;
    for (size_t i = 0; i < times; i++) {
        all += text;
    }
    return all;
}

const json kValue60 = json{{"value", 60}};
const std::string kWordOf4089(4089, 'x');  // "get 1 " and it: a line of 4,095 bytes

class BatchLines : public testing::TestWithParam<RefusedLine> {};

TEST_P(BatchLines, OneAnswerPerLineWithWords)
{
    const RefusedLine& line = GetParam();
    RunResult run = runPanoctlWithInput("", {"batch"}, line.input);
    std::vector<json> answers;
    for (const std::string& answer : linesOf(run.out)) {
        answers.push_back(json::parse(answer));  // valid JSON whatever the bytes sent
    }
    EXPECT_EQ(answers, line.answers);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Input, BatchLines,
    testing::Values(
        RefusedLine{"empty and blank lines", "\n \n\t\t\n  \t \n", {}},
        RefusedLine{"no input", "", {}},
        RefusedLine{"last line without line feed", "get 1 16\nget 1 16", {kValue60, kValue60}},
        RefusedLine{
            "CR LF ends a line as LF does", "get 1 16\r\nget 1 16\r\n", {kValue60, kValue60}},
        RefusedLine{"CR elsewhere is part of a word",
                    "get 1 1\r6\r\nget 1 16\r",
                    {usageAnswer("panoctl: invalid number: 1\r6"),
                     usageAnswer("panoctl: invalid number: 16\r")}},
        RefusedLine{"only the last CR before LF is dropped",
                    "get 1 16\r\r\n",
                    {usageAnswer("panoctl: invalid number: 16\r")}},
        RefusedLine{"line of 4,095 bytes and CR LF",
                    "get 1 16" + std::string(4087, ' ') + "\r\nget 1 16\n",
                    {kValue60, kValue60}},
        RefusedLine{"line of 4,096 bytes and CR LF",
                    "get 1 16" + std::string(4088, ' ') + "\r\nget 1 16\n",
                    {usageAnswer("line too long"), kValue60}},
        RefusedLine{"NUL byte",
                    std::string("get 1\0 16\nget 1 16\n", 18),
                    {usageAnswer("line holds a NUL byte"), kValue60}},
        RefusedLine{
            "bytes that are not UTF-8",
            "get 1 \xff\xc3\n",
            {usageAnswer(
                "panoctl: unknown feature: \u00ff\u00c3 (panoctl help features lists them)")}},
        // The refused word is echoed cut short, as on standard error.
        RefusedLine{"line of 4,095 bytes",
                    "get 1 " + kWordOf4089 + "\n",
                    {usageAnswer("panoctl: unknown feature: " + kWordOf4089.substr(0, 256) +
                                 "\u2026 (panoctl help features lists them)")}},
        RefusedLine{"line of 4,095 bytes at the end of input",
                    "get 1 16" + std::string(4087, ' '),
                    {kValue60}},
        RefusedLine{"line of 4,096 bytes",
                    "get 1 " + kWordOf4089 + "y\nget 1 16\n",
                    {usageAnswer("line too long"), kValue60}},
        RefusedLine{"line of 4,096 bytes at the end of input",
                    "get 1 16" + std::string(4088, ' '),
                    {usageAnswer("line too long")}},
        RefusedLine{"line of 100,000 bytes",
                    "get 1 16\n" + std::string(100000, 'z') + "\nget 1 16\n",
                    {kValue60, usageAnswer("line too long"), kValue60}},
        RefusedLine{"64 words",
                    "get 1 16" + repeated(" w", 61) + "\n",
                    {usageAnswer("panoctl: unexpected word: w")}},
        RefusedLine{
            "65 words", "get 1 16" + repeated(" w", 62) + "\n", {usageAnswer("too many words")}},
        RefusedLine{
            "nested batch", "batch\n", {usageAnswer("panoctl: batch cannot run inside batch")}},
        RefusedLine{
            "help and version", "help\n--help list\n-h\nversion\n--version\n",
            std::vector<json>(5,
                              usageAnswer("panoctl: help and version are not available in batch"))},
        RefusedLine{"unknown word and missing arguments",
                    "List\nset 1 16\n",
                    {usageAnswer("panoctl: unknown command: List (did you mean list?)"),
                     usageAnswer("panoctl: set needs a display, a feature and a value")}}));

TEST(Batch, TenThousandRefusedLinesHoldNothing)
{
    RunResult run = runPanoctlWithInput("", {"batch"}, repeated("get 1 nonsense\n", 10000));
    std::vector<std::string> answers = linesOf(run.out);
    ASSERT_EQ(answers.size(), 10000U);
    for (const std::string& answer : answers) {
        ASSERT_EQ(
            answer,
            "{\"error\":\"usage\",\"message\":\"panoctl: unknown feature: nonsense (panoctl help "
            "features lists them)\"}");
    }
    EXPECT_TRUE(run.trace.empty());
    EXPECT_EQ(run.liveAvServices, 2);  // the table's two displays, nothing more
    EXPECT_EQ(run.liveCfObjects, 2);
    EXPECT_EQ(run.registryReferences, 0);
}

TEST(Batch, DiscoversAtStartBeforeListAndOnceForAMissingDisplay)
{
    DebugEnv debug("");
    const std::string walk = "[dbg] shim=3 shimWithUUID=3 proxy=2 added=2\n";
    RunResult run =
        runPanoctlWithInput("", {"batch"}, "get 1 16\nlist\nlist\nget 3 16\nprobeaddr 3\nbogus\n");
    // Start, two lists, and one for each of the two selectors that missed;
    // then the transfers of the whole batch (the one get's), once, at its end.
    EXPECT_EQ(run.err, repeated(walk, 5) + "[dbg] writes=2 reads=1 failed=0 retries=0\n");
    EXPECT_EQ(linesOf(run.out).size(), 6U);
}

TEST(Batch, OptionsBeforeBatchApplyToEveryLineAndALinesOwnToThatLine)
{
    // Reads 0 and 2 of the whole batch fail: a retry saves a get, none fails it.
    reg::Json monitor = reg::monitor(50);
    monitor["faults"] = {{"failReads", {0, 2}}};
    std::string machine = reg::scenario(
        {reg::node("port", reg::Json::object(), {reg::proxy("m", {{"EDID UUID", "UUID-m"}})})},
        {{"m", monitor}});
    RunResult run = runPanoctlWithInput(machine, {"--retries", "1", "batch"},
                                        "get 1 16\n--retries 0 get 1 16\nget 1 16\n");
    EXPECT_EQ(run.out,
              "{\"value\":50}\n{\"value\":null,\"error\":\"read_failed\"}\n{\"value\":50}\n");
}

TEST(Batch, OptionsBeforeBatchRunAndAreRefusedAsInOneShotRuns)
{
    RunResult help = runPanoctlWithInput("", {"--help", "batch"}, "get 1 16\n");
    EXPECT_EQ(help.out.rfind("panoctl " PANOCTL_VERSION "\n", 0), 0U);  // help wins, no batch
    RunResult version = runPanoctlWithInput("", {"--version", "batch"}, "get 1 16\n");
    EXPECT_EQ(version.out, "panoctl " PANOCTL_VERSION "\n");
}

}  // namespace
