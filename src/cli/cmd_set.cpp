#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ddc/vcp.h"

namespace {

bool isStepSign(const char* word)
{
    return std::strcmp(word, "+") == 0 || std::strcmp(word, "-") == 0;
}

}  // namespace

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
    bool ok = display != nullptr && asWriteVCP(*display, *vcp, *value);
    std::printf("{\"ok\":%s}\n", ok ? "true" : "false");
    return 0;
}
