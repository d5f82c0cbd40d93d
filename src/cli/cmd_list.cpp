#include <cstdio>

#include "cli/commands.h"
#include "cli/display_json.h"
#include "discovery/display_table.h"

int commandList(Session* session, CommandWords /*words*/)
{
    std::fprintf(session->out, "[");
    std::span<const DisplayRecord> displays = session->displays.displays();
    for (size_t i = 0; i < displays.size(); i++) {
        const DisplayRecord& display = displays[i];
        std::fprintf(session->out, "%s{", i == 0 ? "" : ",");
        printDisplayMembers(session->out, session->config, display.id.data(), display.name.data(),
                            display.serial.data());
        std::fprintf(session->out, ",\"isBuiltin\":false,\"supportsDdc\":true}");
    }
    std::fprintf(session->out, "]\n");
    return 0;
}
