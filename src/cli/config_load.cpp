#include "cli/config_load.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "cli/command_table.h"

namespace {

// Aliases and groups may not be a command word: `panoctl get list …`
// would read as nobody means it.
constexpr std::array<std::string_view, kCommandTable.size()> commandWords()
{
    std::array<std::string_view, kCommandTable.size()> words{};
    for (size_t i = 0; i < kCommandTable.size(); i++) {
        words[i] = kCommandTable[i].word;
    }
    return words;
}
constexpr std::array<std::string_view, kCommandTable.size()> kCommandWords = commandWords();

bool set(const char* value)
{
    return value != nullptr && *value != '\0';
}

}  // namespace

void configPathFromEnvironment(std::array<char, kConfigPathCapacity>* path)
{
    (*path)[0] = '\0';
    const char* chosen = std::getenv("PANOCTL_CONFIG");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    int length = -1;
    if (set(chosen)) {
        length = std::snprintf(path->data(), path->size(), "%s", chosen);
    } else if (set(xdg)) {
        length = std::snprintf(path->data(), path->size(), "%s/panoctl/config.toml", xdg);
    } else if (set(home)) {
        length = std::snprintf(path->data(), path->size(), "%s/.config/panoctl/config.toml", home);
    }
    if (length < 0 || static_cast<size_t>(length) >= path->size()) {
        (*path)[0] = '\0';
    }
}

bool loadSessionConfig(Session* session)
{
    std::array<char, kConfigPathCapacity> path{};
    configPathFromEnvironment(&path);
    ConfigError error;
    ConfigLoad load = loadConfigFile(path.data(), kCommandWords, &session->config, &error);
    if (load != ConfigLoad::refused) {
        return true;
    }
    if (error.line == 0) {
        refuseCommandLine(&session->refusals, "panoctl: config %s: %s", path.data(),
                          error.what.data());
    } else {
        refuseCommandLine(&session->refusals, "panoctl: config %s:%u:%u: %s", path.data(),
                          error.line, error.column, error.what.data());
    }
    return false;
}
