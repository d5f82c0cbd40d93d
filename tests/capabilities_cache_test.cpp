// The capabilities cache through the real code: `features` and `save` read
// a display's string once and then from the cache, `--refresh` reads and
// replaces it, `capabilities` never uses it, and a cache that cannot be
// trusted or written changes nothing a caller sees.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"

using reg::Json;
namespace fs = std::filesystem;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-0000000CAC4E";
const std::string kFirst = "(prot(monitor)type(LCD)model(ONE)vcp(10 12))";
const std::string kSecond = "(prot(monitor)type(LCD)model(TWO)vcp(10 62))";

std::string machine(const std::string& capabilities, uint32_t serial = 0xABCDEF,
                    Json faults = nullptr)
{
    Json monitor = reg::monitor(50, 100, capabilities);
    if (!faults.is_null()) {
        monitor["faults"] = std::move(faults);
    }
    return reg::scenario(
        {reg::panel(kId, "Cached", {{"EDID", reg::edid(serial)}}), reg::proxy("m")},
        {{"m", monitor}});
}

size_t capabilitiesRequests(const RunResult& run)
{
    size_t count = 0;
    for (const std::string& line : run.trace) {
        count += line.rfind("write 0x37 0x51 83 f3", 0) == 0 ? 1 : 0;
    }
    return count;
}

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The cache file of the display with this serial (upper-case hex): named
// after its id, serial and a checksum of its registry path.
fs::path cacheFileFor(const std::string& folder, const std::string& serial = "00ABCDEF")
{
    std::string prefix = kId + "." + serial + ".";
    fs::path found;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && name.size() == prefix.size() + 16 + 13 &&
                name.substr(name.size() - 13) == ".capabilities") {
                EXPECT_TRUE(found.empty()) << "two files for one display";
                found = entry.path();
            }
        }
    }
    return found.empty() ? fs::path(folder) / (prefix + "missing") : found;
}

// The string a cache file keeps, after its header.
std::string cachedString(const fs::path& file)
{
    std::string text = contents(file);
    size_t end = text.find("\n\n");
    return end == std::string::npos ? "<no header>" : text.substr(end + 2);
}

// What `features` prints for kFirst and kSecond.
std::string featuresOf(const std::string& model, int secondCode, const char* secondName)
{
    return R"({"model":")" + model +
           R"(","type":"LCD","mccsVersion":null,"commands":[],)"
           R"("vcp":[{"code":16,"name":"brightness"},{"code":)" +
           std::to_string(secondCode) + R"(,"name":")" + secondName + "\"}]}\n";
}
const std::string kFirstFeatures = featuresOf("ONE", 18, "contrast");
const std::string kSecondFeatures = featuresOf("TWO", 98, "volume");

