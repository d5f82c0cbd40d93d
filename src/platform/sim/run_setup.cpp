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

    const char* trace = std::getenv("PANOCTL_SIM_TRACE");
    std::string what;
    if (!openTraceFile(trace != nullptr ? trace : "", &what)) {
        *error = std::string("trace ") + trace + ": " + what;
        return false;
    }
    return true;
}

// Monitor values last for one run, so nothing is left to save.
bool finishRun(std::string*)
{
    return true;
}

}  // namespace sim
