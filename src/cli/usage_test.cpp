#include "cli/usage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// What a refusal writes to a stream.
template <typename... Arguments>
std::string written(const char* format, Arguments... arguments)
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    Refusals refusals;
    refusals.stream = stream;
    refuseCommandLine(&refusals, format, arguments...);
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

template <typename... Arguments>
std::string kept(const char* format, Arguments... arguments)
{
    Refusals refusals;
    captureRefusals(&refusals, true);
    refuseCommandLine(&refusals, format, arguments...);
    const char* text = takeCapturedRefusal(&refusals);
    return text != nullptr ? text : "<none>";
}

// Echoed words are escaped on the stream, raw when kept for a batch answer
// (which its document escapes); the refusal's own text and numbers are
// printf's.
TEST(Refusal, EchoedWordsAreEscapedOnTheStreamAndKeptRaw)
{
    EXPECT_EQ(written("invalid number: %s", "0x1\n0"), "invalid number: 0x1\\u000a0\n");
    EXPECT_EQ(written("invalid number: %s", "\x1b[31mRED"), "invalid number: \\u001b[31mRED\n");
    EXPECT_EQ(written("a \"b\" %s", "\"q\""), "a \"b\" \\\"q\\\"\n");
    EXPECT_EQ(kept("invalid number: %s", "0x1\n0"), "invalid number: 0x1\n0");
    EXPECT_EQ(written("too long: %zu bytes, at most %zu, %d%%", size_t{70000}, size_t{64}, -3),
              "too long: 70000 bytes, at most 64, -3%\n");
    EXPECT_EQ(written("key: %.*s!", 3,
                      "k\x7f"
                      "defg"),
              "key: k\\u007fd!\n");
    EXPECT_EQ(written("%s and %s", "\xe2\x80\xae", "\xc2\x9b"), "\\u202e and \\u009b\n");
    EXPECT_EQ(
        written("[%5d|%-4u|%03x|%*d|%.2f|%c|%ld]", 42, 7U, 10U, 4, -5, 2.5, 'q', -9000000000L),
        "[   42|7   |00a|  -5|2.50|q|-9000000000]\n");
    EXPECT_EQ(kept("%zu of %s then %d", size_t{3}, "x\ny", 4), "3 of x\ny then 4");
}

TEST(Refusal, EchoedWordsAreCutAt256Bytes)
{
    std::string word(60000, 'k');
    std::string cut = std::string(256, 'k') + "\u2026";
    EXPECT_EQ(written("not a restorable feature: %s", word.c_str()),
              "not a restorable feature: " + cut + "\n");
    EXPECT_EQ(kept("not a restorable feature: %.*s", 60000, word.c_str()),
              "not a restorable feature: " + cut);
    EXPECT_EQ(written("%s", std::string(256, 'k').c_str()), std::string(256, 'k') + "\n");
    // Control bytes cost six each, and the line still holds them all.
    EXPECT_EQ(written("%s", std::string(300, '\n').c_str()).size(), 256 * 6 + 3 + 1);
    // A UTF-8 sequence is not split by the cut.
    std::string euros = "kk";
    for (int i = 0; i < 100; i++) {
        euros += "\xe2\x82\xac";
    }
    EXPECT_EQ(kept("%s", euros.c_str()), euros.substr(0, 254) + "\u2026");
}

}  // namespace
