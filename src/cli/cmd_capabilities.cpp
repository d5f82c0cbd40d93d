#include <cstdio>

#include "cli/capabilities_read.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "cli/json_escape.h"

int commandCapabilities(CommandWords words)
{
    const DisplayRecord* display = lookupDisplay(words[1]);
    static CapabilitiesText text;
    if (display == nullptr || readUsableCapabilities(*display, &text) == 0) {
        std::printf("{\"capabilities\":\"\"}\n");
        return documentStatus(true);
    }
    static char escaped[escapedCapacity(sizeof text)];
    json_escape(text.data(), escaped, sizeof escaped);
    std::printf("{\"capabilities\":\"%s\"}\n", escaped);
    return 0;
}
