#include "cli/display_json.h"

#include <array>

#include "discovery/display_table.h"
#include "ops/json_escape.h"

void printDisplayMembers(std::FILE* out, const char* id, const char* name, const char* serial)
{
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> escapedId;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> escapedName;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::serial))> escapedSerial;
    json_escape(id, escapedId.data(), escapedId.size());
    json_escape(name, escapedName.data(), escapedName.size());
    json_escape(serial, escapedSerial.data(), escapedSerial.size());
    std::fprintf(out, "\"id\":\"%s\",\"name\":\"%s\",\"serial\":\"%s\"", escapedId.data(),
                 escapedName.data(), escapedSerial.data());
}
