// Registry notifications over a scenario file rewritten while a run loop
// waits: which entries fire, arming, a broken rewrite, and what is handed out
// and given back.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "test_helpers.h"

namespace {

// A registry of `children`, a JSON array text.
std::string registry(const std::string& children)
{
    return R"({"registry": {"name": "Root", "children": )" + children + "}}";
}

struct Fired {
    int calls = 0;
    std::vector<std::string> names;  // of the entries still in the registry
    int gone = 0;                    // entries handed out that have left it
};

// Drains the iterator as a caller must, releasing every object.
void drainInto(Fired* fired, io_iterator_t iterator)
{
    while (io_object_t object = IOIteratorNext(iterator)) {
        io_name_t name;
        if (IORegistryEntryGetName(object, name) == KERN_SUCCESS) {
            fired->names.emplace_back(name);
        } else {
            ++fired->gone;
        }
        IOObjectRelease(object);
    }
}

void onNotified(void* refcon, io_iterator_t iterator)
{
    auto* fired = static_cast<Fired*>(refcon);
    ++fired->calls;
    drainInto(fired, iterator);
}

class NotificationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/panoctl-notify-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        path_ = folder_ + "/machine.json";
    }
    void TearDown() override
    {
        std::remove(path_.c_str());
        rmdir(folder_.c_str());
        sim::setNotificationPortCreationFails(false);
    }

    void write(const std::string& text)
    {
        // Renamed into place, as a whole: the run loop never sees half a file.
        std::string next = path_ + ".new";
        std::ofstream(next) << text;
        ASSERT_EQ(std::rename(next.c_str(), path_.c_str()), 0);
    }

    void start(const std::string& text)
    {
        write(text);
        std::string error;
        ASSERT_TRUE(sim::loadScenarioFile(path_, &error)) << error;
        port_ = IONotificationPortCreate(kIOMainPortDefault);
        ASSERT_NE(port_, nullptr);
        CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(port_),
                           kCFRunLoopDefaultMode);
    }

    io_iterator_t add(const char* type, const char* className, Fired* fired, bool arm = true)
    {
        io_iterator_t iterator = 0;
        EXPECT_EQ(IOServiceAddMatchingNotification(port_, type, IOServiceMatching(className),
                                                   onNotified, fired, &iterator),
                  KERN_SUCCESS);
        if (arm) drainInto(fired, iterator);
        return iterator;
    }

    // Waits until a notification was delivered or the file was looked at
    // several times.
    static SInt32 waitOnce() { return CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.5, 1); }

    void stop(std::initializer_list<io_iterator_t> iterators)
    {
        for (io_iterator_t iterator : iterators) IOObjectRelease(iterator);
        IONotificationPortDestroy(port_);
        EXPECT_EQ(sim::outstandingRegistryReferences(), 0);
        EXPECT_EQ(sim::liveCfObjects(), 0);
        EXPECT_EQ(sim::liveNotificationPorts(), 0);
        EXPECT_TRUE(sim::traceLines().empty()) << "a notification touched a monitor";
    }

    std::string folder_;
    std::string path_;
    IONotificationPortRef port_ = nullptr;
};

TEST_F(NotificationsTest, EntriesThatComeAndGoFireTheirClass)
{
    struct Case {
        const char* what;
        std::string before;
        std::string after;
        std::vector<std::string> arrived;  // first match for class "P"
        int terminated;                    // terminated for class "P"
    } cases[] = {
        {"one plugged in", R"([{"name": "P"}])", R"([{"name": "P"}, {"name": "P"}])", {"P"}, 0},
        {"one unplugged", R"([{"name": "P"}, {"name": "P"}])", R"([{"name": "P"}])", {}, 1},
        {"swapped for another",
         R"([{"name": "P"}])",
         R"([{"name": "Q", "children": [{"name": "P"}]}])",
         {"P"},
         1},
        {"its parent went",
         R"([{"name": "A", "children": [{"name": "P"}, {"name": "P"}]}])",
         R"([{"name": "B"}])",
         {},
         2},
        {"other classes only",
         R"([{"name": "P"}, {"name": "Q"}])",
         R"([{"name": "P"}, {"name": "R"}])",
         {},
         0},
        {"properties changed, same place",
         R"([{"name": "P", "properties": {"k": 1}}])",
         R"([{"name": "P", "properties": {"k": 2}}])",
         {},
         0},
        {"a new sibling ahead of it",
         R"([{"name": "P"}])",
         R"([{"name": "Q"}, {"name": "P"}])",
         {},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(registry(c.before));
        Fired arrivals;
        Fired departures;
        io_iterator_t first = add(kIOFirstMatchNotification, "P", &arrivals);
        io_iterator_t gone = add(kIOTerminatedNotification, "P", &departures);
        arrivals = Fired{};
        write(registry(c.after));
        // Long enough for the file to be looked at several times, even on a
        // busy machine; every source served.
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.5, 0), kCFRunLoopRunTimedOut);
        EXPECT_EQ(arrivals.calls, c.arrived.empty() ? 0 : 1);
        EXPECT_EQ(departures.calls, c.terminated == 0 ? 0 : 1);
        EXPECT_EQ(arrivals.names, c.arrived);
        EXPECT_EQ(departures.gone, c.terminated);
        EXPECT_TRUE(departures.names.empty());
        stop({first, gone});
    }
}