TEST(CapabilitiesCache, ASecondFeaturesMakesNoCapabilitiesTraffic)
{
    CacheFolder cache;
    RunResult first = runPanoctl(machine(kFirst), {"features", "1"});
    EXPECT_EQ(first.out, kFirstFeatures);
    EXPECT_GT(capabilitiesRequests(first), 0U);
    EXPECT_EQ(cachedString(cacheFileFor(cache.folder())), kFirst);
    EXPECT_EQ(fs::status(cache.folder()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(cacheFileFor(cache.folder())).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    // Nothing else is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(cache.folder()), fs::directory_iterator()), 1);

    RunResult second = runPanoctl(machine(kFirst), {"features", "1"});
    EXPECT_EQ(second.out, kFirstFeatures);
    EXPECT_EQ(second.err, "");
    EXPECT_TRUE(second.trace.empty()) << "no traffic at all";
}

TEST(CapabilitiesCache, RefreshReadsTheMonitorAndReplacesTheCopy)
{
    CacheFolder cache;
    runPanoctl(machine(kFirst), {"features", "1"});
    // New firmware, a new string: the cache still answers until --refresh.
    EXPECT_EQ(runPanoctl(machine(kSecond), {"features", "1"}).out, kFirstFeatures);
    RunResult refreshed = runPanoctl(machine(kSecond), {"--refresh", "features", "1"});
    EXPECT_EQ(refreshed.out, kSecondFeatures);
    EXPECT_GT(capabilitiesRequests(refreshed), 0U);
    RunResult after = runPanoctl(machine(kSecond), {"features", "1"});
    EXPECT_EQ(after.out, kSecondFeatures);
    EXPECT_TRUE(after.trace.empty());
}

TEST(CapabilitiesCache, CapabilitiesNeverUsesIt)
{
    CacheFolder cache;
    runPanoctl(machine(kFirst), {"features", "1"});
    RunResult raw = runPanoctl(machine(kSecond), {"capabilities", "1"});
    EXPECT_EQ(raw.out, "{\"capabilities\":\"" + kSecond + "\"}\n");
    EXPECT_GT(capabilitiesRequests(raw), 0U);
    // Nor does it fill it.
    EXPECT_EQ(cachedString(cacheFileFor(cache.folder())), kFirst);
}

TEST(CapabilitiesCache, SaveUsesItAndFillsIt)
{
    CacheFolder cache;
    RunResult first = runPanoctl(machine(kFirst), {"save", "1"});
    RunResult second = runPanoctl(machine(kFirst), {"save", "1"});
    EXPECT_EQ(second.out, first.out);
    EXPECT_GT(capabilitiesRequests(first), 0U);
    EXPECT_EQ(capabilitiesRequests(second), 0U);
    EXPECT_EQ(second.out, R"({"id":")" + kId +
                              R"(","name":"Cached","model":"ONE","features":{"0x10":50}})"
                              "\n");
    RunResult refreshed = runPanoctl(machine(kSecond), {"--refresh", "save", "1"});
    EXPECT_GT(capabilitiesRequests(refreshed), 0U);
    EXPECT_EQ(cachedString(cacheFileFor(cache.folder())), kSecond);
}

TEST(CapabilitiesCache, KeyedByIdAndSerial)
{
    CacheFolder cache;
    runPanoctl(machine(kFirst, 0xABCDEF), {"features", "1"});
    // Another monitor of the same model, id and all, but its own serial.
    RunResult other = runPanoctl(machine(kSecond, 0x123456), {"features", "1"});
    EXPECT_EQ(other.out, kSecondFeatures);
    EXPECT_GT(capabilitiesRequests(other), 0U);
    EXPECT_EQ(cachedString(cacheFileFor(cache.folder(), "00123456")), kSecond);
    EXPECT_EQ(cachedString(cacheFileFor(cache.folder())), kFirst);
}

