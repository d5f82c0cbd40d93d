// The configuration reader on any bytes. It must not crash nor throw, must
// stay within its tables, and what it accepts must keep the tables' rules:
// names that fit and are terminated, ranges with min below max, pause
// factors from 1 to 5, groups of known aliases, and no alias that is a
// reserved word or a position. A refusal names a place in the text.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "config/config_file.h"
#include "config/config_lookup.h"

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

constexpr std::array<std::string_view, 2> kWords{"list", "get"};

template <size_t N>
void checkTerminated(const std::array<char, N>& field)
{
    if (std::memchr(field.data(), '\0', field.size()) == nullptr) {
        finding("a text field without its NUL");
    }
}

void checkDisplays(const Configuration& config)
{
    if (config.displayCount > config.displays.size()) {
        finding("more displays than the table holds");
    }
    for (size_t i = 0; i < config.displayCount; i++) {
        const ConfigDisplay& display = config.displays[i];
        checkTerminated(display.alias);
        checkTerminated(display.id);
        checkTerminated(display.serial);
        checkTerminated(display.model);
        std::string_view alias = display.alias.data();
        if (alias.empty() || alias.find(',') != std::string_view::npos ||
            alias.find_first_not_of("0123456789") == std::string_view::npos ||
            sameNameIgnoringCase(alias, "all") || sameNameIgnoringCase(alias, "get")) {
            finding("an alias that a selector cannot be");
        }
        if (findAlias(config, alias) != &display) {
            finding("an alias named twice");
        }
        if (display.id[0] == '\0' && display.serial[0] == '\0') {
            finding("a display named by nothing");
        }
        for (size_t c = 0; c < display.calibrationCount; c++) {
            if (display.calibrations[c].min >= display.calibrations[c].max) {
                finding("a calibration whose min is not below its max");
            }
        }
        for (size_t q = 0; q < display.quirkCount; q++) {
            if (display.quirks[q] >= config.quirkCount) {
                finding("a display names a quirk the table lacks");
            }
        }
    }
}

void checkRest(const Configuration& config)
{
    for (size_t i = 0; i < config.groupCount; i++) {
        const ConfigGroup& group = config.groups[i];
        if (group.memberCount == 0) {
            finding("an empty group");
        }
        for (size_t m = 0; m < group.memberCount; m++) {
            if (group.members[m] >= config.displayCount) {
                finding("a group names an unknown alias");
            }
        }
    }
    for (size_t i = 0; i < config.quirkCount; i++) {
        const Quirk& quirk = config.quirks[i];
        if (quirk.pausePermille < 1000 || quirk.pausePermille > 5000) {
            finding("a pause factor outside 1 to 5");
        }
        if (quirk.remaps && quirk.sourceAddress != 0x50 && quirk.sourceAddress != 0x51) {
            finding("a source address other than 0x50 and 0x51");
        }
        checkTerminated(quirk.capabilities);
    }
    for (size_t i = 0; i < config.featureCount; i++) {
        const ConfigFeature& feature = config.features[i];
        if (feature.restorable &&
            (feature.code == 0x60 || feature.code == 0xD6 || feature.kind == FeatureKind::action)) {
            finding("input, power or an action made restorable");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    Configuration config;
    ConfigError error;
    if (!parseConfigText(input, kWords, &config, &error)) {
        checkTerminated(error.what);
        if (error.line == 0 || error.what[0] == '\0') {
            finding("a refusal without its place or reason");
        }
        return 0;
    }
    checkDisplays(config);
    checkRest(config);
    return 0;
}
