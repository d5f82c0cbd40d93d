#include <cstdio>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/quirked_feature.h"
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
    // One display's change: its quirks and its calibrated range applied.
    auto changeOne = [session, vcp, &change](const DdcLink& link, const DisplayRecord& display) {
        QuirkedFeature quirked = quirkFeature(*session, link, display, vcp);
        return changeSetting(quirked.link, session->options.verify, quirked.code, change,
                             calibrationOf(session->config, displayKeyOf(display), vcp));
    };
    if (namesSeveralDisplays(*session, selector)) {
        return commandOverDisplays<ChangeOutcome>(session, selector, changeOne,
                                                  [](std::FILE* out, const ChangeOutcome& outcome) {
                                                      std::fputc(',', out);
                                                      return finishOutcome(out, outcome);
                                                  });
    }
    const DisplayRecord* display = lookupDisplay(session, selector);
    ChangeOutcome outcome;
    if (display != nullptr) {
        outcome = changeOne(sessionLink(session, *display), *display);
    }
    std::fputc('{', session->out);
    bool failed = finishOutcome(session->out, outcome);
    std::fputc('\n', session->out);
    return documentStatus(*session, failed);
}
