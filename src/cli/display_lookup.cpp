#include "cli/display_lookup.h"

#include "discovery/walk.h"

namespace {

bool g_rediscoverOnMiss = false;

}  // namespace

const DisplayRecord* lookupDisplay(const char* selector)
{
    const DisplayRecord* display = findDisplay(selector);
    if (display == nullptr && g_rediscoverOnMiss) {
        enumerateDisplays();
        display = findDisplay(selector);
    }
    return display;
}

void rediscoverWhenSelectorMisses(bool rediscover)
{
    g_rediscoverOnMiss = rediscover;
}
