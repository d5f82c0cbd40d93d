#include "cli/options.h"

#include <array>
#include <cstring>

#include "cli/usage.h"

namespace {

bool askForHelp(RunOptions* options, const char* /*value*/)
{
    options->help = true;
    return true;
}

bool askForVersion(RunOptions* options, const char* /*value*/)
{
    options->version = true;
    return true;
}

constexpr std::array<OptionRow, 2> kOptions{{
    {"--help", "-h", nullptr, "print this text and exit", askForHelp},
    {"--version", nullptr, nullptr, "print the version and exit", askForVersion},
}};

const OptionRow* findOption(const char* word)
{
    for (const OptionRow& row : kOptions) {
        if (std::strcmp(word, row.longName) == 0 ||
            (row.shortName != nullptr && std::strcmp(word, row.shortName) == 0)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

std::span<const OptionRow> optionTable()
{
    return kOptions;
}

std::optional<size_t> readOptions(std::span<char* const> words, RunOptions* options)
{
    size_t used = 0;
    while (used < words.size()) {
        const OptionRow* row = findOption(words[used]);
        if (row == nullptr) {
            break;
        }
        const char* value = nullptr;
        if (row->valueName != nullptr) {
            if (used + 1 >= words.size()) {
                refuseCommandLine("missing value for %s", row->longName);
                return std::nullopt;
            }
            value = words[used + 1];
        }
        if (!row->apply(options, value)) {
            return std::nullopt;
        }
        used += row->valueName != nullptr ? 2 : 1;
    }
    return used;
}
