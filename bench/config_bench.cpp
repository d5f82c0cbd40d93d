// The configuration file's cost per run: a 200-line file read and checked
// into the tables, a run with no file, and `get` with and without the file.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench_support.h"
#include "cli/dispatch.h"
#include "config/config_file.h"
#include "sim_control.h"

namespace {

constexpr std::array<std::string_view, 2> kWords{"list", "get"};

// A file of a person with many displays: 16 aliases with two calibrations
// each, four groups, 16 features with values and 8 quirks; 200 lines or more.
std::string twoHundredLines()
{
    std::string text = "# generated for the benchmark\n# a person's desk, at scale\n";
    for (int i = 0; i < 16; i++) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "[display.screen-%d]\nid = \"5A5A5A5A-0000-4000-8000-%012d\"\n"
                      "brightness = { min = %d, max = 80 }\ncontrast = { min = 5, max = 90 }\n\n",
                      i, i, i);
        text += line;
    }
    text += "[group]\n";
    for (int g = 0; g < 4; g++) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "row-%d = [\"screen-%d\", \"screen-%d\", \"screen-%d\", \"screen-%d\"]\n", g,
                      g * 4, g * 4 + 1, g * 4 + 2, g * 4 + 3);
        text += line;
    }
    text += "\n";
    for (int f = 0; f < 16; f++) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "[feature.own-%d]\ncode = 0x%02X\ntype = \"non-continuous\"\n"
                      "values = { first = 1, second = 2, third = 3 }\n\n",
                      f, 0xE0 + f);
        text += line;
    }
    for (int q = 0; q < 8; q++) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "[quirk.model-%d]\nmodel = \"Model %d\"\npause-factor = 1.%d\n\n", q, q, q);
        text += line;
    }
    return text;
}

size_t lineCount(const std::string& text)
{
    size_t lines = 0;
    for (char c : text) lines += c == '\n' ? 1 : 0;
    return lines;
}

// The file in a private folder, removed at the end.
struct FileOnDisk {
    std::string folder;
    std::string path;
    explicit FileOnDisk(const std::string& text)
    {
        char name[] = "/tmp/panoctl-bench-XXXXXX";
        folder = mkdtemp(name) != nullptr ? name : "/tmp";
        path = folder + "/config.toml";
        std::FILE* file = std::fopen(path.c_str(), "w");
        if (file != nullptr) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
        chmod(path.c_str(), 0600);
    }
    ~FileOnDisk()
    {
        std::remove(path.c_str());
        rmdir(folder.c_str());
    }
    FileOnDisk(const FileOnDisk&) = delete;
    FileOnDisk& operator=(const FileOnDisk&) = delete;
};

void BM_Config200LineFile(benchmark::State& state)
{
    std::string text = twoHundredLines();
    FileOnDisk file(text);
    Configuration config;
    ConfigError error;
    for (auto _ : state) {
        ConfigLoad load = loadConfigFile(file.path.c_str(), kWords, &config, &error);
        if (load != ConfigLoad::loaded) {
            state.SkipWithError(error.what.data());
            return;
        }
        benchmark::DoNotOptimize(config.displayCount);
    }
    state.counters["lines"] = static_cast<double>(lineCount(text));
}
BENCHMARK(BM_Config200LineFile)->Unit(benchmark::kMicrosecond);

void BM_ConfigNoFile(benchmark::State& state)
{
    Configuration config;
    ConfigError error;
    for (auto _ : state) {
        ConfigLoad load =
            loadConfigFile("/nonexistent/panoctl/config.toml", kWords, &config, &error);
        benchmark::DoNotOptimize(load);
    }
}
BENCHMARK(BM_ConfigNoFile)->Unit(benchmark::kMicrosecond);

// `get` in-process on the built-in machine, pauses not waited, with
// PANOCTL_CONFIG naming no file or the 200-line one.
void runGet(benchmark::State& state, const char* configPath)
{
    std::string error;
    if (!bench::readyBuiltInMachine(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    setenv("PANOCTL_CONFIG", configPath, 1);
    std::array<std::string, 4> words{"panoctl", "get", "1", "brightness"};
    std::array<char*, 5> argv{words[0].data(), words[1].data(), words[2].data(), words[3].data(),
                              nullptr};
    Session session;
    {
        bench::QuietStdout quiet;
        for (auto _ : state) {
            int status = panoctl_main(&session, 4, argv.data());
            benchmark::DoNotOptimize(status);
            sim::clearTrace();  // what a process would drop at exit
        }
    }
    releaseDisplays(&session.displays);
    unsetenv("PANOCTL_CONFIG");
}

void BM_GetWithoutConfig(benchmark::State& state)
{
    runGet(state, "/nonexistent/panoctl/config.toml");
}
BENCHMARK(BM_GetWithoutConfig)->Unit(benchmark::kMicrosecond);

void BM_GetWith200LineConfig(benchmark::State& state)
{
    FileOnDisk file(twoHundredLines());
    runGet(state, file.path.c_str());
}
BENCHMARK(BM_GetWith200LineConfig)->Unit(benchmark::kMicrosecond);

}  // namespace
