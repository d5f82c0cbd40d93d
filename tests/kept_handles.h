// What the end of a panoctl process frees: the AV service handles that the
// display table holds for the whole run. Programs that run panoctl_main more
// than once in one process (the tests, the fuzzers) call this between runs;
// otherwise the next discovery overwrites the table and the handles are lost.
#pragma once

#include "discovery/display_table.h"

inline void releaseKeptHandles()
{
    for (int32_t i = 0; i < g_count; i++) {
        CFRelease(g_displays[i].service);
        g_displays[i].service = nullptr;
    }
    g_count = 0;
}
