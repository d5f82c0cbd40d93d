#include "cli/options.h"

#include <array>
#include <cstring>

#include "cli/arguments.h"
#include "cli/usage.h"
#include "ddc/link.h"

namespace {

// An option without a value: it turns one of the run's switches on.
template <bool RunOptions::*kSwitch>
bool turnOn(RunOptions* options, const char* /*value*/, Refusals* /*refusals*/)
{
    options->*kSwitch = true;
    return true;
}

bool takeRetries(RunOptions* options, const char* value, Refusals* refusals)
{
    std::optional<long> retries = parseNumberArgument(refusals, value, kMaxRetries);
    if (!retries) {
        return false;
    }
    options->retries = static_cast<int>(*retries);
    return true;
}

// More than a day of changes at one a second, and a count any caller can
// write without thinking of overflow.
constexpr long kMaxCount = 1000000;

bool takeCount(RunOptions* options, const char* value, Refusals* refusals)
{
    std::optional<long> count = parseNumberArgument(refusals, value, kMaxCount);
    if (!count) {
        return false;
    }
    if (*count == 0) {
        refuseCommandLine(refusals, "invalid number: %s", value);
        return false;
    }
    options->count = *count;
    return true;
}

constexpr std::array<OptionRow, 9> kOptions{{
    {"--help", "-h", nullptr, "print this text and exit", turnOn<&RunOptions::help>},
    {"--version", nullptr, nullptr, "print the version and exit", turnOn<&RunOptions::version>},
    {"--retries", nullptr, "N", "retry failed transactions up to N times, 0-10", takeRetries},
    {"--verify", nullptr, nullptr, "set, restore: check each value by reading it back",
     turnOn<&RunOptions::verify>},
    {"--fail", nullptr, nullptr, "status 1 when the document reports a failure",
     turnOn<&RunOptions::fail>},
    {"--max", nullptr, nullptr, "get: print the maximum beside the value",
     turnOn<&RunOptions::showMax>},
    {"--count", nullptr, "N", "watch: end after N changes, 1-1000000", takeCount},
    {"--one-at-a-time", nullptr, nullptr, "serve several displays in turn, not at once",
     turnOn<&RunOptions::oneAtATime>},
    {"--refresh", nullptr, nullptr, "features, save: read the capabilities again, not the cache",
     turnOn<&RunOptions::refresh>},
}};

bool looksLikeOption(const char* word)
{
    return std::strncmp(word, "--", 2) == 0;
}

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

std::optional<size_t> readOptions(std::span<char* const> words, RunOptions* options,
                                  Refusals* refusals)
{
    size_t used = 0;
    while (used < words.size()) {
        const OptionRow* row = findOption(words[used]);
        if (row == nullptr) {
            if (looksLikeOption(words[used])) {
                refuseCommandLine(refusals, "unknown option: %s", words[used]);
                return std::nullopt;
            }
            break;
        }
        const char* value = nullptr;
        if (row->valueName != nullptr) {
            if (used + 1 >= words.size()) {
                refuseCommandLine(refusals, "missing value for %s", row->longName);
                return std::nullopt;
            }
            value = words[used + 1];
        }
        if (!row->apply(options, value, refusals)) {
            return std::nullopt;
        }
        used += row->valueName != nullptr ? 2 : 1;
    }
    return used;
}