TEST(CapabilitiesCache, ABatchReadsEachDisplayOnce)
{
    CacheFolder cache;
    RunResult batch = runPanoctlWithInput(machine(kFirst), {"batch"}, "features 1\nfeatures 1\n");
    EXPECT_EQ(batch.out, kFirstFeatures + kFirstFeatures);
    std::string request = "write 0x37 0x51 83 f3 00 00";
    size_t firstRequests = 0;
    for (const std::string& line : batch.trace) {
        firstRequests += line.rfind(request, 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(firstRequests, 2U) << "one read: the start request and the first fragment's";
}

// ---- only a string read whole ----

struct Unkept {
    const char* what;
    std::string scenario;
    std::string document;
};

void PrintTo(const Unkept& c, std::ostream* os)
{
    *os << c.what;
}

class NotCached : public testing::TestWithParam<Unkept> {};

TEST_P(NotCached, ReadsTheMonitorEachTime)
{
    CacheFolder cache;
    for (int run = 0; run < 2; run++) {
        RunResult features = runPanoctl(GetParam().scenario, {"features", "1"});
        EXPECT_EQ(features.out, GetParam().document);
        EXPECT_GT(capabilitiesRequests(features), 0U);
    }
    EXPECT_FALSE(fs::exists(cacheFileFor(cache.folder())));
}

const std::string kLong = "(prot(monitor)type(LCD)model(LONGER)vcp(10 12 14 16 18 1A 60 62))";

INSTANTIATE_TEST_SUITE_P(
    Reads, NotCached,
    testing::Values(
        // Read 0 is the first fragment; read 1, the second, fails.
        Unkept{"cut off by a failed fragment", machine(kLong, 0xABCDEF, Json{{"failReads", {1}}}),
               R"({"model":null,"type":"LCD","mccsVersion":null,"commands":[],"vcp":[]})"
               "\n"},
        Unkept{"no string", machine(""), "{\"error\":\"no_capabilities\"}\n"},
        // Without the outer parentheses a string is read to its end: here the
        // 64-fragment limit, not the monitor's end of the string.
        Unkept{"cut off by the fragment limit", machine("x" + std::string(2100, ' ')),
               R"({"model":null,"type":null,"mccsVersion":null,"commands":[],"vcp":[]})"
               "\n"}));

// ---- files that are not the cache's own are ignored ----

struct Planted {
    const char* what;
    std::function<void(const fs::path& file, const fs::path& scratch)> plant;
};

void PrintTo(const Planted& c, std::ostream* os)
{
    *os << c.what;
}

class UnsafeCacheFile : public testing::TestWithParam<Planted> {};

TEST_P(UnsafeCacheFile, IsIgnoredAndTheMonitorRead)
{
    CacheFolder cache;
    // A good copy first, to learn its name; then something else in its place.
    runPanoctl(machine(kFirst), {"features", "1"});
    fs::path file = cacheFileFor(cache.folder());
    fs::path scratch = fs::path(cache.base()) / "scratch";
    fs::create_directories(scratch);
    fs::rename(file, scratch / "good");
    GetParam().plant(file, scratch);

    RunResult run = runPanoctl(machine(kSecond), {"features", "1"});
    EXPECT_EQ(run.out, kSecondFeatures);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(capabilitiesRequests(run), 0U);
    // Nothing written through a link.
    if (fs::exists(scratch / "target")) {
        EXPECT_EQ(contents(scratch / "target"), contents(scratch / "good"));
    }
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnsafeCacheFile,
    testing::Values(
        Planted{"a symbolic link to a good copy",
                [](const fs::path& file, const fs::path& scratch) {
                    fs::copy_file(scratch / "good", scratch / "target");
                    fs::create_symlink(scratch / "target", file);
                }},
        Planted{"a folder",
                [](const fs::path& file, const fs::path&) { fs::create_directory(file); }},
        Planted{"a FIFO", [](const fs::path& file,
                             const fs::path&) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }},
        Planted{"over 4 KiB",
                [](const fs::path& file, const fs::path&) {
                    writeText(file, "(model(ONE)" + std::string(4096, ' ') + ")");
                }},
        Planted{"empty", [](const fs::path& file, const fs::path&) { writeText(file, ""); }},
        Planted{"longer than a reading holds",
                [](const fs::path& file, const fs::path&) {
                    writeText(file, "(model(ONE)" + std::string(2100, ' ') + ")");
                }},
        Planted{"a NUL inside",
                [](const fs::path& file, const fs::path&) {
                    writeText(file, std::string("(model(ONE)\0)", 13));
                }},
        Planted{"another user's", [](const fs::path& file, const fs::path& scratch) {
                    fs::copy_file(scratch / "good", file);
                    if (geteuid() == 0) {
                        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
                    } else {
                        fs::permissions(file, fs::perms::none);  // unreadable instead
                    }
                }}));

// ---- a file is used only for the display and text its header names ----

struct Tampered {
    const char* what;
    // The good file of this display and one of another display (its own
    // serial, string kSecond): what to put in the good one's place.
    std::function<std::string(const std::string& good, const std::string& other)> text;
};

void PrintTo(const Tampered& c, std::ostream* os)
{
    *os << c.what;
}

class TamperedCacheFile : public testing::TestWithParam<Tampered> {};

TEST_P(TamperedCacheFile, IsReadAgainFromTheMonitorAndReplaced)
{
    CacheFolder cache;
    runPanoctl(machine(kSecond, 0x123456), {"features", "1"});
    runPanoctl(machine(kFirst), {"features", "1"});
    fs::path file = cacheFileFor(cache.folder());
    std::string good = contents(file);
    writeText(file, GetParam().text(good, contents(cacheFileFor(cache.folder(), "00123456"))));

    RunResult run = runPanoctl(machine(kFirst), {"features", "1"});
    EXPECT_EQ(run.out, kFirstFeatures);
    EXPECT_EQ(run.err, "");
    EXPECT_GT(capabilitiesRequests(run), 0U);
    // The reading replaced the file: the next run uses it.
    EXPECT_EQ(contents(file), good);
    EXPECT_TRUE(runPanoctl(machine(kFirst), {"features", "1"}).trace.empty());
}

std::string withText(const std::string& file, const std::string& text)
{
    return file.substr(0, file.find("\n\n") + 2) + text;
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, TamperedCacheFile,
    testing::Values(
        Tampered{"garbage", [](const std::string&, const std::string&) { return "hello"; }},
        Tampered{"a bare string, as older versions wrote",
                 [](const std::string&, const std::string&) { return kFirst; }},
        Tampered{"cut short by three bytes",
                 [](const std::string& good, const std::string&) {
                     return good.substr(0, good.size() - 3);
                 }},
        Tampered{"one byte longer",
                 [](const std::string& good, const std::string&) { return good + ")"; }},
        // kSecond has kFirst's length: only the checksum tells them apart.
        Tampered{
            "another monitor's string under this display's header",
            [](const std::string& good, const std::string&) { return withText(good, kSecond); }},
        Tampered{"another display's file, header and all",
                 [](const std::string&, const std::string& other) { return other; }},
        Tampered{"a header with another path",
                 [](const std::string& good, const std::string&) {
                     std::string text = good;
                     text.insert(text.find("\npath ") + 6, "x");
                     return text;
                 }},
        Tampered{"a checksum in capitals", [](const std::string& good, const std::string&) {
                     std::string text = good;
                     size_t at = text.find("checksum ") + 9;
                     for (size_t i = at; i < at + 16; i++) {
                         text[i] = static_cast<char>(std::toupper(text[i]));
                     }
                     return text;
                 }}));

// Identical monitors, as a desk of one model with a zero serial has: one id
// and serial, each its own file and string.
TEST(CapabilitiesCache, DisplaysThatShareAnIdAndSerialKeepTheirOwnCopies)
{
    CacheFolder cache;
    std::string desk = reg::scenario(
        {reg::panel(kId, "Desk"), reg::proxy("a"), reg::panel(kId, "Desk"), reg::proxy("b")},
        {{"a", reg::monitor(50, 100, kFirst)}, {"b", reg::monitor(50, 100, kSecond)}});
    for (int run = 0; run < 2; run++) {
        RunResult first = runPanoctl(desk, {"features", "1"});
        RunResult second = runPanoctl(desk, {"features", "2"});
        EXPECT_EQ(first.out, kFirstFeatures) << "run " << run;
        EXPECT_EQ(second.out, kSecondFeatures) << "run " << run;
        EXPECT_EQ(first.trace.empty(), run == 1);
        EXPECT_EQ(second.trace.empty(), run == 1);
    }
    RunResult saved = runPanoctl(desk, {"save", "2"});
    EXPECT_NE(saved.out.find(R"("model":"TWO")"), std::string::npos) << saved.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(cache.folder()), fs::directory_iterator()), 2);
}

