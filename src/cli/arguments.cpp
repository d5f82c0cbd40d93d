#include "cli/arguments.h"

#include <cerrno>
#include <cstdlib>

#include "cli/usage.h"
#include "mccs/feature_names.h"

std::optional<long> parseNumberArgument(Refusals* refusals, const char* text, long max)
{
    // A typo such as "5O" must not reach a monitor as 5 or 0.
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || errno == ERANGE || number < 0 || number > max) {
        refuseCommandLine(refusals, "invalid number: %s", text);
        return std::nullopt;
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