TEST_F(NotificationsTest, OnlyADrainedNotificationFires)
{
    start(registry(R"([{"name": "P"}])"));
    Fired fired;
    io_iterator_t iterator = add(kIOFirstMatchNotification, "P", &fired, false);
    write(registry(R"([{"name": "P"}, {"name": "P"}])"));
    EXPECT_EQ(waitOnce(), kCFRunLoopRunTimedOut) << "fired before it was armed";
    drainInto(&fired, iterator);
    EXPECT_EQ(fired.names, (std::vector<std::string>{"P", "P"}));

    // Fired once, then not drained: the next change collects without firing.
    write(registry(R"([{"name": "P"}, {"name": "P"}, {"name": "P"}])"));
    EXPECT_EQ(waitOnce(), kCFRunLoopRunHandledSource);
    EXPECT_EQ(fired.calls, 1);
    stop({iterator});
}

TEST_F(NotificationsTest, CallbackThatDoesNotDrainIsNotCalledAgain)
{
    start(registry("[]"));
    int calls = 0;
    io_iterator_t iterator = 0;
    ASSERT_EQ(
        IOServiceAddMatchingNotification(
            port_, kIOFirstMatchNotification, IOServiceMatching("P"),
            [](void* refcon, io_iterator_t) { ++*static_cast<int*>(refcon); }, &calls, &iterator),
        KERN_SUCCESS);
    EXPECT_EQ(IOIteratorNext(iterator), IO_OBJECT_NULL);
    write(registry(R"([{"name": "P"}])"));
    EXPECT_EQ(waitOnce(), kCFRunLoopRunHandledSource);
    write(registry(R"([{"name": "P"}, {"name": "P"}])"));
    EXPECT_EQ(waitOnce(), kCFRunLoopRunTimedOut);
    EXPECT_EQ(calls, 1);
    Fired rest;
    drainInto(&rest, iterator);
    EXPECT_EQ(rest.names.size() + static_cast<size_t>(rest.gone), 2U);
    stop({iterator});
}

TEST_F(NotificationsTest, BrokenRewriteIsReportedOnceAndKeepsTheRegistry)
{
    start(registry(R"([{"name": "P"}])"));
    Fired fired;
    io_iterator_t iterator = add(kIOFirstMatchNotification, "P", &fired);
    testing::internal::CaptureStderr();
    write(R"({"registry": )");
    EXPECT_EQ(waitOnce(), kCFRunLoopRunTimedOut);
    EXPECT_EQ(waitOnce(), kCFRunLoopRunTimedOut);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("panoctl: scenario " + path_ + ": ", 0), 0U) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    io_registry_entry_t kept = simtest::findEntry("P");
    EXPECT_NE(kept, IO_OBJECT_NULL) << "the last good registry was not kept";
    IOObjectRelease(kept);

    // The next good version is compared with the last good one.
    write(registry(R"([{"name": "P"}, {"name": "P"}])"));
    EXPECT_EQ(waitOnce(), kCFRunLoopRunHandledSource);
    EXPECT_EQ(fired.names, (std::vector<std::string>{"P", "P"}));
    stop({iterator});
}

TEST_F(NotificationsTest, NothingToWaitFor)
{
    struct Case {
        const char* what;
        bool schedule;
        bool destroy;
        SInt32 expected;
    } cases[] = {
        {"port never added to the run loop", false, false, kCFRunLoopRunFinished},
        {"port destroyed", true, true, kCFRunLoopRunFinished},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        simtest::load(registry("[]"));
        IONotificationPortRef port = IONotificationPortCreate(kIOMainPortDefault);
        if (c.schedule) {
            CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(port),
                               kCFRunLoopDefaultMode);
        }
        if (c.destroy) IONotificationPortDestroy(port);
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 5.0, 1), c.expected);
        if (!c.destroy) IONotificationPortDestroy(port);
    }
    sim::setNotificationPortCreationFails(true);
    EXPECT_EQ(IONotificationPortCreate(kIOMainPortDefault), nullptr);
    EXPECT_EQ(sim::liveNotificationPorts(), 0);
}

TEST_F(NotificationsTest, QuietRegistryTimesOutAfterTheWholeWait)
{
    start(registry(R"([{"name": "P"}])"));
    Fired fired;
    io_iterator_t iterator = add(kIOFirstMatchNotification, "P", &fired);
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.25, 1), kCFRunLoopRunTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(250));
    EXPECT_EQ(fired.calls, 0);
    stop({iterator});
}

TEST_F(NotificationsTest, RefusedRequestsStillConsumeTheDictionary)
{
    start(registry("[]"));
    io_iterator_t iterator = 0;
    EXPECT_NE(
        IOServiceAddMatchingNotification(port_, "IOServiceNoSuchNotification",
                                         IOServiceMatching("P"), onNotified, nullptr, &iterator),
        KERN_SUCCESS);
    EXPECT_NE(
        IOServiceAddMatchingNotification(nullptr, kIOFirstMatchNotification, IOServiceMatching("P"),
                                         onNotified, nullptr, &iterator),
        KERN_SUCCESS);
    stop({});
}

}  // namespace
