// Capabilities strings that real monitors sent, served by a simulated
// monitor: `capabilities` gives each back whole and `features` finds the vcp
// codes that reading the string by eye finds (written down per string in
// data/real_capabilities.json). Every document these runs print is also
// checked against its schema after the suite (documents_match_schemas).
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "registry_builder.h"

using reg::Json;

namespace {

const std::string kId = "5A5A5A5A-0000-4000-8000-0000000CAB5E";

struct RealString {
    std::string what;  // maker and model
    std::string caps;
    std::vector<int> vcp;
};

void PrintTo(const RealString& c, std::ostream* os)
{
    *os << c.what;
}

std::vector<RealString> realStrings()
{
    std::ifstream file(PANOCTL_TEST_DATA "/real_capabilities.json");
    Json entries = Json::parse(file);
    std::vector<RealString> strings;
    for (const Json& entry : entries) {
        RealString real{entry["maker"].get<std::string>() + " " + entry["model"].get<std::string>(),
                        entry["caps"].get<std::string>(),
                        {}};
        for (const Json& code : entry["vcp"]) {
            real.vcp.push_back(std::stoi(code.get<std::string>(), nullptr, 16));
        }
        strings.push_back(std::move(real));
    }
    return strings;
}

class RealStrings : public testing::TestWithParam<RealString> {};

TEST_P(RealStrings, ComeBackWholeAndDecodeAsRead)
{
    std::string machine = reg::scenario({reg::panel(kId, "Real"), reg::proxy("m")},
                                        {{"m", reg::monitor(50, 100, GetParam().caps)}});

    RunResult raw = runPanoctl(machine, {"capabilities", kId});
    ASSERT_EQ(raw.status, 0);
    std::string whole = GetParam().caps.substr(0, GetParam().caps.find('\0'));
    EXPECT_EQ(Json::parse(raw.out)["capabilities"], whole);

    RunResult decoded = runPanoctl(machine, {"features", kId});
    ASSERT_EQ(decoded.status, 0);
    Json document = Json::parse(decoded.out);
    ASSERT_TRUE(document.contains("vcp")) << decoded.out;
    std::vector<int> codes;
    for (const Json& code : document["vcp"]) codes.push_back(code["code"].get<int>());
    EXPECT_EQ(codes, GetParam().vcp);
    EXPECT_EQ(decoded.trace, raw.trace);
}

INSTANTIATE_TEST_SUITE_P(Monitors, RealStrings, testing::ValuesIn(realStrings()));

}  // namespace
