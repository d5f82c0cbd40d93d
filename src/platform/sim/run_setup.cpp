// Setting a run of the sim build up from its environment variables, and the
// work due once the command has run.
#include <cstdlib>
#include <string>

#include "sim_control.h"
#include "sim_state.h"

namespace sim {

bool configureFromEnvironment(std::string* error)
{
    setFastPauses(std::getenv("PANOCTL_SIM_FAST") != nullptr);

    const char* scenario = std::getenv("PANOCTL_SIM_SCENARIO");
    if (scenario == nullptr || *scenario == '\0') {
        loadDefaultScenario();
    } else {
        std::string what;
        if (!loadScenarioFile(scenario, &what)) {
            *error = std::string("scenario ") + scenario + ": " + what;
            return false;
        }
    }

    // PANOCTL_SIM_SEED shifts every flaky monitor's seed, so that callers can
    // vary the bus's luck from run to run without editing the scenario.
    int64_t seedOffset = 0;
    if (!parseSeedOffset(std::getenv("PANOCTL_SIM_SEED"), &seedOffset, error)) return false;
    seedFlakyBuses(seedOffset);

    const char* trace = std::getenv("PANOCTL_SIM_TRACE");
    std::string what;
    if (!openTraceFile(trace != nullptr ? trace : "", &what)) {
        *error = std::string("trace ") + trace + ": " + what;
        return false;
    }

    // Last, so that no earlier failure leaves the state file's lock taken;
    // its values replace the scenario's.
    const char* statePath = std::getenv("PANOCTL_SIM_STATE");
    if (statePath != nullptr && *statePath != '\0' && !loadMonitorState(statePath, &what)) {
        *error = std::string("scenario ") + statePath + ": " + what;
        return false;
    }
    return true;
}

// Saves the monitors' values when a state file is in use and the run changed
// one; releases the state file's lock either way.
bool finishRun(std::string* error)
{
    std::string what;
    if (!saveMonitorState(&what)) {
        const char* statePath = std::getenv("PANOCTL_SIM_STATE");
        *error = std::string("scenario ") + (statePath != nullptr ? statePath : "") + ": " + what;
        return false;
    }
    return true;
}

}  // namespace sim
