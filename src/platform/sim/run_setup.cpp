// Setting a run of the sim build up from its environment variables, and the
// work due once the command has run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim_control.h"
#include "sim_state.h"

namespace sim {

namespace {

// PANOCTL_SIM_STATE as configured; empty when values last for one run.
std::string g_statePath;

std::string stateError(const std::string& what)
{
    return "state file " + g_statePath + ": " + what +
           "; remove it or point PANOCTL_SIM_STATE elsewhere";
}

}  // namespace

// The one place where the state file is read and written around a command:
// a one-shot run takes it at start-up and gives it back when it finishes, a
// batch gives that back and takes it again around each line that reaches a
// monitor.
bool takeMonitorState(std::string* error)
{
    std::string what;
    if (!g_statePath.empty() && !loadMonitorState(g_statePath, &what)) {
        *error = stateError(what);
        return false;
    }
    return true;
}

bool giveMonitorState(std::string* error, const std::function<void()>& kept)
{
    std::string what;
    if (!saveMonitorState(&what, kept)) {
        *error = stateError(what);
        return false;
    }
    return true;
}

namespace {

void printRaw(const char* message)
{
    std::fprintf(stderr, "panoctl: %s\n", message);
}

// Set once by the entry point before anything can fail.
void (*g_printError)(const char*) = printRaw;

}  // namespace

void setErrorPrinter(void (*print)(const char* message))
{
    g_printError = print != nullptr ? print : printRaw;
}

void reportError(const std::string& message)
{
    g_printError(message.c_str());
}

bool configureFromEnvironment(std::string* error, bool useStateFile)
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

    const char* panel = std::getenv("PANOCTL_SIM_PANEL");
    setPanelFile(panel != nullptr ? panel : "");

    const char* trace = std::getenv("PANOCTL_SIM_TRACE");
    std::string what;
    if (!openTraceFile(trace != nullptr ? trace : "", &what)) {
        *error = std::string("trace ") + trace + ": " + what;
        return false;
    }

    // Last, so that no earlier failure leaves the state file's lock taken;
    // its values replace the scenario's.
    const char* statePath = useStateFile ? std::getenv("PANOCTL_SIM_STATE") : nullptr;
    g_statePath = statePath != nullptr ? statePath : "";
    return takeMonitorState(error);
}

// Saves the monitors' values when a state file is in use and the run changed
// one; releases the state file's lock either way.
bool finishRun(std::string* error, const std::function<void()>& kept)
{
    return giveMonitorState(error, kept);
}

}  // namespace sim
