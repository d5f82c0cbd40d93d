#include "cli/arguments.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/usage.h"
#include "mccs/feature_names.h"

namespace {

// `text` as a number from 0 to `max`, or nothing. Only a digit may start it:
// strtol would also take white space and a sign, which a person who types
// " 5" or "+5" does not mean as a plain 5. A typo such as "5O" must not
// reach a monitor as 5 or 0.
std::optional<long> readNumber(const char* text, long max)
{
    if (*text < '0' || *text > '9') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 0);
    if (*end != '\0' || errno == ERANGE || number > max) {
        return std::nullopt;
    }
    return number;
}

// The percentage that `text` writes as "P%", or nothing.
std::optional<long> readPercent(const char* text)
{
    size_t length = std::strlen(text);
    // No percentage in number syntax is longer than this; a longer word is
    // no percentage either.
    char digits[32];
    if (length < 2 || length > sizeof digits || text[length - 1] != '%') {
        return std::nullopt;
    }
    std::memcpy(digits, text, length - 1);
    digits[length - 1] = '\0';
    return readNumber(digits, kMaxPercent);
}

bool isSign(char c)
{
    return c == '+' || c == '-';
}

// A step's amount, N or P%, after its sign; refuses `word` when it is neither.
std::optional<SettingChange> readStep(Refusals* refusals, char sign, const char* amount,
                                      const char* word)
{
    SettingChange change;
    change.relative = true;
    std::optional<long> number;
    if (std::strchr(amount, '%') != nullptr) {
        change.percent = true;
        number = readPercent(amount);
    } else {
        number = readNumber(amount, kMaxVcpValue);
    }
    if (!number) {
        refuseCommandLine(refusals, "invalid number: %s", word);
        return std::nullopt;
    }
    change.amount = sign == '-' ? -*number : *number;
    return change;
}

}  // namespace

std::optional<long> parseNumberArgument(Refusals* refusals, const char* text, long max)
{
    std::optional<long> number = readNumber(text, max);
    if (!number) {
        refuseCommandLine(refusals, "invalid number: %s", text);
    }
    return number;
}

std::optional<uint8_t> parseFeatureArgument(Refusals* refusals, const char* text)
{
    if (const FeatureName* feature = featureByName(text)) {
        return feature->code;
    }
    std::optional<long> code = parseNumberArgument(refusals, text, kMaxVcpCode);
    if (!code) {
        return std::nullopt;
    }
    return static_cast<uint8_t>(*code);
}

std::optional<uint16_t> parseValueArgument(Refusals* refusals, uint8_t code, const char* text)
{
    if (std::optional<uint16_t> named = namedValue(code, text)) {
        return named;
    }
    std::optional<long> value = parseNumberArgument(refusals, text, kMaxVcpValue);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(*value);
}

std::optional<SettingChange> parseSettingChange(Refusals* refusals, uint8_t code,
                                                std::span<char* const> words)
{
    const char* word = words[0];
    if (isSign(word[0]) && word[1] == '\0') {
        if (words.size() < 2) {
            // A sign with no amount is as much a bad number as "+x".
            refuseCommandLine(refusals, "invalid number: %s", word);
            return std::nullopt;
        }
        return readStep(refusals, word[0], words[1], words[1]);
    }
    if (isSign(word[0])) {
        return readStep(refusals, word[0], word + 1, word);
    }
    SettingChange change;
    if (std::strchr(word, '%') != nullptr) {
        std::optional<long> percent = readPercent(word);
        if (!percent) {
            refuseCommandLine(refusals, "invalid number: %s", word);
            return std::nullopt;
        }
        change.percent = true;
        change.amount = *percent;
        return change;
    }
    std::optional<uint16_t> value = parseValueArgument(refusals, code, word);
    if (!value) {
        return std::nullopt;
    }
    change.amount = *value;
    return change;
}
