// The saved-document reader on its own: what it takes, and every way a
// document is refused before anything reaches a monitor.
#include "ops/saved_document.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Settings = std::vector<std::pair<uint8_t, uint16_t>>;  // in restore order

Settings settingsOf(const SavedSettings& saved)
{
    Settings settings;
    std::span<const RestorableFeature> features = restorableFeatures();
    for (size_t i = 0; i < features.size(); i++) {
        if (saved.values[i]) {
            settings.emplace_back(features[i].code, *saved.values[i]);
        }
    }
    return settings;
}

struct Accepted {
    const char* what;
    std::string document;
    Settings settings;
};

void PrintTo(const Accepted& c, std::ostream* os)
{
    *os << c.what;
}

class SavedDocumentAccepted : public testing::TestWithParam<Accepted> {};

TEST_P(SavedDocumentAccepted, ReadsTheFeatures)
{
    SavedSettings saved;
    DocumentReading reading = readSavedDocument(GetParam().document, &saved);
    EXPECT_EQ(reading.problem, DocumentProblem::none) << reading.what << " at " << reading.offset;
    EXPECT_EQ(settingsOf(saved), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SavedDocumentAccepted,
    testing::Values(
        Accepted{"what save prints",
                 R"({"id":"52721127-E5C3","name":"T\u00e9st \"Q\"","model":null,)"
                 R"("features":{"0x10":60,"0x12":75,"0x14":5,"0x62":30}})",
                 {{0x14, 5}, {0x10, 60}, {0x12, 75}, {0x62, 30}}},
        Accepted{
            "keys in every number syntax and as names",
            R"({"features":{"16":1,"0X12":2,"024":3,"red-gain":4,"0xdc":5,"0x6C":6,"mute":7}})",
            {{0x14, 3}, {0xDC, 5}, {0x10, 1}, {0x12, 2}, {0x16, 4}, {0x6C, 6}, {0x8D, 7}}},
        Accepted{
            "a key spelled with escapes", R"({"features":{"\u0062rightness":9}})", {{0x10, 9}}},
        Accepted{"the whole range",
                 R"({"features":{"0x10":0,"0x12":65535}})",
                 {{0x10, 0}, {0x12, 65535}}},
        Accepted{"white space anywhere JSON allows it",
                 " \n{ \"features\" :\t{ \"0x10\" : 60 , \"0x87\":2 } ,\r\"x\": [ ] } \n",
                 {{0x10, 60}, {0x87, 2}}},
        Accepted{"other members of any kind, nested",
                 R"({"a":[1,-2.5e+3,true,false,null,{"b":[[]]}],"features":{},"c":"\/\b\f\n\r\t"})",
                 {}},
        Accepted{
            "UTF-8 and surrogate pairs in other members",
            "{\"name\":\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x96\xa5 \\ud83d\\udda5\",\"features\":{}}",
            {}}));

struct Refused {
    const char* what;
    std::string document;
    DocumentProblem problem;
    std::string key;  // for the refusals that name a key
};

void PrintTo(const Refused& c, std::ostream* os)
{
    *os << c.what;
}

class SavedDocumentRefused : public testing::TestWithParam<Refused> {};

TEST_P(SavedDocumentRefused, AsksForNothing)
{
    SavedSettings saved;
    saved.values[0] = 1;  // a reading refused must not leave anything behind
    DocumentReading reading = readSavedDocument(GetParam().document, &saved);
    EXPECT_EQ(reading.problem, GetParam().problem) << reading.what << " at " << reading.offset;
    EXPECT_EQ(std::string(reading.key), GetParam().key);
    EXPECT_EQ(settingsOf(saved), Settings{});
}

const std::string kDeep = std::string(40, '[') + std::string(40, ']');

