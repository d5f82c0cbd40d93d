#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/dispatch.h"
#include "sim_control.h"

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
    result.status = panoctl_main(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    result.trace = sim::traceLines();
    result.liveCfObjects = sim::liveCfObjects() - cfBefore;
    result.liveAvServices = sim::liveAvServices() - servicesBefore;
    result.registryReferences = sim::outstandingRegistryReferences() - referencesBefore;
    result.badRegistryReleases = sim::badRegistryReleases();
    return result;
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
