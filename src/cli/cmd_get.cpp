#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/serve_displays.h"
#include "ddc/vcp.h"

namespace {

struct Reading {
    bool ok = false;
    int32_t current = 0;
    int32_t maximum = 0;
};

// `[{"display":1,"id":"…","value":V,"max":M},…]`; a display whose read
// failed gives null for both and "error":"read_failed".
int getSeveral(Session* session, const char* selector, uint8_t vcp)
{
    return commandOverDisplays<Reading>(
        session, selector,
        [vcp](const DdcLink& link, const DisplayRecord& /*display*/) {
            Reading reading;
            reading.ok = asReadVCP(link, vcp, &reading.current, &reading.maximum);
            return reading;
        },
        [](std::FILE* out, const Reading& reading) {
            if (reading.ok) {
                std::fprintf(out, ",\"value\":%d,\"max\":%d}", reading.current, reading.maximum);
            } else {
                std::fprintf(out, ",\"value\":null,\"max\":null,\"error\":\"read_failed\"}");
            }
            return !reading.ok;
        });
}

}  // namespace

int commandGet(Session* session, CommandWords words)
{
    std::optional<uint8_t> vcp = parseFeatureArgument(&session->refusals, words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    if (namesSeveralDisplays(*session, words[1])) {
        return getSeveral(session, words[1], *vcp);
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    int32_t current = 0;
    int32_t maximum = 0;
    // An unknown display reads like a display that did not answer.
    bool read =
        display != nullptr && asReadVCP(sessionLink(session, *display), *vcp, &current, &maximum);
    bool showMax = session->options.showMax;
    std::FILE* out = session->out;
    if (read && showMax) {
        std::fprintf(out, "{\"value\":%d,\"max\":%d}\n", current, maximum);
    } else if (read) {
        std::fprintf(out, "{\"value\":%d}\n", current);
    } else if (showMax) {
        std::fprintf(out, "{\"value\":null,\"max\":null,\"error\":\"read_failed\"}\n");
    } else {
        std::fprintf(out, "{\"value\":null,\"error\":\"read_failed\"}\n");
    }
    return documentStatus(*session, !read);
}
