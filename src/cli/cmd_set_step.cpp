#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/serve_displays.h"
#include "ddc/vcp.h"

namespace {

// The current value moved by `step`, held between 0 and the monitor's
// maximum (a 16-bit value read from the monitor, so never negative).
uint16_t steppedValue(int32_t current, int32_t maximum, long step)
{
    return static_cast<uint16_t>(
        std::clamp(static_cast<long>(current) + step, 0L, static_cast<long>(maximum)));
}

struct Step {
    bool read = false;  // the current value was read: `value` is meaningful
    bool ok = false;    // and the new one written
    uint16_t value = 0;
};

// One get transaction, then one set transaction to the stepped value.
Step stepDisplay(const DdcLink& link, bool verify, const DisplayRecord& display, uint8_t vcp,
                 long step)
{
    Step result;
    int32_t current = 0;
    int32_t maximum = 0;
    if (!asReadVCP(link, display, vcp, &current, &maximum)) {
        return result;
    }
    result.read = true;
    result.value = steppedValue(current, maximum, step);
    result.ok = writeSetting(link, verify, display, vcp, result.value);
    return result;
}

// `{"ok":B,"value":V}`, or `{"ok":false,"value":null}` when the read failed,
// after `prefix`.
void printStep(std::FILE* out, const char* prefix, const Step& step)
{
    if (!step.read) {
        std::fprintf(out, "%s\"ok\":false,\"value\":null}", prefix);
        return;
    }
    std::fprintf(out, "%s\"ok\":%s,\"value\":%u}", prefix, step.ok ? "true" : "false",
                 static_cast<unsigned>(step.value));
}

// `[{"display":1,"id":"…","ok":B,"value":V},…]`.
int stepSeveral(Session* session, const char* selector, uint8_t vcp, long step)
{
    bool verify = session->options.verify;
    return commandOverDisplays<Step>(
        session, selector,
        [=](const DdcLink& link, const DisplayRecord& display) {
            return stepDisplay(link, verify, display, vcp, step);
        },
        [](std::FILE* out, const Step& result) { printStep(out, ",", result); });
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

    if (namesSeveralDisplays(*session, words[1])) {
        return stepSeveral(session, words[1], vcp, step);
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    Step result;
    if (display != nullptr) {
        result = stepDisplay(sessionLink(session), session->options.verify, *display, vcp, step);
    }
    printStep(session->out, "{", result);
    std::fputc('\n', session->out);
    return 0;
}
