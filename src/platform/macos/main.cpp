#include "cli/dispatch.h"
#include "cli/output.h"

int main(int argc, char** argv)
{
    guardStandardDescriptors();
    int status = finishOutput(panoctl_main(argc, argv));
    reportRunCounters();
    return status;
}
