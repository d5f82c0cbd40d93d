#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "cli/options.h"
#include "ddc/vcp.h"

bool writeSetting(const DisplayRecord& display, uint8_t vcp, uint16_t value)
{
    return runOptions().verify ? asWriteVCPVerified(display, vcp, value)
                               : asWriteVCP(display, vcp, value);
}

int commandSet(CommandWords words)
{
    std::optional<uint8_t> vcp = parseFeatureArgument(words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    std::optional<SettingChange> change = parseSettingChange(*vcp, words.subspan(3));
    if (!change) {
        return kStatusUsage;
    }
    if (change->needsCurrentValue()) {
        return commandSetFromCurrent(words[1], *vcp, *change);
    }
    const DisplayRecord* display = lookupDisplay(words[1]);
    bool ok = display != nullptr && writeSetting(*display, *vcp, change->target(0, 0));
    std::printf("{\"ok\":%s}\n", ok ? "true" : "false");
    return documentStatus(!ok);
}
