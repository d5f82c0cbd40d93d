// The configuration file as a run meets it: where it is looked for, a file
// refused before anything else happens, `config` and `config check`, and
// aliases and groups as selectors on the built-in machine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

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
