#include "harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "cli/dispatch.h"
#include "command_line_words.h"
#include "discovery/display_table.h"
#include "sim_control.h"

namespace {

// The tests' lock files in a folder of their own, so that they neither wait
// for nor hold up the user's other panoctl runs. The binaries the tests start
// inherit it. Kept when the test sets its own.
[[maybe_unused]] const bool kOwnLockFolder =
    setenv("PANOCTL_SIM_LOCKS", PANOCTL_TEST_LOCKS, 0) == 0;

// No capabilities cache, unless a test sets one up (CacheFolder): a folder
// cannot be made under /dev/null, so every run reads the monitor, and no
// test writes into the user's home folder.
constexpr const char* kNoCache = "/dev/null";
[[maybe_unused]] const bool kNoCacheFolder = setenv("XDG_CACHE_HOME", kNoCache, 1) == 0;

}  // namespace

RunResult runPanoctl(const std::string& scenario, const std::vector<std::string>& args)
{
    if (scenario.empty()) {
        sim::loadDefaultScenario();
    } else {
        std::string error;
        EXPECT_TRUE(sim::loadScenarioText(scenario, &error)) << error;
    }
    sim::setFastPauses(true);
    sim::clearTrace();
    // Objects left alive by earlier runs in this process are not this run's.
    int cfBefore = sim::liveCfObjects();
    int servicesBefore = sim::liveAvServices();
    int referencesBefore = sim::outstandingRegistryReferences();

    std::vector<std::string> words{"panoctl"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    RunResult result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Session session;
    result.status = panoctl_main(&session, static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    reportRunCounters(session);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    result.trace = sim::traceLines();
    result.liveCfObjects = sim::liveCfObjects() - cfBefore;
    result.liveAvServices = sim::liveAvServices() - servicesBefore;
    result.registryReferences = sim::outstandingRegistryReferences() - referencesBefore;
    result.badRegistryReleases = sim::badRegistryReleases();
    // As at the end of a process, so the next run starts with nothing kept.
    releaseDisplays(&session.displays);
    logDocument(args, result.status, result.out);
    return result;
}

RunResult runPanoctlWithInput(const std::string& scenario, const std::vector<std::string>& args,
                              const std::string& input)
{
    FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (file == nullptr) {
        return {};
    }
    std::fwrite(input.data(), 1, input.size(), file);
    std::fflush(file);
    lseek(fileno(file), 0, SEEK_SET);
    int savedInput = dup(STDIN_FILENO);
    dup2(fileno(file), STDIN_FILENO);
    RunResult result = runPanoctl(scenario, args);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    std::fclose(file);
    return result;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

namespace {

// A batch's usage answers, one log line each.
std::string batchUsageAnswers(const std::string& out)
{
    std::string lines;
    size_t start = 0;
    for (size_t end = out.find('\n'); end != std::string::npos; end = out.find('\n', start)) {
        std::string answer = out.substr(start, end - start);
        if (answer.rfind("{\"error\":\"usage\"", 0) == 0) {
            lines += "batch\t0\t" + answer + "\n";
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace

void logDocument(const std::vector<std::string>& args, int status, const std::string& out)
{
    const char* path = std::getenv("PANOCTL_TEST_DOCUMENTS");
    if (path == nullptr || *path == '\0' || out.empty() || args.empty()) {
        return;
    }
    // The command word follows the options; a run that printed something
    // had its options accepted, so reading them again refuses nothing.
    std::optional<CommandLineStart> start = readCommandLineStart(args);
    // Help and version print text for people, not a document.
    if (!start || start->command.empty() || start->printsText) {
        return;
    }
    const std::string& command = start->command;
    std::string document = out.back() == '\n' ? out.substr(0, out.size() - 1) : out;
    std::string line = command + "\t" + std::to_string(status) + "\t" + document + "\n";
    if (command == "batch") {
        line = batchUsageAnswers(out);
    }
    // One write in append mode, so that test processes running side by side
    // never interleave within a line.
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    // The assertion returns only when open failed: there is no descriptor to close.
    // cppcheck-suppress resourceLeak
    ASSERT_GE(fd, 0) << "cannot open " << path;
    EXPECT_EQ(write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    close(fd);
}

DebugEnv::DebugEnv(const char* value)
{
    if (value != nullptr) {
        setenv("DDC_DEBUG", value, 1);
    } else {
        unsetenv("DDC_DEBUG");
    }
}

DebugEnv::~DebugEnv()
{
    unsetenv("DDC_DEBUG");
}

CacheFolder::CacheFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr) {
        home_ = home;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "panoctl-test-cache-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    EXPECT_NE(mkdtemp(name.data()), nullptr);
    base_ = name.data();
    setenv("XDG_CACHE_HOME", base_.c_str(), 1);
}

CacheFolder::~CacheFolder()
{
    std::error_code ignored;
    std::filesystem::permissions(base_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(base_, ignored);
    setenv("XDG_CACHE_HOME", kNoCache, 1);
    if (home_) {
        setenv("HOME", home_->c_str(), 1);
    }
}

std::string CacheFolder::folder() const
{
    return base_ + "/panoctl";
}

ConfigFile::ConfigFile(const std::string& text)
{
    char folder[] = "/tmp/panoctl-config-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        ADD_FAILURE() << "cannot make a folder for the configuration";
        return;
    }
    folder_ = folder;
    path_ = folder_ + "/config.toml";
    std::FILE* file = std::fopen(path_.c_str(), "w");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot write " << path_;
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    chmod(path_.c_str(), 0600);
    if (const char* previous = std::getenv("PANOCTL_CONFIG")) {
        previous_ = previous;
    }
    setenv("PANOCTL_CONFIG", path_.c_str(), 1);
}

ConfigFile::~ConfigFile()
{
    if (previous_) {
        setenv("PANOCTL_CONFIG", previous_->c_str(), 1);
    } else {
        unsetenv("PANOCTL_CONFIG");
    }
    std::remove(path_.c_str());
    rmdir(folder_.c_str());
}
