#include <array>
#include <cstdio>

#include "cli/commands.h"
#include "cli/json_escape.h"
#include "discovery/display_table.h"

int commandList(Session* session, CommandWords /*words*/)
{
    std::fprintf(session->out, "[");
    std::span<const DisplayRecord> displays = session->displays.displays();
    for (size_t i = 0; i < displays.size(); i++) {
        const DisplayRecord& display = displays[i];
        // Ids come from the registry like names and serials, so they are
        // escaped too: a quote in one must not break the document.
        std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id;
        std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> name;
        std::array<char, escapedCapacity(sizeof(DisplayRecord::serial))> serial;
        json_escape(display.id.data(), id.data(), id.size());
        json_escape(display.name.data(), name.data(), name.size());
        json_escape(display.serial.data(), serial.data(), serial.size());
        std::fprintf(session->out,
                     "%s{\"id\":\"%s\",\"name\":\"%s\",\"serial\":\"%s\","
                     "\"isBuiltin\":false,\"supportsDdc\":true}",
                     i == 0 ? "" : ",", id.data(), name.data(), serial.data());
    }
    std::fprintf(session->out, "]\n");
    return 0;
}
