#include <unistd.h>

#include "platform/platform.h"

void pauseMicroseconds(uint32_t microseconds)
{
    usleep(microseconds);
}
