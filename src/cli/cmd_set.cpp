#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "cli/options.h"
#include "ddc/vcp.h"

namespace {

bool isStepSign(const char* word)
{
    return std::strcmp(word, "+") == 0 || std::strcmp(word, "-") == 0;
}

}  // namespace

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
    if (isStepSign(words[3])) {
        return commandSetStep(words, *vcp);
    }
    std::optional<uint16_t> value = parseValueArgument(*vcp, words[3]);
    if (!value) {
        return kStatusUsage;
    }
    const DisplayRecord* display = lookupDisplay(words[1]);
    bool ok = display != nullptr && writeSetting(*display, *vcp, *value);
    std::printf("{\"ok\":%s}\n", ok ? "true" : "false");
    return 0;
}
