#include "cli/dispatch.h"
#include "cli/output.h"

int main(int argc, char** argv)
{
    prepareForCommandLine(argc, argv);
    guardStandardDescriptors();
    // The whole run's state, on this stack for the run's lifetime.
    Session session;
    int status = panoctl_main(&session, argc, argv);
    publishDisplayChanges(&session);
    releaseDisplays(&session.displays);
    status = finishOutput(&session, status);
    reportRunCounters(session);
    return status;
}
