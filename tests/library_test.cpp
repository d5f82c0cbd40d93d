// The C library on simulated machines: bad input answered with a status and
// no bus traffic, the same transactions and documents as the command line,
// selectors that last across rediscovery, and several threads on one
// session keeping each display's calls whole.
#include <gtest/gtest.h>

#include <cstddef>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "panoctl/panoctl.h"
#include "registry_builder.h"
#include "sim_control.h"

using reg::Json;

namespace {

constexpr const char* kCapabilities =
    "(prot(monitor)type(LCD)model(T1)cmds(01 02 03 0C E3 F3)vcp(10 12 14(05 08) 16 18 1A 60(0F "
    "11) 62)mccs_ver(2.2))";

struct Plan {
    std::string key;
    int brightness = 50;
    Json extra = Json::object();  // merged into the monitor: faults, bus
};

// One display per plan, in this order, with id "UUID-<key>".
std::string machine(const std::vector<Plan>& plans)
{
    reg::Children children;
    Json monitors = Json::object();
    for (const Plan& plan : plans) {
        children.push_back(reg::node("port-" + plan.key, Json::object(),
                                     {reg::proxy(plan.key, {{"EDID UUID", "UUID-" + plan.key}})}));
        Json monitor = reg::monitor(plan.brightness, 100, kCapabilities);
        monitor["vcp"]["0x12"] = {{"current", 40}, {"max", 100}};
        monitor.update(plan.extra);
        monitors[plan.key] = std::move(monitor);
    }
    return reg::scenario(children, monitors);
}

void load(const std::string& scenario)
{
    std::string error;
    ASSERT_TRUE(sim::loadScenarioText(scenario, &error)) << error;
    sim::setFastPauses(true);
    sim::clearTrace();
}

// A session over whatever machine is loaded, closed with the test.
class Library : public testing::Test {
protected:
    void open(int retries = 0)
    {
        panoctl_options options;
        panoctl_options_init(&options);
        options.retries = retries;
        ASSERT_EQ(panoctl_open(&options, &session_), PANOCTL_OK);
    }
    void TearDown() override { panoctl_close(&session_); }

    int brightness(const char* key) const { return sim::monitorVcpCurrent(key, 0x10).value_or(-1); }

