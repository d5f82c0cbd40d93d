#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/serve_displays.h"
#include "ddc/vcp.h"

namespace {

bool isStepSign(const char* word)
{
    return std::strcmp(word, "+") == 0 || std::strcmp(word, "-") == 0;
}

// `[{"display":1,"id":"…","ok":B},…]`.
int setSeveral(Session* session, const char* selector, uint8_t vcp, uint16_t value)
{
    DisplayList list;
    if (!readDisplayList(session, selector, &list)) {
        return kStatusUsage;
    }
    std::array<bool, kMaxDisplayListElements> written{};
    bool verify = session->options.verify;
    serveEachDisplay(session, list,
                     [&](const DdcLink& link, const DisplayRecord& display, size_t index) {
                         written[index] = writeSetting(link, verify, display, vcp, value);
                     });
    std::fputc('[', session->out);
    for (size_t i = 0; i < list.count; i++) {
        printEntryStart(*session, list.entries[i], i);
        if (list.entries[i].display != nullptr) {
            std::fprintf(session->out, ",\"ok\":%s}", written[i] ? "true" : "false");
        }
    }
    std::fprintf(session->out, "]\n");
    return 0;
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
    if (namesSeveralDisplays(*session, words[1])) {
        return setSeveral(session, words[1], *vcp, *value);
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    bool ok = display != nullptr &&
              writeSetting(sessionLink(session), session->options.verify, *display, *vcp, *value);
    std::fprintf(session->out, "{\"ok\":%s}\n", ok ? "true" : "false");
    return 0;
}