// Temporary files that killed runs left are removed by the next write once
// a minute old; a fresh one (a run writing it now), another name, a link
// and a folder stay.
TEST(CapabilitiesCache, AWriteRemovesStaleTemporaryFiles)
{
    CacheFolder cache;
    runPanoctl(machine(kFirst, 0x123456), {"features", "1"});
    fs::path folder = cache.folder();
    std::string name = cacheFileFor(folder.string(), "00123456").filename().string();
    auto plant = [&](const std::string& file, bool old) {
        writeText(folder / file, "left");
        if (old) {
            fs::last_write_time(folder / file,
                                fs::last_write_time(folder / file) - std::chrono::minutes(2));
        }
    };
    plant("." + name + ".Ab12Zz", true);
    plant(".other.capabilities.Qq9876", true);
    plant("." + name + ".Fresh1", false);
    plant("." + name + ".Ab12Zz.old", true);
    plant("." + name + ".Ab1", true);
    fs::create_symlink(folder / name, folder / ("." + name + ".Link01"));
    fs::create_directory(folder / ("." + name + ".Dir001"));

    runPanoctl(machine(kFirst), {"features", "1"});
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string()[0] == '.') {
            left.push_back(entry.path().filename().string());
        }
    }
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{"." + name + ".Ab1", "." + name + ".Ab12Zz.old",
                                      "." + name + ".Dir001", "." + name + ".Fresh1",
                                      "." + name + ".Link01"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

// ---- folders that cannot be used: the cache is silent ----

struct Folder {
    const char* what;
    std::function<void(const CacheFolder& cache)> prepare;
};

void PrintTo(const Folder& c, std::ostream* os)
{
    *os << c.what;
}

class UnusableCacheFolder : public testing::TestWithParam<Folder> {};

TEST_P(UnusableCacheFolder, ChangesNothingACallerSees)
{
    CacheFolder cache;
    GetParam().prepare(cache);
    for (int run = 0; run < 2; run++) {
        RunResult features = runPanoctl(machine(kFirst), {"features", "1"});
        EXPECT_EQ(features.out, kFirstFeatures);
        EXPECT_EQ(features.err, "");
        EXPECT_EQ(features.status, 0);
        EXPECT_GT(capabilitiesRequests(features), 0U);
    }
    EXPECT_FALSE(fs::exists(cacheFileFor((fs::path(cache.base()) / "elsewhere").string())));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UnusableCacheFolder,
    testing::Values(Folder{"a symbolic link to another folder",
                           [](const CacheFolder& cache) {
                               fs::create_directory(fs::path(cache.base()) / "elsewhere");
                               fs::permissions(fs::path(cache.base()) / "elsewhere",
                                               fs::perms::owner_all);
                               fs::create_directory_symlink(fs::path(cache.base()) / "elsewhere",
                                                            cache.folder());
                           }},
                    Folder{"writable by other users",
                           [](const CacheFolder& cache) {
                               fs::create_directory(cache.folder());
                               fs::permissions(cache.folder(), fs::perms::all);
                           }},
                    Folder{"a file where the folder would be",
                           [](const CacheFolder& cache) {
                               writeText(cache.folder(), "not a folder");
                           }},
                    Folder{"no home folder", [](const CacheFolder&) {
                               unsetenv("XDG_CACHE_HOME");
                               unsetenv("HOME");
                           }}));

TEST(CapabilitiesCacheFolder, MadeWhenMissingWithItsParent)
{
    CacheFolder cache;
    std::string base = cache.base() + "/new-cache-home";
    setenv("XDG_CACHE_HOME", base.c_str(), 1);
    runPanoctl(machine(kFirst), {"features", "1"});
    EXPECT_EQ(cachedString(cacheFileFor(base + "/panoctl")), kFirst);
    EXPECT_EQ(fs::status(fs::path(base) / "panoctl").permissions(), fs::perms::owner_all);
}

TEST(CapabilitiesCacheFolder, UnderHomeWithoutXdgCacheHome)
{
    CacheFolder cache;
    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", cache.base().c_str(), 1);
    runPanoctl(machine(kFirst), {"features", "1"});
    EXPECT_EQ(cachedString(cacheFileFor(cache.base() + "/.cache/panoctl")), kFirst);
}

}  // namespace
