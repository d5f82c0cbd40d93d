#include <cstdio>

#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ops/capabilities_read.h"
#include "ops/json_escape.h"

int commandCapabilities(Session* session, CommandWords words)
{
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    CapabilitiesText text;
    if (display == nullptr || readUsableCapabilities(sessionLink(session, *display), &text) == 0) {
        std::fprintf(session->out, "{\"capabilities\":\"\"}\n");
        return documentStatus(*session, true);
    }
    std::array<char, escapedCapacity(sizeof text)> escaped;
    json_escape(text.data(), escaped.data(), escaped.size());
    std::fprintf(session->out, "{\"capabilities\":\"%s\"}\n", escaped.data());
    return 0;
}
