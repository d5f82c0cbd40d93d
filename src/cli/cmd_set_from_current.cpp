#include <cstdio>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/serve_displays.h"
#include "config/display_selector.h"
#include "ops/settings.h"

namespace {

// `"ok":B,"value":V}`, or `"ok":false,"value":null}` when the read failed;
// returns whether that is a failure.
bool finishOutcome(std::FILE* out, const ChangeOutcome& outcome)
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
        return commandOverDisplays<ChangeOutcome>(
            session, selector,
            [&](const DdcLink& link, const DisplayRecord& display) {
                return changeSetting(link, verify, vcp, change,
                                     calibrationOf(session->config, displayKeyOf(display), vcp));
            },
            [](std::FILE* out, const ChangeOutcome& outcome) {
                std::fputc(',', out);
                return finishOutcome(out, outcome);
            });
    }
    const DisplayRecord* display = lookupDisplay(session, selector);
    ChangeOutcome outcome;
    if (display != nullptr) {
        outcome = changeSetting(sessionLink(session, *display), verify, vcp, change,
                                calibrationOf(session->config, displayKeyOf(*display), vcp));
    }
    std::fputc('{', session->out);
    bool failed = finishOutcome(session->out, outcome);
    std::fputc('\n', session->out);
    return documentStatus(*session, failed);
}
