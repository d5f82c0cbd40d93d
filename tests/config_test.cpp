// The configuration file as a run meets it: where it is looked for, a file
// refused before anything else happens, `config` and `config check`, and
// aliases and groups as selectors on the built-in machine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"

namespace {

constexpr const char* kLeftId = "52721127-E5C3-A401-1720-0104B53C2278";
constexpr const char* kRightId = "458E2032-0000-0000-0A1F-0104B5462778";

// The built-in machine's two displays, named as a person would.
constexpr const char* kDesk = R"(
[display.left]
id = "52721127-E5C3-A401-1720-0104B53C2278"
brightness = { min = 10, max = 80 }

[display.right]
serial = "5A3C11F0"
model = "Quillon Q32"

[display.away]
serial = "00000000"

[group]
desk = ["left", "right"]
everywhere = ["right", "away", "left"]
)";

std::string entry(int position, const char* id, const std::string& rest)
{
    return "{\"display\":" + std::to_string(position) + ",\"id\":\"" + id + "\"," + rest + "}";
}

TEST(ConfigFileRefused, EndsEveryCommandBeforeDiscoveryAndTheBus)
{
    ConfigFile file("[display.left]\nid = \"A\"\nbrigtness = { min = 1, max = 2 }\n");
    const std::string refusal = "panoctl: config " + file.path() + ":3:1: unknown key: brigtness\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"list"},
                                               {"set", "1", "brightness", "50"},
                                               {"config"},
                                               {"config", "check"},
                                               {"batch"}}) {
        RunResult run = runPanoctl("", args);
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_EQ(run.err, refusal) << args[0];
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_TRUE(run.trace.empty()) << args[0];
    }
    // Help and version read nothing of it: a person fixing the file can
    // still read them.
    EXPECT_EQ(runPanoctl("", {"version"}).status, 0);
}

TEST(ConfigFileRefused, WhenOthersMayWriteItOrItIsNoFile)
{
    ConfigFile file(kDesk);
    chmod(file.path().c_str(), 0620);
    RunResult run = runPanoctl("", {"list"});
    EXPECT_EQ(run.err,
              "panoctl: config " + file.path() + ": writable by others (chmod go-w fixes it)\n");
    EXPECT_EQ(run.status, 2);

    std::string folder = file.path() + ".d";
    mkdir(folder.c_str(), 0700);
    setenv("PANOCTL_CONFIG", folder.c_str(), 1);
    run = runPanoctl("", {"list"});
    EXPECT_EQ(run.err, "panoctl: config " + folder + ": not a regular file\n");
    EXPECT_EQ(run.status, 2);
    rmdir(folder.c_str());
}

TEST(ConfigFileLocation, PanoctlConfigThenXdgThenHome)
{
    std::string saved =
        std::getenv("PANOCTL_CONFIG") != nullptr ? std::getenv("PANOCTL_CONFIG") : "";
    const char* home = std::getenv("HOME");
    std::string savedHome = home != nullptr ? home : "";
    {
        ConfigFile file(kDesk);
        // The file sits in <folder>/config.toml; made the XDG and HOME homes
        // of a panoctl/ and .config/panoctl/ link to it.
        std::string folder = file.path().substr(0, file.path().rfind('/'));
        mkdir((folder + "/panoctl").c_str(), 0700);
        symlink(file.path().c_str(), (folder + "/panoctl/config.toml").c_str());
        unsetenv("PANOCTL_CONFIG");
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        RunResult run = runPanoctl("", {"config", "check"});
        EXPECT_EQ(run.out, "{\"file\":\"" + folder + "/panoctl/config.toml\",\"ok\":true}\n");

        unsetenv("XDG_CONFIG_HOME");
        setenv("HOME", "/nonexistent-home", 1);
        run = runPanoctl("", {"config", "check"});
        EXPECT_EQ(run.out, "{\"file\":null,\"ok\":true}\n");
        EXPECT_EQ(run.status, 0);
        unlink((folder + "/panoctl/config.toml").c_str());
        rmdir((folder + "/panoctl").c_str());
    }
    setenv("HOME", savedHome.c_str(), 1);
    setenv("PANOCTL_CONFIG", saved.c_str(), 1);
}

