#include "cli/display_json.h"

#include <array>

#include "config/display_selector.h"
#include "discovery/display_table.h"
#include "ops/json_escape.h"

void printDisplayMembers(std::FILE* out, const Configuration& config, const char* id,
                         const char* name, const char* serial)
{
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> escapedId;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> escapedName;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::serial))> escapedSerial;
    json_escape(id, escapedId.data(), escapedId.size());
    json_escape(name, escapedName.data(), escapedName.size());
    json_escape(serial, escapedSerial.data(), escapedSerial.size());
    std::fprintf(out, "\"id\":\"%s\",\"name\":\"%s\",\"serial\":\"%s\"", escapedId.data(),
                 escapedName.data(), escapedSerial.data());
    printAliasMember(out, config, id, name, serial);
}

void printAliasMember(std::FILE* out, const Configuration& config, const char* id, const char* name,
                      const char* serial)
{
    // Without a file the documents stay as they were, byte for byte.
    if (!config.fromFile) {
        return;
    }
    const char* alias = aliasNameOf(config, DisplayKey{id, serial, name});
    if (alias == nullptr) {
        std::fputs(",\"alias\":null", out);
        return;
    }
    std::array<char, escapedCapacity(kConfigNameCapacity)> escapedAlias;
    json_escape(alias, escapedAlias.data(), escapedAlias.size());
    std::fprintf(out, ",\"alias\":\"%s\"", escapedAlias.data());
}
