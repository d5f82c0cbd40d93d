// Entry point of the sim build: sets the simulated machine up from the
// environment, runs the command, then finishes the run (which may have work
// of its own, such as saving monitor state).
//
// The document is held back until the run is finished: a run whose monitor
// state cannot be written back must not have said {"ok":true}. Standard
// output is fully buffered in a buffer larger than any document, and when
// finishing fails the held document is sent to /dev/null instead. A batch
// flushes each answer as it goes (its caller waits for it), so it writes the
// state back around each line, before that line's answer is flushed, and
// drops the answer in the same way when that fails.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/dispatch.h"
#include "cli/output.h"
#include "ops/json_escape.h"
#include "sim_control.h"

namespace {

// The longest document, a list of 16 displays whose names and serials are
// all escaped control bytes, is under 40 KiB.
char g_heldOutput[256 * 1024];

void discardHeldOutput()
{
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) close(STDOUT_FILENO);
    if (null >= 0 && null != STDOUT_FILENO) close(null);
}

// The simulation's errors name paths and keys as given: written as one line
// of printable text, whatever bytes those hold.
void printLineSafe(const char* message)
{
    std::vector<char> safe(escapedCapacity(std::strlen(message) + 1));
    makeLineSafe(message, safe.data(), safe.size());
    std::fprintf(stderr, "panoctl: %s\n", safe.data());
}

bool takeStateForLine()
{
    std::string error;
    if (sim::takeMonitorState(&error)) return true;
    sim::reportError(error);
    return false;
}

// The run's session, for the journal entries that go out once the state
// is kept and before its lock is let go.
Session* g_session = nullptr;

void publishKept()
{
    if (g_session != nullptr) publishDisplayChanges(g_session);
}

bool giveStateAfterLine()
{
    std::string error;
    if (sim::giveMonitorState(&error, publishKept)) return true;
    discardHeldOutput();
    sim::reportError(error);
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // Before the trace and state files are opened, so neither can take the
    // number of a closed standard descriptor.
    prepareForCommandLine(argc, argv);
    guardStandardDescriptors();
    std::setvbuf(stdout, g_heldOutput, _IOFBF, sizeof g_heldOutput);
    sim::setErrorPrinter(printLineSafe);
    sim::keepTraceInMemory(false);
    std::string error;
    if (!sim::configureFromEnvironment(&error)) {
        sim::reportError(error);
        return 2;
    }
    // The whole run's state, on this stack for the run's lifetime.
    Session session;
    // Pointed at only while the session lives: cleared once the state is given back.
    // cppcheck-suppress danglingLifetime
    g_session = &session;
    int status = panoctl_main(&session, argc, argv, {takeStateForLine, giveStateAfterLine});
    bool finished = sim::finishRun(&error, publishKept);
    g_session = nullptr;
    if (!finished) {
        releaseDisplays(&session.displays);
        discardHeldOutput();
        sim::reportError(error);
        reportRunCounters(session);
        return 2;
    }
    releaseDisplays(&session.displays);
    status = finishOutput(&session, status);
    reportRunCounters(session);
    return status;
}