INSTANTIATE_TEST_SUITE_P(
    Documents, SavedDocumentRefused,
    testing::Values(
        Refused{"empty", "", DocumentProblem::notJson, ""},
        Refused{"not JSON", "brightness=60", DocumentProblem::notJson, ""},
        Refused{"cut off", R"({"features":{"0x10":6)", DocumentProblem::notJson, ""},
        Refused{"text after the object", R"({"features":{}} {})", DocumentProblem::notJson, ""},
        Refused{"a trailing comma", R"({"features":{"0x10":60,}})", DocumentProblem::notJson, ""},
        Refused{"a single-quoted key", R"({'features':{}})", DocumentProblem::notJson, ""},
        Refused{"a leading zero", R"({"features":{"0x10":060}})", DocumentProblem::notJson, ""},
        Refused{"a control byte in a string", "{\"name\":\"a\tb\",\"features\":{}}",
                DocumentProblem::notJson, ""},
        Refused{"a bad escape", R"({"name":"\x41","features":{}})", DocumentProblem::notJson, ""},
        Refused{"a lone surrogate", R"({"name":"\ud800","features":{}})", DocumentProblem::notJson,
                ""},
        Refused{"bytes that are not UTF-8", "{\"name\":\"\xc3\x28\",\"features\":{}}",
                DocumentProblem::notJson, ""},
        Refused{"an overlong UTF-8 form", "{\"name\":\"\xc0\xaf\",\"features\":{}}",
                DocumentProblem::notJson, ""},
        Refused{"nested too deeply", R"({"x":)" + kDeep + R"(,"features":{}})",
                DocumentProblem::notJson, ""},
        Refused{"a fault after a refused key is still not JSON", R"({"features":{"input":1},)",
                DocumentProblem::notJson, ""},
        Refused{"an array", "[60]", DocumentProblem::notObject, ""},
        Refused{"a number", "60", DocumentProblem::notObject, ""},
        Refused{"no features", R"({"id":"x"})", DocumentProblem::noFeatures, ""},
        Refused{"features not an object", R"({"features":[60]})", DocumentProblem::noFeatures, ""},
        Refused{"features twice", R"({"features":{},"features":{"0x10":1}})",
                DocumentProblem::featuresTwice, ""},
        Refused{"input changes what is shown", R"({"features":{"0x10":60,"input":17}})",
                DocumentProblem::notRestorable, "input"},
        Refused{"power, as a code", R"({"features":{"0xD6":1}})", DocumentProblem::notRestorable,
                "0xD6"},
        Refused{"degauss acts", R"({"features":{"1":1}})", DocumentProblem::notRestorable, "1"},
        Refused{"a factory reset acts", R"({"features":{"0x04":1}})",
                DocumentProblem::notRestorable, "0x04"},
        Refused{"save settings acts", R"({"features":{"0xb0":1}})", DocumentProblem::notRestorable,
                "0xb0"},
        Refused{"a code outside the table", R"({"features":{"0xC0":1}})",
                DocumentProblem::notRestorable, "0xC0"},
        Refused{"a code past 255 that would wrap to brightness", R"({"features":{"0x110":1}})",
                DocumentProblem::notRestorable, "0x110"},
        Refused{"a signed code", R"({"features":{"+16":1}})", DocumentProblem::notRestorable,
                "+16"},
        Refused{"a name in another case", R"({"features":{"Brightness":1}})",
                DocumentProblem::notRestorable, "Brightness"},
        Refused{"the key is shown as written", R"({"features":{"br\u0000ightness":1}})",
                DocumentProblem::notRestorable, R"(br\u0000ightness)"},
        Refused{"a negative value", R"({"features":{"0x10":-1}})", DocumentProblem::notAnInteger,
                "0x10"},
        Refused{"above 65535", R"({"features":{"0x10":65536}})", DocumentProblem::notAnInteger,
                "0x10"},
        Refused{"a fraction", R"({"features":{"0x10":60.0}})", DocumentProblem::notAnInteger,
                "0x10"},
        Refused{"an exponent", R"({"features":{"0x10":6e1}})", DocumentProblem::notAnInteger,
                "0x10"},
        Refused{"a string", R"({"features":{"0x10":"60"}})", DocumentProblem::notAnInteger, "0x10"},
        Refused{"null", R"({"features":{"0x10":null}})", DocumentProblem::notAnInteger, "0x10"},
        Refused{"one feature under two keys", R"({"features":{"0x10":60,"brightness":70}})",
                DocumentProblem::givenTwice, "brightness"},
        Refused{"the first refusal is the one given", R"({"features":{"power":1,"0x10":-1}})",
                DocumentProblem::notRestorable, "power"}));

TEST(SavedDocument, LargerThan64KiBIsRefusedUnread)
{
    std::string padding(kMaxSavedDocumentBytes, ' ');
    std::string fits = R"({"features":{"0x10":1}})";
    SavedSettings saved;
    EXPECT_EQ(readSavedDocument(fits + padding.substr(fits.size()), &saved).problem,
              DocumentProblem::none);
    EXPECT_EQ(readSavedDocument(fits + padding.substr(fits.size() - 1), &saved).problem,
              DocumentProblem::tooLarge);
    EXPECT_EQ(settingsOf(saved), Settings{});
}

TEST(SavedDocument, TheRestorableTableHoldsSettingsOnly)
{
    // Codes that act, or change what is shown, never come back from a document.
    for (int code : {0x01, 0x04, 0x05, 0x06, 0x08, 0x0A, 0x60, 0xB0, 0xD6}) {
        EXPECT_FALSE(restoreIndex(static_cast<uint8_t>(code))) << code;
    }
    // Presets before the levels they would load over.
    EXPECT_LT(*restoreIndex(0x14), *restoreIndex(0x10));
    EXPECT_LT(*restoreIndex(0xDC), *restoreIndex(0x12));
}

}  // namespace
