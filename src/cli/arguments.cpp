#include "cli/arguments.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/suggest.h"
#include "cli/usage.h"
#include "config/config_lookup.h"
#include "mccs/feature_names.h"

namespace {

enum class NumberProblem { none, notANumber, leadingZero, outOfRange };

struct NumberReading {
    NumberProblem problem = NumberProblem::none;
    long value = 0;
};

// `text` as a number from `min` to `max`. Only a digit may start it: strtol
// would also take white space and a sign, which a person who types " 5" or
// "+5" does not mean as a plain 5. A typo such as "5O" must not reach a
// monitor as 5 or 0.
NumberReading readNumber(const char* text, long min, long max)
{
    NumberReading reading;
    if (*text < '0' || *text > '9') {
        reading.problem = NumberProblem::notANumber;
        return reading;
    }
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, hex ? 16 : 10);
    if (*end != '\0' || (hex && text[2] == '\0') || (hex && (text[2] == '+' || text[2] == '-'))) {
        reading.problem = NumberProblem::notANumber;
    } else if (text[0] == '0' && !hex && text[1] != '\0') {
        reading.problem = NumberProblem::leadingZero;
    } else if (errno == ERANGE || number < min || number > max) {
        reading.problem = NumberProblem::outOfRange;
    }
    reading.value = number;
    return reading;
}

// Refuses `text` for the reading's problem; `suffix` follows the bounds of a
// range ("%" for percentages).
void refuseNumber(Refusals* refusals, const NumberReading& reading, const char* text, long min,
                  long max, const char* label, const char* suffix)
{
    switch (reading.problem) {
        case NumberProblem::none: break;
        case NumberProblem::notANumber:
            refuseCommandLine(refusals, "panoctl: invalid number: %s", text);
            break;
        case NumberProblem::leadingZero:
            refuseCommandLine(refusals,
                              "panoctl: invalid number: %s (leading zeros are not read as octal; "
                              "write %ld or 0x%lX)",
                              text, reading.value, static_cast<unsigned long>(reading.value));
            break;
        case NumberProblem::outOfRange:
            refuseCommandLine(refusals, "panoctl: out of range: %s%s%s (%ld%s to %ld%s)",
                              label != nullptr ? label : "", label != nullptr ? " " : "", text, min,
                              suffix, max, suffix);
            break;
    }
}

// The percentage that `text` writes as "P%", or nothing after refusing it.
std::optional<long> parsePercent(Refusals* refusals, const char* text, const char* word)
{
    size_t length = std::strlen(text);
    // No percentage in number syntax is longer than this; a longer word is
    // no percentage either.
    std::array<char, 32> digits{};
    if (length < 2 || length > digits.size() || text[length - 1] != '%') {
        refuseCommandLine(refusals, "panoctl: invalid number: %s", word);
        return std::nullopt;
    }
    std::memcpy(digits.data(), text, length - 1);
    NumberReading reading = readNumber(digits.data(), 0, kMaxPercent);
    if (reading.problem != NumberProblem::none) {
        refuseNumber(refusals, reading, word, 0, kMaxPercent, nullptr, "%");
        return std::nullopt;
    }
    return reading.value;
}

bool isSign(char c)
{
    return c == '+' || c == '-';
}

// How a code is called in refusals: its name, or 0xNN.
struct CodeLabel {
    std::array<char, 8> hex{};
    std::string_view text;
};

void labelCode(const Configuration& config, uint8_t code, CodeLabel* label)
{
    if (const ConfigFeature* own = configFeatureByCode(config, code, {})) {
        label->text = own->name.data();
        return;
    }
    if (const FeatureName* feature = featureByCode(code)) {
        label->text = feature->name;
        return;
    }
    std::snprintf(label->hex.data(), label->hex.size(), "0x%02X", static_cast<unsigned>(code));
    label->text = label->hex.data();
}

// Refuses a step or percentage for a code whose values are not levels.
bool refuseStepFor(Refusals* refusals, const Configuration& config, uint8_t code, const char* what)
{
    if (configFeatureKind(config, code) == FeatureKind::continuous) {
        return false;
    }
    CodeLabel label;
    labelCode(config, code, &label);
    refuseCommandLine(refusals, "panoctl: %.*s takes a value, not a %s",
                      static_cast<int>(label.text.size()), label.text.data(), what);
    return true;
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
        number = parsePercent(refusals, amount, word);
    } else {
        NumberReading reading = readNumber(amount, 0, kMaxVcpValue);
        if (reading.problem != NumberProblem::none) {
            refuseNumber(refusals, reading, word, 0, kMaxVcpValue, nullptr, "");
            return std::nullopt;
        }
        number = reading.value;
    }
    if (!number) {
        return std::nullopt;
    }
    change.amount = sign == '-' ? -*number : *number;
    return change;
}

}  // namespace

std::optional<long> parseNumberArgument(Refusals* refusals, const char* text, long min, long max,
                                        const char* label)
{
    NumberReading reading = readNumber(text, min, max);
    if (reading.problem != NumberProblem::none) {
        refuseNumber(refusals, reading, text, min, max, label, "");
        return std::nullopt;
    }
    return reading.value;
}