TEST(ConfigDocument, ShowsTheFileAndTheBuiltInQuirksWithoutOne)
{
    RunResult run = runPanoctl("", {"config"});
    EXPECT_EQ(run.out,
              "{\"file\":null,\"displays\":[],\"groups\":{},\"features\":[],\"quirks\":[{\"name\":"
              "\"lg-input\",\"model\":null,\"feature\":96,\"code\":244,\"sourceAddress\":80,"
              "\"values\":{\"hdmi-1\":144,\"hdmi-2\":145,\"displayport-1\":208,\"usb-c\":209},"
              "\"pauseFactor\":1.000,\"capabilities\":null,\"unbounded\":[]}]}\n");
    EXPECT_TRUE(run.trace.empty());

    ConfigFile file(kDesk);
    run = runPanoctl("", {"config"});
    EXPECT_NE(
        run.out.find("\"file\":\"" + file.path() +
                     "\",\"displays\":[{\"alias\":\"left\",\"id\":\"" + kLeftId +
                     "\",\"serial\":null,\"model\":null,\"calibration\":{\"0x10\":{\"min\":10,"
                     "\"max\":80}},\"quirks\":[]}"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"groups\":{\"desk\":[\"left\",\"right\"],\"everywhere\":[\"right\","
                           "\"away\",\"left\"]}"),
              std::string::npos);
}

TEST(Aliases, ListNamesEachDisplaysAliasOnlyWithAFile)
{
    RunResult without = runPanoctl("", {"list"});
    EXPECT_EQ(without.out.find("alias"), std::string::npos);
    ConfigFile file("[display.Left]\nid = \"52721127-e5c3-a401-1720-0104b53c2278\"\n");
    RunResult run = runPanoctl("", {"list"});
    EXPECT_EQ(run.out,
              std::string("[{\"id\":\"") + kLeftId +
                  "\",\"name\":\"Tessaro T27Q\",\"serial\":\"01A4C3E5\",\"alias\":\"Left\","
                  "\"isBuiltin\":false,\"supportsDdc\":true},{\"id\":\"" +
                  kRightId +
                  "\",\"name\":\"Quillon Q32\",\"serial\":\"5A3C11F0\",\"alias\":null,"
                  "\"isBuiltin\":false,\"supportsDdc\":true}]\n");
}

