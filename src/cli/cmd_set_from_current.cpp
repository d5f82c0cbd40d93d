#include <cstdio>

#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ddc/vcp.h"

int commandSetFromCurrent(const char* selector, uint8_t vcp, const SettingChange& change)
{
    const DisplayRecord* display = lookupDisplay(selector);
    int32_t current = 0;
    int32_t maximum = 0;
    if (display == nullptr || !asReadVCP(*display, vcp, &current, &maximum)) {
        std::printf("{\"ok\":false,\"value\":null}\n");
        return documentStatus(true);
    }
    uint16_t value = change.target(current, maximum);
    bool ok = writeSetting(*display, vcp, value);
    std::printf("{\"ok\":%s,\"value\":%u}\n", ok ? "true" : "false", static_cast<unsigned>(value));
    return documentStatus(!ok);
}
