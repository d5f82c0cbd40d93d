#include "ops/json_escape.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

std::string escape(const std::string& input, size_t cap)
{
    // Guard bytes after the capacity catch any write past it.
    std::vector<char> out(cap + 8, '#');
    json_escape(input.c_str(), out.data(), cap);
    for (size_t i = cap; i < out.size(); i++) {
        EXPECT_EQ(out[i], '#') << "wrote past the capacity at " << i;
    }
    return std::string(out.data());
}

std::string escapeWhole(const std::string& input)
{
    return escape(input, escapedCapacity(input.size() + 1));
}

struct EscapeCase {
    std::string input;
    size_t cap;
    std::string expected;
};

void PrintTo(const EscapeCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.input) << " at capacity " << c.cap;
}

class JsonEscape : public testing::TestWithParam<EscapeCase> {};

TEST_P(JsonEscape, EscapesWithinTheCapacity)
{
    EXPECT_EQ(escape(GetParam().input, GetParam().cap), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonEscape,
    testing::Values(EscapeCase{"", 3, ""}, EscapeCase{"plain", 64, "plain"},
                    EscapeCase{"a\"b\\c", 64, "a\\\"b\\\\c"}, EscapeCase{"\x01", 64, "\\u0001"},
                    EscapeCase{"tab\there\nnl", 64, "tab\\u0009here\\u000anl"},
                    EscapeCase{"\x7f", 64, "\x7f"},
                    // Plain text stops at cap - 2; an escape pair starting at cap - 3
                    // is written whole; a \u escape that does not fit is dropped and
                    // the next plain byte still goes in.
                    EscapeCase{"abcdefgh", 8, "abcdef"}, EscapeCase{"abcde\"x", 8, "abcde\\\""},
                    EscapeCase{std::string("ab\001c"), 8, "abc"}, EscapeCase{"\"", 3, "\\\""},
                    EscapeCase{"abc", 3, "a"},
                    // Well-formed UTF-8 passes through; a sequence that does not fit is
                    // dropped whole, never cut.
                    EscapeCase{"caf\xc3\xa9", 64, "caf\xc3\xa9"},
                    EscapeCase{"\xe2\x82\xac\xf0\x9f\x96\xa5", 64, "\xe2\x82\xac\xf0\x9f\x96\xa5"},
                    EscapeCase{"abcd\342\202\254e", 8, "abcd\342\202\254"},
                    EscapeCase{"abcde\342\202\254f", 8, "abcdef"},
                    // Bytes that are not UTF-8 become \u00xx.
                    EscapeCase{"\xff", 64, "\\u00ff"}, EscapeCase{"a\x80z", 64, "a\\u0080z"},
                    EscapeCase{"\xc3", 64, "\\u00c3"}, EscapeCase{"\xc0\xaf", 64, "\\u00c0\\u00af"},
                    EscapeCase{"\xed\xa0\x80", 64, "\\u00ed\\u00a0\\u0080"},
                    EscapeCase{"\xf4\x90\x80\x80", 64, "\\u00f4\\u0090\\u0080\\u0080"},
                    EscapeCase{"\xe2\x82", 64, "\\u00e2\\u0082"}));

TEST(JsonEscape, LongestNamesComeOutWhole)
{
    EXPECT_EQ(escape(std::string(127, 'n'), 256), std::string(127, 'n'));
    std::string quotes(127, '"');
    std::string escaped;
    for (int i = 0; i < 127; i++) {
        escaped += "\\\"";
    }
    EXPECT_EQ(escape(quotes, 256), escaped);
}

TEST(JsonEscape, WorstCaseCapacityNeverCutsAndAlwaysParses)
{
    std::string everyByte;
    for (int byte = 1; byte < 256; byte++) {
        everyByte += static_cast<char>(byte);
    }
    std::vector<std::string> inputs{std::string(127, '\x01'), everyByte,
                                    "(prot(monitor)model(\"A\\B\")\xc3\xa9\xe2\x82\xac)"};
    for (const std::string& input : inputs) {
        std::string escaped = escapeWhole(input);
        auto parsed = nlohmann::json::parse("\"" + escaped + "\"");
        EXPECT_TRUE(parsed.is_string());
    }
    EXPECT_EQ(escapeWhole(std::string(127, '\x01')).size(), 127U * 6);
    auto utf8 = std::string("(prot(monitor)model(\"A\\B\")\xc3\xa9\xe2\x82\xac)");
    EXPECT_EQ(nlohmann::json::parse("\"" + escapeWhole(utf8) + "\"").get<std::string>(), utf8);
}

// For a terminal: what documents escape, and also what acts on a terminal
// though it is well-formed (DEL, C1 controls such as CSI, direction
// overrides, invisible marks), while other text passes. NULs inside the
// given length are escaped, not an end.
TEST(TerminalEscape, LeavesOnlyPrintableText)
{
    struct Case {
        std::string input, expected;
    } cases[] = {
        {"plain \"q\" \\", "plain \\\"q\\\" \\\\"},
        {"\x1b[31mRED", "\\u001b[31mRED"},
        {"0x1\n0", "0x1\\u000a0"},
        {"\x7f", "\\u007f"},
        {"\xc2\x9b"
         "2J",
         "\\u009b2J"},  // U+009B, CSI
        {"a\xe2\x80\xae"
         "b",
         "a\\u202eb"},  // U+202E, right-to-left override
        {"\xe2\x81\xa6x\xe2\x80\x8b", "\\u2066x\\u200b"},
        {"\xef\xbb\xbf", "\\ufeff"},
        {"\xe2\x80\xa8", "\\u2028"},
        {std::string("a\0b", 3), "a\\u0000b"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa5", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xa5"},
        {"\xff\xe2\x80", "\\u00ff\\u00e2\\u0080"},
    };
    for (const Case& c : cases) {
        std::vector<char> out(escapedCapacity(c.input.size() + 1) + 8, '#');
        size_t length = escapeForTerminal(c.input.data(), c.input.size(), out.data(),
                                          escapedCapacity(c.input.size() + 1));
        EXPECT_EQ(std::string(out.data(), length), c.expected) << testing::PrintToString(c.input);
    }
    // A UTF-8 sequence is not read past the given length.
    std::string cut = "ab\xe2\x82\xac";
    std::vector<char> out(64);
    size_t length = escapeForTerminal(cut.data(), 3, out.data(), out.size());
    EXPECT_EQ(std::string(out.data(), length), "ab\\u00e2");
}

TEST(TerminalEscape, LineSafeKeepsTheMessagesOwnQuotes)
{
    std::vector<char> out(256);
    makeLineSafe("scenario /tmp/a\nb: [\"k\xe2\x80\xae\"]: bad\\", out.data(), out.size());
    EXPECT_EQ(std::string(out.data()), "scenario /tmp/a\\u000ab: [\"k\\u202e\"]: bad\\");
}

}  // namespace