TEST(Aliases, SelectInAnyCaseAsIdsDoWithTheSameTraffic)
{
    ConfigFile file(kDesk);
    RunResult byAlias = runPanoctl("", {"get", "RIGHT", "brightness"});
    RunResult byPosition = runPanoctl("", {"get", "2", "brightness"});
    EXPECT_EQ(byAlias.out, "{\"value\":60}\n");
    EXPECT_EQ(byAlias.trace, byPosition.trace);
    RunResult away = runPanoctl("", {"get", "away", "brightness"});
    EXPECT_EQ(away.out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    EXPECT_EQ(away.err, "panoctl: no display away (panoctl list shows them)\n");
    EXPECT_TRUE(away.trace.empty());
}

TEST(Groups, AreListsOfTheirAliasesInTheirOrder)
{
    ConfigFile file(kDesk);
    RunResult run = runPanoctl("", {"get", "everywhere", "contrast"});
    EXPECT_EQ(run.out, "[" + entry(2, kRightId, "\"value\":50,\"max\":100") +
                           ",{\"display\":null,\"id\":\"away\",\"error\":\"no_such_display\"}," +
                           entry(1, kLeftId, "\"value\":75,\"max\":100") + "]\n");
    run = runPanoctl("", {"get", "desk,2,left", "contrast"});
    EXPECT_EQ(run.out, "[" + entry(1, kLeftId, "\"value\":75,\"max\":100") + "," +
                           entry(2, kRightId, "\"value\":50,\"max\":100") + "]\n");
    run = runPanoctl("", {"features", "Desk"});
    EXPECT_EQ(run.err, "panoctl: features takes one display: Desk\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.trace.empty());
}

}  // namespace

namespace {

TEST(Calibration, PercentagesUseEachDisplaysOwnRangeAndRawValuesNone)
{
    ConfigFile file(kDesk);
    RunResult run = runPanoctl("", {"set", "desk", "brightness", "50%"});
    EXPECT_EQ(run.out, "[" + entry(1, kLeftId, "\"ok\":true,\"value\":45") + "," +
                           entry(2, kRightId, "\"ok\":true,\"value\":50") + "]\n");
    EXPECT_EQ(runPanoctl("", {"set", "left", "brightness", "-10%"}).out,
              "{\"ok\":true,\"value\":53}\n");
    EXPECT_EQ(runPanoctl("", {"set", "left", "brightness", "+", "5"}).out,
              "{\"ok\":true,\"value\":65}\n");
    // The same bytes as without a file, whose range is 0 to the maximum.
    RunResult raw = runPanoctl("", {"set", "left", "brightness", "5"});
    EXPECT_EQ(raw.out, "{\"ok\":true}\n");
    EXPECT_NE(raw.trace[1].find("84 03 10 00 05"), std::string::npos);
}

TEST(Calibration, GetPercentSaysWhereTheValueStands)
{
    RunResult run = runPanoctl("", {"--percent", "get", "1", "brightness"});
    EXPECT_EQ(run.out, "{\"value\":60,\"percent\":60}\n");
    run = runPanoctl("", {"--percent", "--max", "get", "9", "brightness"});
    EXPECT_EQ(run.out,
              "{\"value\":null,\"max\":null,\"percent\":null,\"error\":\"read_failed\"}\n");
    ConfigFile file(kDesk);
    run = runPanoctl("", {"get", "desk", "brightness", "--percent"});
    EXPECT_EQ(run.out, "[" + entry(1, kLeftId, "\"value\":60,\"max\":100,\"percent\":71") + "," +
                           entry(2, kRightId, "\"value\":60,\"max\":100,\"percent\":60") + "]\n");
}

}  // namespace

namespace {

constexpr const char* kModelId = "5A5A5A5A-0000-4000-8000-00000000C0DE";

// One display called `name`, whose monitor is `monitor`.
std::string oneDisplay(const std::string& name, const reg::Json& monitor)
{
    return reg::scenario({reg::panel(kModelId, name), reg::proxy("m")}, {{"m", monitor}});
}

// A monitor that switches input only through 0xF4 written from 0x50, and
// takes no 0x60 write at all.
reg::Json inputThroughF4()
{
    reg::Json monitor = reg::monitor(50, 100, "(vcp(10 60(0F 11 12) F4))");
    monitor["vcp"]["0x60"] = {{"current", 0x0F}, {"max", 0x12}};
    monitor["vcp"]["0xF4"] = {{"current", 0x90}, {"max", 0xFFFF}};
    monitor["sourceAddress"] = {{"0xF4", "0x50"}};
    monitor["ignoreWrites"] = reg::Json::array({"0x60"});
    return monitor;
}

bool traced(const RunResult& run, const std::string& part)
{
    for (const std::string& line : run.trace) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(Quirks, InputGoesThroughTheManufacturerCodeFromItsSourceAddress)
{
    std::string machine = oneDisplay("LG Ultra 27", inputThroughF4());
    // Without the quirk, 0x60 is written, acknowledged and ignored.
    RunResult plain = runPanoctlWithInput(machine, {"batch"}, "set 1 input hdmi-2\nget 1 input\n");
    EXPECT_EQ(plain.out, "{\"ok\":true}\n{\"value\":15}\n");

    ConfigFile file("[quirk.lg-input]\nmodel = \"lg ultra 27\"\n");
    DebugEnv debug("1");
    RunResult run = runPanoctlWithInput(machine, {"batch"}, "set 1 input hdmi-2\nget 1 input\n");
    EXPECT_EQ(run.out, "{\"ok\":true}\n{\"value\":145}\n");
    // 0x91 from 0x50, its checksum over 0x6E ^ 0x50.
    EXPECT_TRUE(traced(run, "write 0x37 0x50 84 03 f4 00 91 ")) << run.trace[1];
    EXPECT_FALSE(traced(run, "84 03 60"));
    EXPECT_NE(run.err.find(std::string("[dbg] quirk lg-input on ") + kModelId +
                           ": value named as 0x0091\n[dbg] quirk lg-input on " + kModelId +
                           ": 0x60 sent as 0xF4 from source address 0x50\n"),
              std::string::npos)
        << run.err;

    RunResult features = runPanoctl(machine, {"features", "1"});
    EXPECT_NE(
        features.out.find("{\"code\":96,\"name\":\"input\",\"values\":[{\"value\":15,\"name\":"
                          "\"displayport-1\"},{\"value\":17,\"name\":\"hdmi-1\"},{\"value\":"
                          "18,\"name\":\"hdmi-2\"}],\"quirk\":\"lg-input\"}"),
        std::string::npos)
        << features.out;
}

TEST(Quirks, AValueNameOnlyAnotherModelHasIsRefusedBeforeTheBus)
{
    ConfigFile file("[quirk.lg-input]\nmodel = \"LG Ultra 27\"\n");
    RunResult run = runPanoctl("", {"set", "1", "input", "usb-c"});
    EXPECT_EQ(run.err, "panoctl: unknown value for this display: usb-c\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.trace.empty());
    run = runPanoctl(oneDisplay("LG Ultra 27", inputThroughF4()), {"set", "1", "input", "USB-C"});
    EXPECT_EQ(run.out, "{\"ok\":true}\n");
    EXPECT_TRUE(traced(run, "write 0x37 0x50 84 03 f4 00 d1 "));
}

TEST(Quirks, APauseFactorReachesAMonitorThatAnswersLate)
{
    reg::Json monitor = reg::monitor(40, 100);
    // A reply read 10 ms after its request is too soon; 15 ms is not.
    monitor["bus"] = {{"replyDelay", 12000}};
    std::string machine = oneDisplay("Slow 24", monitor);
    EXPECT_EQ(runPanoctl(machine, {"get", "1", "brightness"}).out,
              "{\"value\":null,\"error\":\"read_failed\"}\n");
    ConfigFile file("[quirk.slow]\nmodel = \"Slow 24\"\npause-factor = 1.5\n");
    DebugEnv debug("1");
    RunResult run = runPanoctl(machine, {"get", "1", "brightness"});
    EXPECT_EQ(run.out, "{\"value\":40}\n");
    EXPECT_EQ(run.trace[0], "sleep 15000");
    EXPECT_NE(
        run.err.find(std::string("[dbg] quirk slow on ") + kModelId + ": pauses times 1.500\n"),
        std::string::npos)
        << run.err;
}

TEST(Quirks, ABrokenCapabilitiesStringIsReplacedWithoutTraffic)
{
    std::string machine = oneDisplay("Broken 22", reg::monitor(50, 100, "vcp(10 1"));
    ConfigFile file(std::string("[display.desk]\nid = \"") + kModelId +
                    "\"\nquirks = [\"fixed\"]\n"
                    "[quirk.fixed]\ncapabilities = \"(type(lcd)model(B22)vcp(10 12))\"\n");
    RunResult run = runPanoctl(machine, {"features", "desk"});
    EXPECT_EQ(run.out,
              "{\"model\":\"B22\",\"type\":\"lcd\",\"mccsVersion\":null,\"commands\":[],\"vcp\":[{"
              "\"code\":16,\"name\":\"brightness\"},{\"code\":18,\"name\":\"contrast\"}]}\n");
    EXPECT_TRUE(run.trace.empty());
}

TEST(Quirks, AnUnboundedPresetIsRestoredPastItsMaximum)
{
    reg::Json monitor = reg::monitor(50, 100);
    monitor["vcp"]["0x14"] = {{"current", 1}, {"max", 2}};
    std::string machine = oneDisplay("Presets 27", monitor);
    const std::string saved = "{\"features\":{\"0x14\":11}}";
    RunResult capped = runPanoctlWithInput(machine, {"restore", "1"}, saved);
    EXPECT_TRUE(traced(capped, "84 03 14 00 02 "));
    ConfigFile file("[quirk.presets]\nmodel = \"Presets 27\"\nunbounded = [\"color-preset\"]\n");
    RunResult run = runPanoctlWithInput(machine, {"restore", "1"}, saved);
    EXPECT_TRUE(traced(run, "84 03 14 00 0b "));
    EXPECT_FALSE(traced(run, "84 03 14 00 02 "));
}

}  // namespace

namespace {

constexpr const char* kOwnFeatures = R"(
[feature.kvm]
code = 0xF1
type = "non-continuous"
values = { pc = 1, laptop = 2 }

[feature.kvm-reset]
code = 0xF2
type = "action"

[feature.warmth]
code = 0xF3
type = "continuous"
)";

std::string ownMachine()
{
    reg::Json monitor = reg::monitor(50, 100, "(vcp(10 F1(01 02) F2 F3))");
    monitor["vcp"]["0xF1"] = {{"current", 1}, {"max", 2}};
    monitor["vcp"]["0xF2"] = {{"current", 0}, {"max", 1}};
    monitor["vcp"]["0xF3"] = {{"current", 20}, {"max", 40}};
    return oneDisplay("Own 27", monitor);
}

size_t writesOf(const RunResult& run, const std::string& request)
{
    size_t count = 0;
    for (const std::string& line : run.trace) {
        count += line.find(request) != std::string::npos ? 1 : 0;
    }
    return count;
}

TEST(OwnFeatures, AreUsedByNameWithTheirValuesAndKinds)
{
    ConfigFile file(kOwnFeatures);
    std::string machine = ownMachine();
    RunResult run = runPanoctlWithInput(machine, {"batch"},
                                        "set 1 KVM laptop\nget 1 kvm\nset 1 warmth 50%\n"
                                        "set 1 kvm-reset 1\n");
    EXPECT_EQ(run.out, "{\"ok\":true}\n{\"value\":2}\n{\"ok\":true,\"value\":20}\n{\"ok\":true}\n");
    // An action of one's own is sent once, as the table's are.
    EXPECT_EQ(writesOf(run, "84 03 f2 00 01"), 1U);
    EXPECT_EQ(writesOf(run, "84 03 f1 00 02"), 3U);

    RunResult refused = runPanoctl(machine, {"set", "1", "kvm", "+1"});
    EXPECT_EQ(refused.err, "panoctl: kvm takes a value, not a step\n");
    refused = runPanoctl(machine, {"set", "1", "kvm", "lapto"});
    EXPECT_EQ(refused.err, "panoctl: unknown value for kvm: lapto (did you mean laptop?)\n");
    refused = runPanoctl(machine, {"get", "1", "kvn"});
    EXPECT_EQ(refused.err, "panoctl: unknown feature: kvn (did you mean kvm?)\n");
    EXPECT_TRUE(refused.trace.empty());

    RunResult features = runPanoctl(machine, {"features", "1"});
    EXPECT_NE(features.out.find("{\"code\":241,\"name\":\"kvm\",\"values\":[{\"value\":1,\"name\":"
                                "\"pc\"},{\"value\":2,\"name\":\"laptop\"}]},{\"code\":242,"
                                "\"name\":\"kvm-reset\"},{\"code\":243,\"name\":\"warmth\"}"),
              std::string::npos)
        << features.out;
}

TEST(OwnFeatures, ScopedToAModelNameOnlyItsDisplaysInFeatures)
{
    ConfigFile file("[feature.kvm]\ncode = 0xF1\ntype = \"non-continuous\"\nmodel = \"Other\"\n");
    RunResult features = runPanoctl(ownMachine(), {"features", "1"});
    EXPECT_NE(features.out.find("{\"code\":241,\"name\":null"), std::string::npos) << features.out;
}

}  // namespace

namespace {

TEST(OwnFeatures, RestorableOnesAreSavedAndRestoredAfterTheBuiltInOnes)
{
    reg::Json monitor = reg::monitor(50, 100, "(vcp(10 F1 F3))");
    monitor["vcp"]["0xF1"] = {{"current", 2}, {"max", 3}};
    monitor["vcp"]["0xF3"] = {{"current", 20}, {"max", 40}};
    std::string machine = oneDisplay("Own 27", monitor);
    RunResult plain = runPanoctl(machine, {"save", "1"});
    EXPECT_NE(plain.out.find("\"features\":{\"0x10\":50}}"), std::string::npos) << plain.out;
    RunResult refused =
        runPanoctlWithInput(machine, {"restore", "1"}, "{\"features\":{\"kvm\":1}}");
    EXPECT_EQ(refused.err, "panoctl: not a restorable feature: kvm\n");

    ConfigFile file("[feature.kvm]\ncode = 0xF1\ntype = \"non-continuous\"\nrestorable = true\n"
                    "[feature.warmth]\ncode = 0xF3\ntype = \"continuous\"\n");
    RunResult saved = runPanoctl(machine, {"save", "1"});
    EXPECT_NE(saved.out.find("\"features\":{\"0x10\":50,\"0xf1\":2}}"), std::string::npos)
        << saved.out;
    RunResult restored =
        runPanoctlWithInput(machine, {"restore", "1"}, "{\"features\":{\"KVM\":1,\"0x10\":50}}");
    EXPECT_EQ(restored.out,
              "{\"ok\":true,\"features\":{\"0x10\":\"unchanged\",\"0xf1\":\"changed\"}}\n");
    EXPECT_TRUE(traced(restored, "84 03 f1 00 01 "));
    refused = runPanoctlWithInput(machine, {"restore", "1"}, "{\"features\":{\"warmth\":1}}");
    EXPECT_EQ(refused.err, "panoctl: not a restorable feature: warmth\n");
}

}  // namespace