    panoctl_session* session_ = nullptr;
};

TEST_F(Library, BadInputGetsItsStatusAndTouchesNoMonitor)
{
    load(machine({{"a"}}));
    open();
    unsigned value = 0;
    char text[8];
    panoctl_probe_result probed[PANOCTL_PROBE_COMBINATIONS];
    EXPECT_EQ(panoctl_get(nullptr, "1", 0x10, &value, nullptr), PANOCTL_CLOSED);
    EXPECT_EQ(panoctl_set(nullptr, "1", 0x10, 1), PANOCTL_CLOSED);
    EXPECT_EQ(panoctl_rediscover(nullptr), PANOCTL_CLOSED);
    EXPECT_EQ(panoctl_get(session_, nullptr, 0x10, &value, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_get(session_, "1", 0x10, nullptr, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_get(session_, "1", 256, &value, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_set(session_, "1", 0x10, 65536), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_set_percent(session_, "1", 0x10, 101, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_step(session_, "1", 0x10, 101, 1, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_step(session_, "1", 0x10, -65536, 0, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_capabilities(session_, "1", nullptr, sizeof text, nullptr),
              PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_probe(session_, "1", 0x10, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_probe(session_, "1", 300, probed), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_restore_json(session_, "1", nullptr, 0, nullptr, 0, nullptr),
              PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_restore_json(session_, "1", "{\"features\":{\"0x10\":70000}}", 28, nullptr, 0,
                                   nullptr),
              PANOCTL_INVALID_DOCUMENT);
    EXPECT_EQ(panoctl_restore_json(session_, "1", "{}", 2, nullptr, 0, nullptr),
              PANOCTL_INVALID_DOCUMENT);
    EXPECT_TRUE(sim::traceLines().empty()) << "a refused call reached the bus";
    EXPECT_EQ(brightness("a"), 50);
}

TEST_F(Library, SessionsOpenOnlyWithUsableOptionsAndCloseOnce)
{
    load(machine({{"a"}}));
    panoctl_session* other = nullptr;
    EXPECT_EQ(panoctl_open(nullptr, nullptr), PANOCTL_INVALID_ARGUMENT);
    panoctl_options options;
    panoctl_options_init(&options);
    options.retries = 11;
    EXPECT_EQ(panoctl_open(&options, &other), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(other, nullptr);
    panoctl_options_init(&options);
    options.size = sizeof(size_t);  // a caller built against a smaller struct than there is
    EXPECT_EQ(panoctl_open(&options, &other), PANOCTL_INVALID_ARGUMENT);
    // A caller built before the configuration's member has none.
    panoctl_options_init(&options);
    options.size = offsetof(panoctl_options, config);
    options.config = "/nonexistent";
    ASSERT_EQ(panoctl_open(&options, &other), PANOCTL_OK);
    EXPECT_EQ(panoctl_close(&other), PANOCTL_OK);
    ASSERT_EQ(panoctl_open(nullptr, &other), PANOCTL_OK);
    EXPECT_EQ(panoctl_close(&other), PANOCTL_OK);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(panoctl_close(&other), PANOCTL_CLOSED);
    EXPECT_EQ(panoctl_close(nullptr), PANOCTL_CLOSED);
}

TEST_F(Library, TakesTheConfigurationFromItsOptionsOnly)
{
    load(machine({{"a"}, {"b"}}));
    ConfigFile broken("[display.left]\nid = 1\n");
    panoctl_options options;
    panoctl_options_init(&options);
    options.config = broken.path().c_str();
    panoctl_session* other = nullptr;
    EXPECT_EQ(panoctl_open(&options, &other), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(other, nullptr);
    // The file PANOCTL_CONFIG names is the command line's, not the library's.
    ASSERT_EQ(panoctl_open(nullptr, &other), PANOCTL_OK);
    unsigned value = 0;
    EXPECT_EQ(panoctl_get(other, "second", 0x10, &value, nullptr), PANOCTL_NO_SUCH_DISPLAY);
    EXPECT_EQ(panoctl_close(&other), PANOCTL_OK);

    ConfigFile file("[display.second]\nid = \"UUID-b\"\nbrightness = { min = 10, max = 60 }\n");
    options.config = file.path().c_str();
    ASSERT_EQ(panoctl_open(&options, &other), PANOCTL_OK);
    EXPECT_EQ(panoctl_set_percent(other, "SECOND", 0x10, 50, &value), PANOCTL_OK);
    EXPECT_EQ(value, 35U);
    EXPECT_EQ(panoctl_close(&other), PANOCTL_OK);
}

TEST(LibraryStatus, EveryStatusHasItsOwnStableWord)
{
    std::vector<std::string> names;
    for (int status = PANOCTL_OK; status <= PANOCTL_NO_RESOURCES; status++) {
        std::string name = panoctl_status_name(static_cast<panoctl_status>(status));
        EXPECT_NE(name, "unknown") << status;
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
        names.push_back(name);
    }
    // The words the documents already use.
    EXPECT_STREQ(panoctl_status_name(PANOCTL_NO_SUCH_DISPLAY), "no_such_display");
    EXPECT_STREQ(panoctl_status_name(PANOCTL_READ_FAILED), "read_failed");
    EXPECT_STREQ(panoctl_status_name(PANOCTL_NO_CAPABILITIES), "no_capabilities");
    EXPECT_STREQ(panoctl_status_name(PANOCTL_UNSUPPORTED), "unsupported");
    EXPECT_STREQ(panoctl_status_name(static_cast<panoctl_status>(PANOCTL_NO_RESOURCES + 1)),
                 "unknown");
}

// Each call makes the transactions of the command it stands for, byte for
// byte and pause for pause.
TEST_F(Library, CallsMakeTheCommandsTransactions)
{
    struct Case {
        std::vector<std::string> args;
        panoctl_status (*call)(panoctl_session*);
    };
    const Case cases[] = {
        {{"get", "1", "16"},
         [](panoctl_session* s) {
             unsigned value = 0;
             return panoctl_get(s, "1", 16, &value, nullptr);
         }},
        {{"set", "1", "16", "70"}, [](panoctl_session* s) { return panoctl_set(s, "1", 16, 70); }},
        {{"set", "1", "16", "-", "7"},
         [](panoctl_session* s) { return panoctl_step(s, "1", 16, -7, 0, nullptr); }},
        {{"set", "1", "16", "+10%"},
         [](panoctl_session* s) { return panoctl_step(s, "1", 16, 10, 1, nullptr); }},
        {{"set", "1", "16", "30%"},
         [](panoctl_session* s) { return panoctl_set_percent(s, "1", 16, 30, nullptr); }},
        {{"probeaddr", "1", "18"},
         [](panoctl_session* s) {
             panoctl_probe_result results[PANOCTL_PROBE_COMBINATIONS];
             return panoctl_probe(s, "1", 18, results);
         }},
        {{"capabilities", "1"},
         [](panoctl_session* s) {
             char text[512];
             return panoctl_capabilities(s, "1", text, sizeof text, nullptr);
         }},
    };
    for (const Case& c : cases) {
        RunResult command = runPanoctl(machine({{"a"}}), c.args);
        load(machine({{"a"}}));
        open();
        EXPECT_EQ(c.call(session_), PANOCTL_OK) << testing::PrintToString(c.args);
        EXPECT_EQ(sim::traceLines(), command.trace) << testing::PrintToString(c.args);
        panoctl_close(&session_);
    }
}

TEST_F(Library, ChangesReportTheValueWrittenAndFailuresTheirKind)
{
    load(machine({{"a", 95}, {"b", 50, {{"faults", {{"failReads", {0}}}}}}}));
    open();
    unsigned value = 0;
    EXPECT_EQ(panoctl_step(session_, "1", 16, 10, 0, &value), PANOCTL_OK);
    EXPECT_EQ(value, 100u) << "held at the maximum";
    EXPECT_EQ(brightness("a"), 100);
    unsigned maximum = 0;
    EXPECT_EQ(panoctl_get(session_, "1", 16, &value, &maximum), PANOCTL_OK);
    EXPECT_EQ(value, 100u);
    EXPECT_EQ(maximum, 100u);
    value = 12345;
    EXPECT_EQ(panoctl_step(session_, "2", 16, 5, 0, &value), PANOCTL_READ_FAILED);
    EXPECT_EQ(value, 12345u) << "nothing was written, so no value is reported";
    EXPECT_EQ(brightness("b"), 50);
}

TEST_F(Library, AMonitorWithoutTheCodeAndChoicesThatTakeNoStep)
{
    load(machine({{"a", 50}}));
    open();
    unsigned value = 7;
    // The monitor answers that it lacks 0xE0: definite, not a failed read.
    EXPECT_EQ(panoctl_get(session_, "1", 0xE0, &value, nullptr), PANOCTL_UNSUPPORTED);
    EXPECT_EQ(panoctl_step(session_, "1", 0xE0, 1, 0, &value), PANOCTL_UNSUPPORTED);
    EXPECT_EQ(value, 7u);
    // Input and power are choices: a step or a share of them means nothing.
    EXPECT_EQ(panoctl_step(session_, "1", 0x60, 1, 0, &value), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_set_percent(session_, "1", 0xD6, 50, &value), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(brightness("a"), 50);
}

TEST_F(Library, TextsAreTheCommandsDocumentsAndSayTheSizeTheyNeed)
{
    for (const char* command : {"features", "save"}) {
        RunResult run = runPanoctl(machine({{"a"}}), {command, "1"});
        std::string expected = run.out.substr(0, run.out.size() - 1);  // no line feed
        load(machine({{"a"}}));
        open();
        auto call = command == std::string("features") ? panoctl_features_json : panoctl_save_json;
        size_t needed = 0;
        char small[16];
        EXPECT_EQ(call(session_, "1", small, sizeof small, &needed), PANOCTL_BUFFER_TOO_SMALL);
        EXPECT_EQ(needed, expected.size() + 1) << command;
        EXPECT_EQ(call(session_, "1", nullptr, 0, &needed), PANOCTL_BUFFER_TOO_SMALL);
        std::vector<char> text(needed);
        ASSERT_EQ(call(session_, "1", text.data(), text.size(), &needed), PANOCTL_OK);
        EXPECT_EQ(std::string(text.data()), expected) << command;
        panoctl_close(&session_);
    }
}

TEST_F(Library, RestoreWritesWhatDiffersAndReportsAsTheCommandDoes)
{
    load(machine({{"a", 20}}));
    open();
    const std::string document = R"({"id":"x","features":{"0x10":80,"0x12":40}})";
    char report[256];
    size_t needed = 0;
    ASSERT_EQ(panoctl_restore_json(session_, "UUID-a", document.data(), document.size(), report,
                                   sizeof report, &needed),
              PANOCTL_OK);
    EXPECT_STREQ(report, R"({"ok":true,"features":{"0x10":"changed","0x12":"unchanged"}})");
    EXPECT_EQ(needed, std::strlen(report) + 1);
    EXPECT_EQ(brightness("a"), 80);
    load(machine({{"a", 20, {{"faults", {{"failWrites", {0, 1, 2}}}}}}}));
    panoctl_rediscover(session_);
    EXPECT_EQ(
        panoctl_restore_json(session_, "1", document.data(), document.size(), nullptr, 0, nullptr),
        PANOCTL_WRITE_FAILED);
}

// An id outlives rediscovery while its display is plugged in; a position
// names whatever display is there now; an unplugged display is told from
// one that never was; a display plugged in later is found without asking.
TEST_F(Library, SelectorsAcrossRediscovery)
{
    load(machine({{"a", 11}, {"b", 22}}));
    open();
    unsigned value = 0;
    EXPECT_EQ(panoctl_get(session_, "uuid-b", 16, &value, nullptr), PANOCTL_OK)
        << "ids match in any case";
    EXPECT_EQ(value, 22u);
    load(machine({{"a", 11}, {"c", 33}}));
    EXPECT_EQ(panoctl_rediscover(session_), PANOCTL_OK);
    EXPECT_EQ(panoctl_get(session_, "UUID-a", 16, &value, nullptr), PANOCTL_OK);
    EXPECT_EQ(value, 11u);
    EXPECT_EQ(panoctl_get(session_, "2", 16, &value, nullptr), PANOCTL_OK);
    EXPECT_EQ(value, 33u);
    EXPECT_EQ(panoctl_get(session_, "UUID-b", 16, &value, nullptr), PANOCTL_DISPLAY_GONE);
    EXPECT_EQ(panoctl_get(session_, "UUID-z", 16, &value, nullptr), PANOCTL_NO_SUCH_DISPLAY);
    load(machine({{"a", 11}, {"c", 33}, {"d", 44}}));
    EXPECT_EQ(panoctl_get(session_, "UUID-d", 16, &value, nullptr), PANOCTL_OK);
    EXPECT_EQ(value, 44u);
    size_t count = 0;
    EXPECT_EQ(panoctl_display_count(session_, &count), PANOCTL_OK);
    EXPECT_EQ(count, 3u);
    panoctl_display_info info{};
    info.size = sizeof info;
    EXPECT_EQ(panoctl_display_info_at(session_, 2, &info), PANOCTL_OK);
    EXPECT_STREQ(info.id, "UUID-d");
    EXPECT_EQ(info.position, 3);
    EXPECT_EQ(panoctl_display_info_at(session_, 3, &info), PANOCTL_NO_SUCH_DISPLAY);
    info.size = 1;
    EXPECT_EQ(panoctl_display_info_at(session_, 0, &info), PANOCTL_INVALID_ARGUMENT);
}

// The display's lock file is the command line's: a call waits while
// another process holds it, and holds it only while its transaction runs.
TEST_F(Library, CallsTakeTheCommandsLockPerTransactionOnly)
{
    load(machine({{"A"}}));
    open();
    std::string path = std::string(std::getenv("PANOCTL_SIM_LOCKS")) + "/display-UUID-A.lock";
    unsigned value = 0;
    ASSERT_EQ(panoctl_get(session_, "1", 16, &value, nullptr), PANOCTL_OK);  // makes the file
    int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0) << "the lock was kept after the call";
    std::atomic<bool> done{false};
    std::thread caller([&] {
        panoctl_set(session_, "1", 16, 61);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done) << "the call went past another process's lock";
    flock(other, LOCK_UN);
    caller.join();
    EXPECT_EQ(brightness("A"), 61);
    close(other);
}

// Eight threads over four displays with flaky buses: each display's calls
// take turns, so steps are never lost, and every display ends where the
// same calls made one after another leave it.
TEST_F(Library, EightThreadsOverFourDisplaysEndAsCallsInTurn)
{
    std::vector<Plan> plans;
    for (int i = 0; i < 4; i++) {
        Json bus{{"bus", {{"failRate", 0.2}, {"corruptRate", 0.1}, {"seed", 11 * i}}}};
        plans.push_back({"m" + std::to_string(i), 10 * i, bus});
    }
    constexpr int kSteps = 12;
    auto work = [](panoctl_session* session, int thread, std::vector<panoctl_status>* statuses) {
        std::string display = std::to_string(thread % 4 + 1);
        for (int i = 0; i < kSteps; i++) {
            unsigned value = 0;
            statuses->push_back(panoctl_step(session, display.c_str(), 16, 1, 0, &value));
            statuses->push_back(panoctl_get(session, display.c_str(), 16, &value, nullptr));
        }
    };
    load(machine(plans));
    open(10);
    std::vector<std::vector<panoctl_status>> inTurn(8);
    for (int thread = 0; thread < 8; thread++) {
        work(session_, thread, &inTurn[thread]);
    }
    std::vector<int> expected;
    for (int i = 0; i < 4; i++) {
        expected.push_back(brightness(("m" + std::to_string(i)).c_str()));
    }
    panoctl_close(&session_);

    load(machine(plans));
    open(10);
    std::vector<std::vector<panoctl_status>> atOnce(8);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 8; thread++) {
        threads.emplace_back(work, session_, thread, &atOnce[thread]);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(brightness(("m" + std::to_string(i)).c_str()), expected[i]) << i;
        EXPECT_EQ(expected[i], 10 * i + 2 * kSteps) << "a step was lost";
    }
    EXPECT_EQ(atOnce, inTurn);
}

}  // namespace

namespace {

int setWrites(const std::vector<std::string>& trace)
{
    return static_cast<int>(std::count_if(trace.begin(), trace.end(), [](const std::string& line) {
        return line.rfind("write 0x37 0x51 84 03 ", 0) == 0;
    }));
}

// A slider's thousand moves in a second, pauses waited: the monitor gets a
// set transaction only as often as one has time to finish, and ends at the
// last value.
TEST_F(Library, LatestValueWinsAndLandsLast)
{
    load(machine({{"a", 0}}));
    sim::setFastPauses(false);
    open();
    // One set's time is at least its pauses, whatever the machine's load.
    sim::clearTrace();
    ASSERT_EQ(panoctl_set(session_, "1", 16, 1), PANOCTL_OK);
    long pausedMicros = 0;
    for (const std::string& line : sim::traceLines()) {
        if (line.rfind("sleep ", 0) == 0) {
            pausedMicros += std::stol(line.substr(6));
        }
    }
    ASSERT_GT(pausedMicros, 0);
    auto oneSet = std::chrono::microseconds(pausedMicros);
    sim::clearTrace();

    constexpr int kCalls = 1000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; i++) {
        ASSERT_EQ(panoctl_set_latest(session_, "UUID-a", 16, static_cast<unsigned>(i % 100)),
                  PANOCTL_OK);
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000 * (i + 1)));
    }
    auto spread = std::chrono::steady_clock::now() - start;
    std::array<panoctl_flush_entry, 4> entries{};
    size_t count = 0;
    ASSERT_EQ(panoctl_flush(session_, 5000, entries.data(), entries.size(), &count), PANOCTL_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(entries[0].id, "UUID-a");
    EXPECT_EQ(entries[0].code, 16u);
    EXPECT_EQ(entries[0].calls, static_cast<unsigned>(kCalls));
    EXPECT_EQ(entries[0].status, PANOCTL_OK);
    EXPECT_EQ(entries[0].value, 99u);
    EXPECT_EQ(brightness("a"), 99) << "the last value did not land";
    auto bound = static_cast<unsigned>(spread / oneSet) + 2;
    EXPECT_LE(entries[0].sent, bound);
    EXPECT_EQ(setWrites(sim::traceLines()), 3 * static_cast<int>(entries[0].sent));
    EXPECT_EQ(panoctl_flush(session_, 0, entries.data(), entries.size(), &count), PANOCTL_OK);
    EXPECT_EQ(count, 0u) << "a flush reports what happened since the previous one";
}

TEST_F(Library, LatestValuesRefuseBadInputAndReportFailures)
{
    load(machine({{"a"}, {"b", 50, {{"faults", {{"failWrites", {0, 1, 2}}}}}}}));
    open();
    EXPECT_EQ(panoctl_set_latest(nullptr, "1", 16, 1), PANOCTL_CLOSED);
    EXPECT_EQ(panoctl_set_latest(session_, nullptr, 16, 1), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_set_latest(session_, "1", 256, 1), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_set_latest(session_, "1", 16, 65536), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_set_latest(session_, "7", 16, 1), PANOCTL_NO_SUCH_DISPLAY);
    EXPECT_EQ(panoctl_flush(session_, 0, nullptr, 1, nullptr), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(panoctl_flush(nullptr, 0, nullptr, 0, nullptr), PANOCTL_CLOSED);

    ASSERT_EQ(panoctl_set_latest(session_, "2", 16, 70), PANOCTL_OK);
    ASSERT_EQ(panoctl_set_latest(session_, "1", 16, 70), PANOCTL_OK);
    panoctl_flush_entry entry{};
    size_t count = 0;
    EXPECT_EQ(panoctl_flush(session_, 5000, &entry, 1, &count), PANOCTL_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 2u);
    panoctl_status first = entry.status;
    EXPECT_EQ(panoctl_flush(session_, 5000, &entry, 1, &count), PANOCTL_OK)
        << "the entry that did not fit is kept for the next flush";
    EXPECT_EQ(count, 1u);
    std::vector<panoctl_status> statuses{first, entry.status};
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (std::vector<panoctl_status>{PANOCTL_OK, PANOCTL_WRITE_FAILED}));
    EXPECT_EQ(brightness("a"), 70);
    EXPECT_EQ(brightness("b"), 50);
}

// Closing with values still pending sends what it can in a short while and
// drops the rest whole: every set transaction on the bus has its three writes.
TEST_F(Library, ClosingDropsPendingValuesWhole)
{
    load(machine({{"a"}}));
    sim::setFastPauses(false);
    open();
    sim::clearTrace();
    constexpr unsigned kCodesAsked = 20;  // some 30 ms each, so more than the close waits for
    for (unsigned code = 0x20; code < 0x20 + kCodesAsked; code++) {
        ASSERT_EQ(panoctl_set_latest(session_, "1", code, 5), PANOCTL_OK);
    }
    EXPECT_EQ(panoctl_close(&session_), PANOCTL_NOT_SENT);
    int writes = setWrites(sim::traceLines());
    EXPECT_EQ(writes % 3, 0) << "a set transaction was left half done";
    EXPECT_GT(writes, 0);
    EXPECT_LT(writes, static_cast<int>(3 * kCodesAsked));
}

}  // namespace

namespace {

// Waits for the watch's descriptor and drains what is there.
std::vector<panoctl_watch_event> nextEvents(panoctl_session* session, int fd)
{
    std::vector<panoctl_watch_event> events;
    pollfd readable{fd, POLLIN, 0};
    if (poll(&readable, 1, 10000) != 1) {
        return events;
    }
    std::array<panoctl_watch_event, 8> taken{};
    size_t count = 0;
    do {
        EXPECT_EQ(panoctl_watch_read(session, taken.data(), taken.size(), &count), PANOCTL_OK);
        events.insert(events.end(), taken.begin(), taken.begin() + static_cast<long>(count));
    } while (count == taken.size());
    return events;
}

std::vector<std::string> described(const std::vector<panoctl_watch_event>& events)
{
    std::vector<std::string> lines;
    for (const panoctl_watch_event& event : events) {
        lines.push_back(std::to_string(event.kind) + " " + std::to_string(event.position) + " " +
                        event.id);
    }
    return lines;
}

// The events `panoctl watch` prints, through a descriptor a main loop polls:
// the displays present, ready, then each display as it comes or goes; the
// session's selectors follow.
TEST_F(Library, WatchTellsAMainLoopWhatCameAndWent)
{
    std::string path = testing::TempDir() + "panoctl-library-watch.json";
    auto write = [&](const std::string& text) {
        std::string temporary = path + ".new";
        std::FILE* file = std::fopen(temporary.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs(text.c_str(), file);
        std::fclose(file);
        std::rename(temporary.c_str(), path.c_str());
    };
    write(machine({{"a"}, {"b"}}));
    std::string error;
    ASSERT_TRUE(sim::loadScenarioFile(path, &error)) << error;
    sim::setFastPauses(true);
    open();
    int fd = -1;
    EXPECT_EQ(panoctl_watch_start(nullptr, &fd), PANOCTL_CLOSED);
    EXPECT_EQ(panoctl_watch_start(session_, nullptr), PANOCTL_INVALID_ARGUMENT);
    ASSERT_EQ(panoctl_watch_start(session_, &fd), PANOCTL_OK);
    EXPECT_EQ(panoctl_watch_start(session_, &fd), PANOCTL_NO_RESOURCES) << "one watch at a time";
    EXPECT_EQ(described(nextEvents(session_, fd)),
              (std::vector<std::string>{"1 1 UUID-a", "1 2 UUID-b", "3 0 "}));

    write(machine({{"a"}, {"b"}, {"c"}}));
    EXPECT_EQ(described(nextEvents(session_, fd)), (std::vector<std::string>{"1 3 UUID-c"}));
    unsigned value = 0;
    EXPECT_EQ(panoctl_get(session_, "3", 16, &value, nullptr), PANOCTL_OK);
    write(machine({{"b"}, {"c"}}));
    EXPECT_EQ(described(nextEvents(session_, fd)), (std::vector<std::string>{"2 0 UUID-a"}));
    EXPECT_EQ(panoctl_get(session_, "UUID-a", 16, &value, nullptr), PANOCTL_DISPLAY_GONE);

    size_t count = 1;
    EXPECT_EQ(panoctl_watch_read(session_, nullptr, 0, &count), PANOCTL_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(panoctl_watch_stop(session_), PANOCTL_OK);
    EXPECT_EQ(panoctl_watch_read(session_, nullptr, 0, &count), PANOCTL_INVALID_ARGUMENT);
    EXPECT_EQ(sim::liveNotificationPorts(), 0);
    std::remove(path.c_str());
}

// Every change the library makes reaches the displays' journals, which the
// command line's watches read: set, steps, percentages, restore and the
// latest value, each once the monitor took it; a failed write none.
TEST_F(Library, ChangesReachTheJournalOfChanges)
{
    std::string folder = ::testing::TempDir() + "journal-locks-" + std::to_string(getpid());
    std::string previous = std::getenv("PANOCTL_SIM_LOCKS") ? std::getenv("PANOCTL_SIM_LOCKS") : "";
    setenv("PANOCTL_SIM_LOCKS", folder.c_str(), 1);
    load(machine({{"A"}, {"B", 50, {{"faults", {{"failWrites", {0, 1, 2}}}}}}}));
    open();
    std::string journal = folder + "/display-UUID-A.journal";
    // The code's slot: sequence, code, flags, value, maximum.
    auto slot = [&](uint8_t code) {
        std::vector<uint8_t> bytes(16 + 256 * 16);
        int fd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(read(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
        const uint8_t* at = bytes.data() + 16 + code * 16;
        auto word = [](const uint8_t* low) { return static_cast<unsigned>(low[0] | low[1] << 8); };
        return std::array<unsigned, 3>{word(at), word(at + 6), at[5] == 1 ? word(at + 8) : 0U};
    };
    ASSERT_EQ(panoctl_set(session_, "UUID-A", 0x10, 44), PANOCTL_OK);
    EXPECT_EQ(slot(0x10), (std::array<unsigned, 3>{1, 44, 0}));
    unsigned value = 0;
    ASSERT_EQ(panoctl_step(session_, "UUID-A", 0x10, 6, 0, &value), PANOCTL_OK);
    EXPECT_EQ(slot(0x10), (std::array<unsigned, 3>{2, 50, 100}));
    ASSERT_EQ(panoctl_set_percent(session_, "UUID-A", 0x12, 25, &value), PANOCTL_OK);
    EXPECT_EQ(slot(0x12), (std::array<unsigned, 3>{1, 25, 100}));
    ASSERT_EQ(panoctl_set_latest(session_, "UUID-A", 0x10, 77), PANOCTL_OK);
    std::array<panoctl_flush_entry, 4> entries{};
    size_t count = 0;
    ASSERT_EQ(panoctl_flush(session_, 5000, entries.data(), entries.size(), &count), PANOCTL_OK);
    EXPECT_EQ(slot(0x10), (std::array<unsigned, 3>{3, 77, 0}));
    const char* saved = R"({"id":"UUID-A","features":{"0x10":5,"0x12":25}})";
    std::array<char, 512> report{};
    ASSERT_EQ(panoctl_restore_json(session_, "UUID-A", saved, std::strlen(saved), report.data(),
                                   report.size(), nullptr),
              PANOCTL_OK);
    EXPECT_EQ(slot(0x10), (std::array<unsigned, 3>{4, 5, 100}));
    EXPECT_EQ(slot(0x12)[0], 1U);  // unchanged: not written, not told
    // A write the monitor never took tells nothing.
    EXPECT_EQ(panoctl_set(session_, "UUID-B", 0x10, 44), PANOCTL_WRITE_FAILED);
    EXPECT_NE(access((folder + "/display-UUID-B.journal").c_str(), F_OK), 0);
    panoctl_close(&session_);
    setenv("PANOCTL_SIM_LOCKS", previous.c_str(), 1);
    std::filesystem::remove_all(folder);
}

}  // namespace
