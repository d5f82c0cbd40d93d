#include "cli/dispatch.h"

int main(int argc, char** argv)
{
    return panoctl_main(argc, argv);
}
