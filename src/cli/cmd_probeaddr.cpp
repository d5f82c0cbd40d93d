#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "ddc/probe.h"

namespace {

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

}  // namespace

int commandProbeaddr(Session* session, CommandWords words)
{
    // A document is one monitor's.
    if (!refuseSeveralDisplays(session, words)) {
        return kStatusUsage;
    }
    uint8_t vcp = 0x10;  // brightness: the one code nearly every monitor has
    if (words.size() >= 3) {
        std::optional<uint8_t> parsed =
            parseFeatureArgument(&session->refusals, session->config, words[2]);
        if (!parsed) {
            return kStatusUsage;
        }
        vcp = *parsed;
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    if (display == nullptr) {
        std::fprintf(session->out, "{\"error\":\"no_such_display\"}\n");
        return 1;
    }
    std::array<ProbeResult, kProbeCombinations> results =
        probeAddresses(sessionLink(session, *display), vcp);
    std::fputc('{', session->out);
    for (size_t i = 0; i < results.size(); i++) {
        const ProbeResult& result = results[i];
        std::fprintf(session->out,
                     "%s\"0x%02X/0x%02X\":{\"write\":%s,\"ok\":%s,\"current\":%d,\"max\":%d}",
                     i == 0 ? "" : ",", result.chip, result.dataAddress, boolText(result.written),
                     boolText(result.ok), result.current, result.maximum);
    }
    std::fprintf(session->out, "}\n");
    return 0;
}
