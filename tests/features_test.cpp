// `features`: the capabilities string read as `capabilities` reads it, then
// decoded into one document, for tidy and untidy strings alike.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "harness.h"
#include "registry_builder.h"

using reg::Json;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-00000000FEA7";

std::string machine(const std::string& capabilities)
{
    return reg::scenario({reg::panel(kId, "Features"), reg::proxy("m")},
                         {{"m", reg::monitor(50, 100, capabilities)}});
}

struct Decoding {
    const char* what;
    std::string capabilities;
    std::string document;
};

void PrintTo(const Decoding& c, std::ostream* os)
{
    *os << c.what;
}

class Features : public testing::TestWithParam<Decoding> {};

TEST_P(Features, DecodeWhatTheStringGives)
{
    RunResult run = runPanoctl(machine(GetParam().capabilities), {"features", kId});
    EXPECT_EQ(run.out, GetParam().document + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

const std::string kNone = R"({"model":null,"type":null,"mccsVersion":null,"commands":[],"vcp":[]})";

INSTANTIATE_TEST_SUITE_P(
    Strings, Features,
    testing::Values(
        Decoding{
            "tidy, with a window segment whose type is not the display's",
            "(prot(monitor)type(LCD)model(T1X)cmds(01 02 03 07 0C E3 F3)vcp(02 10 14(05 08 "
            "0B) 60(0F 11 12) D6(01 04 05) DF)mccs_ver(2.2)window1(type(PIP) area(25 25 1895 "
            "1175))vcpname(10(Brightness)))",
            R"({"model":"T1X","type":"LCD","mccsVersion":"2.2","commands":[1,2,3,7,12,227,243],)"
            R"("vcp":[{"code":2,"name":"new-control-value"},{"code":16,"name":"brightness"},)"
            R"({"code":20,"name":"color-preset","values":[{"value":5,"name":"6500k"},{"value":8,"name":"9300k"},{"value":11,"name":"user-1"}]},)"
            R"({"code":96,"name":"input","values":[{"value":15,"name":"displayport-1"},{"value":17,"name":"hdmi-1"},{"value":18,"name":"hdmi-2"}]},)"
            R"({"code":214,"name":"power","values":[{"value":1,"name":"on"},{"value":4,"name":"off"},{"value":5,"name":"power-off"}]},{"code":223,"name":"vcp-version"}]})"},
        Decoding{
            "no spaces, runs of codes read two digits at a time",
            "(prot(monitor)type(lcd)model(ABC)cmds(01020307)vcp(021012 60(0f11)D6(0104))"
            "mccs_ver(2.1))",
            R"({"model":"ABC","type":"lcd","mccsVersion":"2.1","commands":[1,2,3,7],)"
            R"("vcp":[{"code":2,"name":"new-control-value"},{"code":16,"name":"brightness"},)"
            R"({"code":18,"name":"contrast"},{"code":96,"name":"input","values":[{"value":15,"name":"displayport-1"},{"value":17,"name":"hdmi-1"}]},)"
            R"({"code":214,"name":"power","values":[{"value":1,"name":"on"},{"value":4,"name":"off"}]}]})"},
        Decoding{
            "doubled spaces, lower-case hex, spaces kept in text",
            "( prot(monitor)  type( LCD )model(X \"Y\" Z)  cmds( 01  02 ) vcp(10  60 ( 0f  "
            "11 ) d6(01 04))mccs_ver(2.2) )",
            R"({"model":"X \"Y\" Z","type":" LCD ","mccsVersion":"2.2","commands":[1,2],)"
            R"("vcp":[{"code":16,"name":"brightness"},{"code":96,"name":"input","values":[{"value":15,"name":"displayport-1"},{"value":17,"name":"hdmi-1"}]},)"
            R"({"code":214,"name":"power","values":[{"value":1,"name":"on"},{"value":4,"name":"off"}]}]})"},
        Decoding{
            "values nested a level deeper are skipped",
            "(vcp(14(05 08 (0B 0C (0D)) 0A) 60(0F 11)))",
            R"({"model":null,"type":null,"mccsVersion":null,"commands":[],)"
            R"("vcp":[{"code":20,"name":"color-preset","values":[{"value":5,"name":"6500k"},{"value":8,"name":"9300k"},{"value":10,"name":"11500k"}]},)"
            R"({"code":96,"name":"input","values":[{"value":15,"name":"displayport-1"},{"value":17,"name":"hdmi-1"}]}]})"},
        Decoding{
            "a second vcp segment continues the first", "(vcp(10 12)model(M)vcp(60(11 12)))",
            R"({"model":"M","type":null,"mccsVersion":null,"commands":[],)"
            R"("vcp":[{"code":16,"name":"brightness"},{"code":18,"name":"contrast"},)"
            R"({"code":96,"name":"input","values":[{"value":17,"name":"hdmi-1"},{"value":18,"name":"hdmi-2"}]}]})"},
        Decoding{"cut off inside a value list",
                 "(prot(monitor)type(LCD)model(T27Q)cmds(01 02)vcp(10 12 60(0F 1",
                 R"({"model":"T27Q","type":"LCD","mccsVersion":null,"commands":[1,2],)"
                 R"("vcp":[{"code":16,"name":"brightness"},{"code":18,"name":"contrast"},)"
                 R"({"code":96,"name":"input","values":[{"value":15,"name":"displayport-1"}]}]})"},
        Decoding{"cut off inside the model: no model rather than a wrong one",
                 "(prot(monitor)type(lcd)model(T2",
                 R"({"model":null,"type":"lcd","mccsVersion":null,"commands":[],"vcp":[]})"},
        Decoding{"unknown segments are skipped whatever they hold",
                 "(foo(vcp(10) model(no))vcp(12)bar(((((",
                 R"({"model":null,"type":null,"mccsVersion":null,"commands":[],)"
                 R"("vcp":[{"code":18,"name":"contrast"}]})"},
        Decoding{
            "stray closing parentheses and upper-case segment names",
            "(prot(monitor) TYPE(lcd))Vcp(10 8D(01 02)))",
            R"({"model":null,"type":"lcd","mccsVersion":null,"commands":[],)"
            R"("vcp":[{"code":16,"name":"brightness"},{"code":141,"name":"mute","values":[{"value":1,"name":"on"},{"value":2,"name":"off"}]}]})"},
        Decoding{
            "junk tokens, odd digits and empty value lists",
            "(cmds(01 X2 0)vcp(101 12 zz(01) 60() 62 (03))model(A)model(B))",
            R"({"model":"A","type":null,"mccsVersion":null,"commands":[1],)"
            R"("vcp":[{"code":16,"name":"brightness"},{"code":18,"name":"contrast"},)"
            R"({"code":96,"name":"input"},{"code":98,"name":"volume","values":[{"value":3,"name":null}]}]})"},
        Decoding{"no outer parentheses", "prot(monitor)type(LCD)vcp(10 12)mccs_ver(2.2)",
                 R"({"model":null,"type":"LCD","mccsVersion":"2.2","commands":[],)"
                 R"("vcp":[{"code":16,"name":"brightness"},{"code":18,"name":"contrast"}]})"},
        Decoding{"two outer pairs, a segment after the inner one and one ')' too many",
                 "((prot(monitor)type(LCD)vcp(10 12))mccs_ver(2.2)))",
                 R"({"model":null,"type":"LCD","mccsVersion":"2.2","commands":[],)"
                 R"("vcp":[{"code":16,"name":"brightness"},{"code":18,"name":"contrast"}]})"},
        Decoding{"wrappers at any depth, after space and junk", " ( -((( vcp(10) ))) model(M))",
                 R"({"model":"M","type":null,"mccsVersion":null,"commands":[],)"
                 R"("vcp":[{"code":16,"name":"brightness"}]})"},
        Decoding{"a value without parentheses runs into the next name, or stands apart",
                 "(type(lcd)34uc88cmds(01 02)model LCDPA328 VCP(10)MCCS_VER(2.1))",
                 R"({"model":"LCDPA328","type":"lcd","mccsVersion":"2.1","commands":[1,2],)"
                 R"("vcp":[{"code":16,"name":"brightness"}]})"},
        Decoding{"a model run into the next name", "(type(lcd)modelVG278Hcmds(01)Model(X))",
                 R"({"model":"VG278H","type":"lcd","mccsVersion":null,"commands":[1],"vcp":[]})"},
        Decoding{"a bare value with no word model before it is no model",
                 "(34uc88cmds(01)model(M))",
                 R"({"model":"M","type":null,"mccsVersion":null,"commands":[1],"vcp":[]})"},
        Decoding{"the word model alone, or before an unknown segment, or cut off",
                 "(model vcp(10)) model Y z(1)model Q",
                 R"({"model":"Y","type":null,"mccsVersion":null,"commands":[],)"
                 R"("vcp":[{"code":16,"name":"brightness"}]})"},
        Decoding{"other pages' segments, vendor segments and names that only begin alike",
                 "(vcp_p02(33 37)vcp(10)vcp_p10(26)SmartManage(1.0)vcpname(12(Contrast))"
                 "vcpx(14)mccs_version(9))",
                 R"({"model":null,"type":null,"mccsVersion":null,"commands":[],)"
                 R"("vcp":[{"code":16,"name":"brightness"}]})"},
        Decoding{
            "a code listed again is listed again, each time with the values given there",
            "(vcp(60(11 12 11) 10 DB(00 04) 12 DB(04 FE)))",
            R"({"model":null,"type":null,"mccsVersion":null,"commands":[],)"
            R"("vcp":[{"code":96,"name":"input","values":[{"value":17,"name":"hdmi-1"},{"value":18,"name":"hdmi-2"},{"value":17,"name":"hdmi-1"}]},)"
            R"({"code":16,"name":"brightness"},{"code":219,"name":"image-mode","values":[{"value":0,"name":null},{"value":4,"name":null}]},)"
            R"({"code":18,"name":"contrast"},{"code":219,"name":"image-mode","values":[{"value":4,"name":null},{"value":254,"name":null}]}]})"},
        Decoding{
            "longer tokens among values written apart are not bytes; one run is",
            "(vcp(69(5000 6500 10000) EA(FE00 01 FC02) DC (00 (00 10) 01) 14(0105)))",
            R"({"model":null,"type":null,"mccsVersion":null,"commands":[],)"
            R"("vcp":[{"code":105,"name":null},{"code":234,"name":null,"values":[{"value":1,"name":null}]},)"
            R"({"code":220,"name":"display-mode","values":[{"value":0,"name":"standard"},{"value":1,"name":"productivity"}]},)"
            R"({"code":20,"name":"color-preset","values":[{"value":1,"name":"srgb"},{"value":5,"name":"6500k"}]}]})"},
        Decoding{"a trailing NUL, and what follows it, left out",
                 std::string("prot(monitor)vcp(10)\0vcp(12)", 28),
                 R"({"model":null,"type":null,"mccsVersion":null,)"
                 R"("commands":[],"vcp":[{"code":16,"name":"brightness"}]})"},
        Decoding{"a bare text", "vcp(10)",
                 R"({"model":null,"type":null,"mccsVersion":null,)"
                 R"("commands":[],"vcp":[{"code":16,"name":"brightness"}]})"},
        Decoding{"empty and garbage lists", "()", kNone},
        Decoding{"parentheses that never close", "((((((((((((((((((((((((((((((((", kNone},
        Decoding{"garbage", "(\x01\x7f garbage ) ) (", kNone}));

TEST(Features, MakesTheSameTrafficAsCapabilities)
{
    std::string codes;
    for (int code = 0; code < 100; code++) {
        codes += "0123456789ABCDEF"[code / 16];
        codes += "0123456789ABCDEF"[code % 16];
        codes += ' ';
    }
    std::string capabilities = "(prot(monitor)type(LCD)model(Long)vcp(" + codes + ")mccs_ver(2.2))";
    RunResult raw = runPanoctl(machine(capabilities), {"capabilities", kId});
    RunResult decoded = runPanoctl(machine(capabilities), {"features", "1"});
    EXPECT_EQ(decoded.trace, raw.trace);
    EXPECT_GT(decoded.trace.size(), 20U) << "several chunks";
    Json document = Json::parse(decoded.out);
    EXPECT_EQ(document["vcp"].size(), 100U);
}

TEST(Features, UnknownDisplayAndNoCapabilities)
{
    RunResult unknown = runPanoctl(machine("(vcp(10))"), {"features", "2"});
    EXPECT_EQ(unknown.out, "{\"error\":\"no_such_display\"}\n");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.trace.empty());

    RunResult empty = runPanoctl(machine(""), {"features", kId});
    EXPECT_EQ(empty.out, "{\"error\":\"no_capabilities\"}\n");
    EXPECT_EQ(empty.status, 0);
    RunResult silent =
        runPanoctl(reg::scenario({reg::panel(kId, "Silent"), reg::proxy("")}), {"features", kId});
    EXPECT_EQ(silent.out, "{\"error\":\"no_capabilities\"}\n");
}

}  // namespace
