#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/serve_displays.h"
#include "ddc/vcp.h"
#include "ops/settings.h"

namespace {

// `[{"display":1,"id":"…","ok":B},…]`.
int setSeveral(Session* session, const char* selector, uint8_t vcp, uint16_t value)
{
    bool verify = session->options.verify;
    return commandOverDisplays<bool>(
        session, selector,
        [=](const DdcLink& link, const DisplayRecord& /*display*/) {
            return writeSetting(link, verify, vcp, value);
        },
        [](std::FILE* out, bool ok) {
            std::fprintf(out, ",\"ok\":%s}", ok ? "true" : "false");
            return !ok;
        });
}

}  // namespace

int commandSet(Session* session, CommandWords words)
{
    std::optional<uint8_t> vcp = parseFeatureArgument(&session->refusals, words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    std::optional<SettingChange> change =
        parseSettingChange(&session->refusals, *vcp, words.subspan(3));
    if (!change) {
        return kStatusUsage;
    }
    if (change->needsCurrentValue()) {
        return commandSetFromCurrent(session, words[1], *vcp, *change);
    }
    uint16_t value = change->target(0, 0);
    if (namesSeveralDisplays(*session, words[1])) {
        return setSeveral(session, words[1], *vcp, value);
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    bool ok = display != nullptr &&
              writeSetting(sessionLink(session, *display), session->options.verify, *vcp, value);
    std::fprintf(session->out, "{\"ok\":%s}\n", ok ? "true" : "false");
    return documentStatus(*session, !ok);
}
