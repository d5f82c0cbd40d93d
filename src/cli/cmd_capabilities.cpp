#include <cstdio>

#include "cli/commands.h"
#include "cli/json_escape.h"
#include "ddc/capabilities.h"
#include "discovery/display_table.h"

int commandCapabilities(int /*argc*/, char** argv)
{
    const DisplayRecord* display = find_by_id(argv[2]);
    if (display == nullptr) {
        std::printf("{\"capabilities\":\"\"}\n");
        return 0;
    }
    static CapabilitiesText text;
    size_t length = asReadCapabilities(*display, &text);
    // A capabilities string is a parenthesised list; anything else is noise
    // from a display that did not answer the request.
    if (length == 0 || text[0] != '(') {
        std::printf("{\"capabilities\":\"\"}\n");
        return 0;
    }
    static char escaped[escapedCapacity(sizeof text)];
    json_escape(text.data(), escaped, sizeof escaped);
    std::printf("{\"capabilities\":\"%s\"}\n", escaped);
    return 0;
}
