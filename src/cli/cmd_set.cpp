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

bool writeSetting(const DdcLink& link, bool verify, const DisplayRecord& display, uint8_t vcp,
                  uint16_t value)
{
    return verify ? asWriteVCPVerified(link, display, vcp, value)
                  : asWriteVCP(link, display, vcp, value);
}

int commandSet(Session* session, CommandWords words)
{
    std::optional<uint8_t> vcp = parseFeatureArgument(&session->refusals, words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    if (isStepSign(words[3])) {
        return commandSetStep(session, words, *vcp);
    }
    std::optional<uint16_t> value = parseValueArgument(&session->refusals, *vcp, words[3]);
    if (!value) {
        return kStatusUsage;
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    bool ok = display != nullptr &&
              writeSetting(sessionLink(session), session->options.verify, *display, *vcp, *value);
    std::fprintf(session->out, "{\"ok\":%s}\n", ok ? "true" : "false");
    return 0;
}