namespace {

// The value `name` stands for with `code` among the names the
// configuration gives: its own features' of that code, then the quirks'.
std::optional<uint16_t> configuredValue(const Configuration& config, uint8_t code,
                                        std::string_view name)
{
    for (size_t i = 0; i < config.featureCount; i++) {
        const ConfigFeature& feature = config.features[i];
        for (size_t v = 0; feature.code == code && v < feature.valueCount; v++) {
            if (sameNameIgnoringCase(feature.values[v].name.data(), name)) {
                return feature.values[v].value;
            }
        }
    }
    return std::nullopt;
}

// Suggests among the configuration's value names of `code` too.
void considerConfiguredValues(NearestName* nearest, const Configuration& config, uint8_t code)
{
    for (size_t i = 0; i < config.featureCount; i++) {
        const ConfigFeature& feature = config.features[i];
        for (size_t v = 0; feature.code == code && v < feature.valueCount; v++) {
            considerName(nearest, feature.values[v].name.data());
        }
    }
}

bool hasConfiguredValues(const Configuration& config, uint8_t code)
{
    for (size_t i = 0; i < config.featureCount; i++) {
        if (config.features[i].code == code && config.features[i].valueCount > 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<uint8_t> parseFeatureArgument(Refusals* refusals, const Configuration& config,
                                            const char* text)
{
    if (std::optional<uint8_t> code = configFeatureCode(config, text)) {
        return code;
    }
    if (*text >= '0' && *text <= '9') {
        std::optional<long> code = parseNumberArgument(refusals, text, 0, kMaxVcpCode, nullptr);
        if (!code) {
            return std::nullopt;
        }
        return static_cast<uint8_t>(*code);
    }
    NearestName nearest = startNearest(text);
    for (size_t i = 0; i < config.featureCount; i++) {
        considerName(&nearest, config.features[i].name.data());
    }
    for (const FeatureName& feature : featureNames()) {
        considerName(&nearest, feature.name);
    }
    std::string_view meant = likelyMeant(nearest);
    if (!meant.empty()) {
        refuseCommandLine(refusals, "panoctl: unknown feature: %s (did you mean %.*s?)", text,
                          static_cast<int>(meant.size()), meant.data());
    } else {
        refuseCommandLine(refusals,
                          "panoctl: unknown feature: %s (panoctl help features lists them)", text);
    }
    return std::nullopt;
}

std::optional<uint16_t> parseValueArgument(Refusals* refusals, const Configuration& config,
                                           uint8_t code, const char* text)
{
    if (std::optional<uint16_t> named = configuredValue(config, code, text)) {
        return named;
    }
    if (std::optional<uint16_t> named = namedValue(code, text)) {
        return named;
    }
    // A name some model's quirk gives: each display reads it for itself.
    for (size_t i = 0; i < config.quirkCount; i++) {
        const Quirk& quirk = config.quirks[i];
        for (size_t v = 0; quirk.hasFeature && quirk.feature == code && v < quirk.valueCount; v++) {
            if (sameNameIgnoringCase(quirk.values[v].name.data(), text)) {
                return quirk.values[v].value;
            }
        }
    }
    const FeatureName* feature = featureByCode(code);
    bool builtInNames = feature != nullptr && !feature->values.empty();
    if ((*text >= '0' && *text <= '9') || (!builtInNames && !hasConfiguredValues(config, code))) {
        std::optional<long> value = parseNumberArgument(refusals, text, 0, kMaxVcpValue, nullptr);
        if (!value) {
            return std::nullopt;
        }
        return static_cast<uint16_t>(*value);
    }
    NearestName nearest = startNearest(text);
    considerConfiguredValues(&nearest, config, code);
    if (builtInNames) {
        for (const NamedValue& value : feature->values) {
            considerName(&nearest, value.name);
        }
    }
    std::string_view meant = likelyMeant(nearest);
    CodeLabel label;
    labelCode(config, code, &label);
    auto nameLength = static_cast<int>(label.text.size());
    if (!meant.empty()) {
        refuseCommandLine(refusals, "panoctl: unknown value for %.*s: %s (did you mean %.*s?)",
                          nameLength, label.text.data(), text, static_cast<int>(meant.size()),
                          meant.data());
    } else {
        refuseCommandLine(refusals,
                          "panoctl: unknown value for %.*s: %s (panoctl help features lists them)",
                          nameLength, label.text.data(), text);
    }
    return std::nullopt;
}

std::optional<SettingChange> parseSettingChange(Refusals* refusals, const Configuration& config,
                                                uint8_t code, std::span<char* const> words)
{
    const char* word = words[0];
    if (isSign(word[0])) {
        if (refuseStepFor(refusals, config, code, "step")) {
            return std::nullopt;
        }
        if (word[1] != '\0') {
            return readStep(refusals, word[0], word + 1, word);
        }
        if (words.size() < 2) {
            // A sign with no amount is as much a bad number as "+x".
            refuseCommandLine(refusals, "panoctl: invalid number: %s", word);
            return std::nullopt;
        }
        return readStep(refusals, word[0], words[1], words[1]);
    }
    SettingChange change;
    if (std::strchr(word, '%') != nullptr) {
        if (refuseStepFor(refusals, config, code, "percentage")) {
            return std::nullopt;
        }
        std::optional<long> percent = parsePercent(refusals, word, word);
        if (!percent) {
            return std::nullopt;
        }
        change.percent = true;
        change.amount = *percent;
        return change;
    }
    std::optional<uint16_t> value = parseValueArgument(refusals, config, code, word);
    if (!value) {
        return std::nullopt;
    }
    change.amount = *value;
    return change;
}
