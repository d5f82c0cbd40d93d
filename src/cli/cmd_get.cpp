#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ddc/vcp.h"

int commandGet(Session* session, CommandWords words)
{
    std::optional<uint8_t> vcp = parseFeatureArgument(&session->refusals, words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    int32_t current = 0;
    int32_t maximum = 0;
    // An unknown display reads like a display that did not answer.
    if (display != nullptr && asReadVCP(sessionLink(session), *display, *vcp, &current, &maximum)) {
        std::fprintf(session->out, "{\"value\":%d}\n", current);
    } else {
        std::fprintf(session->out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    }
    return 0;
}
