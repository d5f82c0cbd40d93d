#include "json_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include "sim_control.h"

namespace {

// Nesting up to 1,000,000 levels and objects of a million members, timed and
// checked at that scale, are measured in bench/sim_input_bench.cpp.
TEST(JsonInputTest, RepeatedKeysKeepTheirFirstPlaceAndTakeTheLastValue)
{
    std::string text = "{";
    for (int i = 0; i < 1000; ++i) text += "\"k" + std::to_string(i) + "\":0,";
    text += R"("k1": 5, "last": 1})";
    sim::Json document;
    std::string error;
    ASSERT_TRUE(sim::parseJson(text, &document, &error)) << error;
    EXPECT_EQ(document.size(), 1001u);
    EXPECT_EQ(document.begin().key(), "k0");
    EXPECT_EQ(std::next(document.begin()).key(), "k1");
    EXPECT_EQ(document["k1"], 5);
}

TEST(JsonInputTest, ParseErrorsAreOneLine)
{
    struct Case {
        std::string text, message;
    } cases[] = {
        {"{\n \"a\": }", "invalid json at line 2, column 7"},
        {"[1e400]", "invalid json: number overflow parsing '1e400'"},
        {"", "invalid json at line 1, column 1"},
    };
    for (const Case& c : cases) {
        sim::Json document;
        std::string error;
        EXPECT_FALSE(sim::parseJson(c.text, &document, &error));
        EXPECT_EQ(error, c.message);
    }
}

// A file past the size limit, as a regular file (refused before reading),
// as a device and as a pipe that never ends (both read one byte past the
// limit, no further); at the limit itself a file is read.
TEST(JsonInputTest, InputPastSixtyFourMebibytesIsRefused)
{
    char path[] = "/tmp/panoctl-input-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string text, error;
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(sim::kMaxInputBytes)), 0);
    EXPECT_TRUE(sim::readInput(fd, &text, &error)) << error;
    EXPECT_EQ(text.size(), sim::kMaxInputBytes);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(sim::kMaxInputBytes) + 1), 0);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    EXPECT_FALSE(sim::readInput(fd, &text, &error));
    EXPECT_EQ(error, "larger than 64 MiB");
    close(fd);
    unlink(path);

    int zero = open("/dev/zero", O_RDONLY);
    ASSERT_GE(zero, 0);
    error.clear();
    EXPECT_FALSE(sim::readInput(zero, &text, &error));
    EXPECT_EQ(error, "larger than 64 MiB");
    close(zero);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::thread writer([end = pipeEnds[1]] {
        std::string block(65536, ' ');
        while (write(end, block.data(), block.size()) > 0) {
        }
        close(end);
    });
    error.clear();
    EXPECT_FALSE(sim::readInput(pipeEnds[0], &text, &error));
    EXPECT_EQ(error, "larger than 64 MiB");
    close(pipeEnds[0]);  // the writer's next write fails and it stops
    writer.join();

    std::string what;
    // Only regular files are scenarios: a device or folder is refused before
    // anything is read from it.
    EXPECT_FALSE(sim::loadScenarioFile("/dev/zero", &what));
    EXPECT_EQ(what, "not a regular file");
    EXPECT_FALSE(sim::loadScenarioFile("/tmp", &what));
    EXPECT_EQ(what, "not a regular file");
}

}  // namespace
