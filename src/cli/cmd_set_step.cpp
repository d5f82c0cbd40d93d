#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ddc/vcp.h"

namespace {

// The current value moved by `step`, held between 0 and the monitor's
// maximum (a 16-bit value read from the monitor, so never negative).
uint16_t steppedValue(int32_t current, int32_t maximum, long step)
{
    return static_cast<uint16_t>(
        std::clamp(static_cast<long>(current) + step, 0L, static_cast<long>(maximum)));
}

}  // namespace

int commandSetStep(Session* session, CommandWords words, uint8_t vcp)
{
    const char* sign = words[3];
    if (words.size() <= 4) {
        // A sign with no amount is as much a bad number as "+x".
        refuseCommandLine(&session->refusals, "invalid number: %s", sign);
        return kStatusUsage;
    }
    std::optional<long> amount = parseNumberArgument(&session->refusals, words[4], kMaxVcpValue);
    if (!amount) {
        return kStatusUsage;
    }
    long step = sign[0] == '-' ? -*amount : *amount;

    const DisplayRecord* display = lookupDisplay(session, words[1]);
    DdcLink link = sessionLink(session);
    int32_t current = 0;
    int32_t maximum = 0;
    if (display == nullptr || !asReadVCP(link, *display, vcp, &current, &maximum)) {
        std::fprintf(session->out, "{\"ok\":false,\"value\":null}\n");
        return 0;
    }
    uint16_t value = steppedValue(current, maximum, step);
    bool ok = writeSetting(link, session->options.verify, *display, vcp, value);
    std::fprintf(session->out, "{\"ok\":%s,\"value\":%u}\n", ok ? "true" : "false",
                 static_cast<unsigned>(value));
    return 0;
}
