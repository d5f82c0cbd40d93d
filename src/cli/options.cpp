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
    std::optional<long> retries = parseNumberArgument(refusals, value, 0, kMaxRetries, "--retries");
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
    std::optional<long> count = parseNumberArgument(refusals, value, 1, kMaxCount, "--count");
    if (!count) {
        return false;
    }
    options->count = *count;
    return true;
}

bool takeValues(RunOptions* options, const char* value, Refusals* refusals)
{
    // Read once the configuration is, whose features of one's own are names
    // too (dispatch.cpp).
    (void)refusals;
    options->valuesText = value;
    return true;
}

bool takeEvery(RunOptions* options, const char* value, Refusals* refusals)
{
    return parseTickSeconds(refusals, value, &options->tickMillis);
}

constexpr std::array<OptionRow, 12> kOptions{{
    {"--help", "-h", nullptr, "print this text and exit", turnOn<&RunOptions::help>},
    {"--version", nullptr, nullptr, "print the version and exit", turnOn<&RunOptions::version>},
    {"--retries", nullptr, "N", "retry failed transactions up to N times, 0-10", takeRetries},
    {"--verify", nullptr, nullptr, "set, restore: check each value by reading it back",
     turnOn<&RunOptions::verify>},
    {"--fail", nullptr, nullptr, "status 1 when the document reports a failure",
     turnOn<&RunOptions::fail>},
    {"--max", nullptr, nullptr, "get: print the maximum beside the value",
     turnOn<&RunOptions::showMax>},
    {"--percent", nullptr, nullptr, "get: print the value as a percentage of the display's range",
     turnOn<&RunOptions::showPercent>},
    {"--count", nullptr, "N", "watch: end after N changes, 1-1000000", takeCount},
    {"--values", nullptr, "F,F", "watch: report changes of these features, or restorable",
     takeValues},
    {"--every", nullptr, "S", "watch --values: look at the monitors every S seconds, 0.5-3600",
     takeEvery},
    {"--one-at-a-time", nullptr, nullptr, "serve several displays in turn, not at once",
     turnOn<&RunOptions::oneAtATime>},
    {"--refresh", nullptr, nullptr, "features, save: read the capabilities again, not the cache",
     turnOn<&RunOptions::refresh>},
}};

bool looksLikeOption(const char* word)
{
    return std::strncmp(word, "--", 2) == 0 || std::strcmp(word, "-h") == 0;
}

// The row `word` names, by its long name (followed by '=' and a value when
// `value` is set) or its short one.
const OptionRow* findOption(const char* word, const char** value)
{
    const char* equals = std::strchr(word, '=');
    size_t nameLength = equals != nullptr ? static_cast<size_t>(equals - word) : std::strlen(word);
    *value = equals != nullptr ? equals + 1 : nullptr;
    for (const OptionRow& row : kOptions) {
        if (std::strlen(row.longName) == nameLength &&
            std::strncmp(word, row.longName, nameLength) == 0) {
            return &row;
        }
        if (equals == nullptr && row.shortName != nullptr &&
            std::strcmp(word, row.shortName) == 0) {
            return &row;
        }
    }
    return nullptr;
}

void keepArgument(ArgumentWords* arguments, char* word)
{
    if (arguments->count < arguments->words.size()) {
        arguments->words[arguments->count++] = word;
    }
}

// Applies the option `words[at]`; returns how many words it took, or 0
// after refusing the command line.
size_t applyOption(std::span<char* const> words, size_t at, RunOptions* options, Refusals* refusals)
{
    const char* inlineValue = nullptr;
    const OptionRow* row = findOption(words[at], &inlineValue);
    if (row == nullptr) {
        refuseCommandLine(refusals, "panoctl: unknown option: %s", words[at]);
        return 0;
    }
    if (row->valueName == nullptr && inlineValue != nullptr) {
        refuseCommandLine(refusals, "panoctl: %s takes no value: %s", row->longName, words[at]);
        return 0;
    }
    const char* value = inlineValue;
    size_t used = 1;
    if (row->valueName != nullptr && value == nullptr) {
        // An option's value is never itself an option.
        if (at + 1 >= words.size() || looksLikeOption(words[at + 1]) ||
            std::strcmp(words[at + 1], "--") == 0) {
            refuseCommandLine(refusals, "panoctl: missing value for %s", row->longName);
            return 0;
        }
        value = words[at + 1];
        used = 2;
    }
    return row->apply(options, value, refusals) ? used : 0;
}

}  // namespace

std::span<const OptionRow> optionTable()
{
    return kOptions;
}

bool readOptions(std::span<char* const> words, RunOptions* options, ArgumentWords* arguments,
                 Refusals* refusals)
{
    size_t at = 0;
    while (at < words.size()) {
        char* word = words[at];
        if (std::strcmp(word, "--") == 0) {
            for (at++; at < words.size(); at++) {
                keepArgument(arguments, words[at]);
            }
            break;
        }
        if (!looksLikeOption(word)) {
            keepArgument(arguments, word);
            at++;
            continue;
        }
        size_t used = applyOption(words, at, options, refusals);
        if (used == 0) {
            return false;
        }
        at += used;
    }
    return true;
}
