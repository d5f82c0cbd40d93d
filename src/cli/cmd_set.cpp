#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "ddc/vcp.h"
#include "discovery/display_table.h"

int commandSet(int /*argc*/, char** argv)
{
    std::optional<long> vcp = parseNumberArgument(argv[3], kMaxVcpCode);
    if (!vcp) {
        return kStatusUsage;
    }
    std::optional<long> value = parseNumberArgument(argv[4], kMaxVcpValue);
    if (!value) {
        return kStatusUsage;
    }
    const DisplayRecord* display = find_by_id(argv[2]);
    bool ok = display != nullptr &&
              asWriteVCP(*display, static_cast<uint8_t>(*vcp), static_cast<uint16_t>(*value));
    std::printf("{\"ok\":%s}\n", ok ? "true" : "false");
    return 0;
}
