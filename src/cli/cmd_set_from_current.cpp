#include <cstdio>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/serve_displays.h"
#include "ddc/vcp.h"

namespace {

struct Outcome {
    bool read = false;  // the current value was read: `value` is meaningful
    bool ok = false;    // and the new one written
    uint16_t value = 0;
};

// One get transaction, then one set transaction of the value `change`
// makes of the current one.
Outcome changeDisplay(const DdcLink& link, bool verify, uint8_t vcp, const SettingChange& change)
{
    Outcome outcome;
    int32_t current = 0;
    int32_t maximum = 0;
    if (!asReadVCP(link, vcp, &current, &maximum)) {
        return outcome;
    }
    outcome.read = true;
    outcome.value = change.target(current, maximum);
    outcome.ok = writeSetting(link, verify, vcp, outcome.value);
    return outcome;
}

// `"ok":B,"value":V}`, or `"ok":false,"value":null}` when the read failed;
// returns whether that is a failure.
bool finishOutcome(std::FILE* out, const Outcome& outcome)
{
    if (!outcome.read) {
        std::fprintf(out, "\"ok\":false,\"value\":null}");
    } else {
        std::fprintf(out, "\"ok\":%s,\"value\":%u}", outcome.ok ? "true" : "false",
                     static_cast<unsigned>(outcome.value));
    }
    return !outcome.ok;
}

}  // namespace

int commandSetFromCurrent(Session* session, const char* selector, uint8_t vcp,
                          const SettingChange& change)
{
    bool verify = session->options.verify;
    if (namesSeveralDisplays(*session, selector)) {
        return commandOverDisplays<Outcome>(
            session, selector,
            [&](const DdcLink& link, const DisplayRecord& /*display*/) {
                return changeDisplay(link, verify, vcp, change);
            },
            [](std::FILE* out, const Outcome& outcome) {
                std::fputc(',', out);
                return finishOutcome(out, outcome);
            });
    }
    const DisplayRecord* display = lookupDisplay(session, selector);
    Outcome outcome;
    if (display != nullptr) {
        outcome = changeDisplay(sessionLink(session, *display), verify, vcp, change);
    }
    std::fputc('{', session->out);
    bool failed = finishOutcome(session->out, outcome);
    std::fputc('\n', session->out);
    return documentStatus(*session, failed);
}
