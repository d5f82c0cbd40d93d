#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "cli/options.h"
#include "ddc/vcp.h"

int commandGet(CommandWords words)
{
    std::optional<uint8_t> vcp = parseFeatureArgument(words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    const DisplayRecord* display = lookupDisplay(words[1]);
    int32_t current = 0;
    int32_t maximum = 0;
    // An unknown display reads like a display that did not answer.
    bool read = display != nullptr && asReadVCP(*display, *vcp, &current, &maximum);
    bool showMax = runOptions().showMax;
    if (read && showMax) {
        std::printf("{\"value\":%d,\"max\":%d}\n", current, maximum);
    } else if (read) {
        std::printf("{\"value\":%d}\n", current);
    } else if (showMax) {
        std::printf("{\"value\":null,\"max\":null,\"error\":\"read_failed\"}\n");
    } else {
        std::printf("{\"value\":null,\"error\":\"read_failed\"}\n");
    }
    return documentStatus(!read);
}
