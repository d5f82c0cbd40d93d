#include "cli/dispatch.h"
#include "cli/output.h"

int main(int argc, char** argv)
{
    guardStandardDescriptors();
    return finishOutput(panoctl_main(argc, argv));
}
