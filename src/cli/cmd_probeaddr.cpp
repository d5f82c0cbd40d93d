#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ddc/probe.h"

int commandProbeaddr(CommandWords words)
{
    uint8_t vcp = 0x10;  // brightness: the one code nearly every monitor has
    if (words.size() >= 3) {
        std::optional<uint8_t> parsed = parseFeatureArgument(words[2]);
        if (!parsed) {
            return kStatusUsage;
        }
        vcp = *parsed;
    }
    const DisplayRecord* display = lookupDisplay(words[1]);
    if (display == nullptr) {
        std::printf("{\"error\":\"no_such_display\"}\n");
        return 1;
    }
    probeAddresses(*display, vcp);
    return 0;
}
