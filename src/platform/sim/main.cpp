// Entry point of the sim build: sets the simulated machine up from the
// environment, runs the command, then finishes the run (which may have work
// of its own, such as saving monitor state).
#include <cstdio>
#include <string>

#include "cli/dispatch.h"
#include "cli/output.h"
#include "sim_control.h"

int main(int argc, char** argv)
{
    // Before the trace and state files are opened, so neither can take the
    // number of a closed standard descriptor.
    guardStandardDescriptors();
    std::string error;
    if (!sim::configureFromEnvironment(&error)) {
        std::fprintf(stderr, "panoctl: %s\n", error.c_str());
        return 2;
    }
    int status = panoctl_main(argc, argv);
    if (!sim::finishRun(&error)) {
        std::fprintf(stderr, "panoctl: %s\n", error.c_str());
        return 2;
    }
    return finishOutput(status);
}
