#include "cli/dispatch.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "discovery/walk.h"

namespace {

struct CommandRow {
    const char* word;
    int minimumArgc;  // counting the program name and the word
    int (*run)(int argc, char** argv);
};

constexpr std::array<CommandRow, 5> kCommands{{
    {"list", 2, commandList},
    {"get", 4, commandGet},
    {"set", 5, commandSet},
    {"capabilities", 3, commandCapabilities},
    {"probeaddr", 3, commandProbeaddr},
}};

}  // namespace

int panoctl_main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: panoctl <list|get|set|capabilities> ...\n", stderr);
        return kStatusUsage;
    }
    enumerateDisplays();
    for (const CommandRow& row : kCommands) {
        if (std::strcmp(argv[1], row.word) == 0 && argc >= row.minimumArgc) {
            return row.run(argc, argv);
        }
    }
    std::fputs("unknown command or missing args\n", stderr);
    return kStatusUsage;
}
