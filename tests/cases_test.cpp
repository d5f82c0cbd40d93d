// Runs the real panoctl binary on every case folder under tests/cases and
// compares what it did with the files there:
//   args          one argument per line (required)
//   scenario.json the machine (absent: the built-in one)
//   env           extra environment, NAME=value per line (optional)
//   stdout, stderr, status    expected, compared whole (missing: empty, 0);
//                 "{case}" stands for the case folder's path
//   trace         expected bus trace (optional)
//   stdout-to     where standard output goes instead of a file the runner
//                 reads: a path such as /dev/full, or "closed" (optional;
//                 the stdout file is then not compared)
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

struct Outcome {
    std::string out, err, trace;
    int status = -1;
};

Outcome runCase(const fs::path& dir, const fs::path& scratch)
{
    std::vector<std::string> args{PANOCTL_BINARY};
    for (const std::string& arg : linesOf(readFile(dir / "args"))) {
        args.push_back(arg);
    }
    std::vector<std::string> env;
    for (char** var = environ; *var != nullptr; var++) {
        std::string entry = *var;
        if (entry.rfind("PANOCTL_SIM_", 0) != 0 && entry.rfind("DDC_DEBUG=", 0) != 0) {
            env.push_back(entry);
        }
    }
    env.push_back("PANOCTL_SIM_FAST=1");
    env.push_back("PANOCTL_SIM_TRACE=" + (scratch / "trace").string());
    env.push_back("PANOCTL_SIM_LOCKS=" + (scratch / "locks").string());
    if (fs::exists(dir / "scenario.json")) {
        env.push_back("PANOCTL_SIM_SCENARIO=" + (dir / "scenario.json").string());
    }
    if (fs::exists(dir / "env")) {
        for (const std::string& line : linesOf(readFile(dir / "env"))) {
            env.push_back(line);
        }
    }
    std::vector<char*> argv, envp;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::string stdoutTo =
        fs::exists(dir / "stdout-to") ? linesOf(readFile(dir / "stdout-to"))[0] : "";
    if (stdoutTo == "closed") {
        posix_spawn_file_actions_addclose(&actions, 1);
    } else {
        std::string path = stdoutTo.empty() ? (scratch / "out").string() : stdoutTo;
        posix_spawn_file_actions_addopen(&actions, 1, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    posix_spawn_file_actions_addopen(&actions, 2, (scratch / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Outcome outcome;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = readFile(scratch / "out");
    outcome.err = readFile(scratch / "err");
    outcome.trace = readFile(scratch / "trace");
    logDocument(std::vector<std::string>(args.begin() + 1, args.end()), outcome.status,
                outcome.out);
    return outcome;
}

// An expected file, with "{case}" standing for the case folder's path.
std::string expected(const fs::path& dir, const char* name)
{
    std::string text = readFile(dir / name);
    const std::string marker = "{case}";
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
        text.replace(at, marker.size(), dir.string());
    }
    return text;
}

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(PANOCTL_CASES_DIR)) {
        if (entry.is_directory()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Case : public testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Case);

TEST_P(Case, MatchesItsExpectedFiles)
{
    fs::path dir = fs::path(PANOCTL_CASES_DIR) / GetParam();
    if (fs::exists(dir / "stdout-to")) {
        std::string to = linesOf(readFile(dir / "stdout-to"))[0];
        if (to != "closed" && !fs::exists(to)) {
            GTEST_SKIP() << "this system has no " << to << " to send standard output to";
        }
    }
    fs::path scratch =
        fs::temp_directory_path() / ("panoctl-case-" + GetParam() + "-" + std::to_string(getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    Outcome outcome = runCase(dir, scratch);
    fs::remove_all(scratch);

    bool redirected = fs::exists(dir / "stdout-to");
    if (!redirected) {
        EXPECT_EQ(outcome.out, expected(dir, "stdout"));
    }
    EXPECT_EQ(outcome.err, expected(dir, "stderr"));
    int status = fs::exists(dir / "status") ? std::stoi(readFile(dir / "status")) : 0;
    EXPECT_EQ(outcome.status, status);
    if (fs::exists(dir / "trace")) {
        EXPECT_EQ(outcome.trace, readFile(dir / "trace"));
    }
    // A document, when there is one, is one line of valid JSON.
    if (!outcome.out.empty()) {
        EXPECT_EQ(outcome.out.find('\n'), outcome.out.size() - 1);
        EXPECT_TRUE(nlohmann::json::accept(outcome.out));
    } else if (!redirected) {
        EXPECT_EQ(outcome.status, 2) << "only a refused run prints no document";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Case, testing::ValuesIn(caseNames()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
