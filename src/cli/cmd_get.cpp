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
    VcpRead outcome = VcpRead::failed;
    int32_t current = 0;
    int32_t maximum = 0;
};

// Why there is no value: the monitor said it has no such code, or no
// answer came.
const char* readError(VcpRead outcome)
{
    return outcome == VcpRead::unsupported ? "unsupported" : "read_failed";
}

// `[{"display":1,"id":"…","value":V,"max":M},…]`; a display whose read
// failed gives null for both and "error":"read_failed".
int getSeveral(Session* session, const char* selector, uint8_t vcp)
{
    return commandOverDisplays<Reading>(
        session, selector,
        [vcp](const DdcLink& link, const DisplayRecord& /*display*/) {
            Reading reading;
            reading.outcome = readVCPFeature(link, vcp, &reading.current, &reading.maximum);
            return reading;
        },
        [](std::FILE* out, const Reading& reading) {
            bool ok = reading.outcome == VcpRead::value;
            if (ok) {
                std::fprintf(out, ",\"value\":%d,\"max\":%d}", reading.current, reading.maximum);
            } else {
                std::fprintf(out, ",\"value\":null,\"max\":null,\"error\":\"%s\"}",
                             readError(reading.outcome));
            }
            return !ok;
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
    VcpRead outcome = display != nullptr
                          ? readVCPFeature(sessionLink(session, *display), *vcp, &current, &maximum)
                          : VcpRead::failed;
    bool read = outcome == VcpRead::value;
    bool showMax = session->options.showMax;
    std::FILE* out = session->out;
    if (read && showMax) {
        std::fprintf(out, "{\"value\":%d,\"max\":%d}\n", current, maximum);
    } else if (read) {
        std::fprintf(out, "{\"value\":%d}\n", current);
    } else if (showMax) {
        std::fprintf(out, "{\"value\":null,\"max\":null,\"error\":\"%s\"}\n", readError(outcome));
    } else {
        std::fprintf(out, "{\"value\":null,\"error\":\"%s\"}\n", readError(outcome));
    }
    return documentStatus(*session, !read);
}
