#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "ddc/probe.h"
#include "discovery/display_table.h"

int commandProbeaddr(int argc, char** argv)
{
    long vcp = 0x10;  // brightness: the one code nearly every monitor has
    if (argc >= 4) {
        std::optional<long> parsed = parseNumberArgument(argv[3], kMaxVcpCode);
        if (!parsed) {
            return kStatusUsage;
        }
        vcp = *parsed;
    }
    const DisplayRecord* display = find_by_id(argv[2]);
    if (display == nullptr) {
        std::printf("{\"error\":\"no_such_display\"}\n");
        return 1;
    }
    probeAddresses(*display, static_cast<uint8_t>(vcp));
    return 0;
}
