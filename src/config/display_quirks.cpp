#include "config/display_quirks.h"

#include "config/display_selector.h"

namespace {

std::optional<uint16_t> valueOf(std::span<const ConfigValue> values, std::string_view name)
{
    for (const ConfigValue& value : values) {
        if (sameNameIgnoringCase(value.name.data(), name)) {
            return value.value;
        }
    }
    return std::nullopt;
}

std::string_view nameOf(std::span<const ConfigValue> values, uint16_t number)
{
    for (const ConfigValue& value : values) {
        if (value.value == number) {
            return value.name.data();
        }
    }
    return {};
}

// The display's quirk that names `feature`'s values, or null.
const Quirk* valuesQuirk(const Configuration& config, const DisplayKey& display, uint8_t feature)
{
    AppliedQuirks applied = quirksOf(config, display);
    for (size_t i = 0; i < applied.count; i++) {
        const Quirk* quirk = applied.quirks[i];
        if (quirk->hasFeature && quirk->feature == feature && quirk->valueCount > 0) {
            return quirk;
        }
    }
    return nullptr;
}

}  // namespace

FeatureRoute routeFeature(const Configuration& config, const DisplayKey& display, uint8_t feature)
{
    FeatureRoute route{feature, 0x51, nullptr};
    AppliedQuirks applied = quirksOf(config, display);
    for (size_t i = 0; i < applied.count; i++) {
        const Quirk* quirk = applied.quirks[i];
        if (quirk->hasFeature && quirk->feature == feature && quirk->remaps) {
            return FeatureRoute{quirk->code, quirk->sourceAddress, quirk};
        }
    }
    return route;
}

std::optional<uint16_t> valueForDisplay(const Configuration& config, const DisplayKey& display,
                                        uint8_t feature, std::string_view name)
{
    if (const Quirk* quirk = valuesQuirk(config, display, feature)) {
        if (std::optional<uint16_t> value =
                valueOf(std::span(quirk->values).first(quirk->valueCount), name)) {
            return value;
        }
    }
    if (const ConfigFeature* own = configFeatureByCode(config, feature, display.model)) {
        if (std::optional<uint16_t> value =
                valueOf(std::span(own->values).first(own->valueCount), name)) {
            return value;
        }
    }
    return namedValue(feature, name);
}

const Quirk* quirkNamingValue(const Configuration& config, const DisplayKey& display,
                              uint8_t feature, std::string_view name)
{
    const Quirk* quirk = valuesQuirk(config, display, feature);
    if (quirk != nullptr && valueOf(std::span(quirk->values).first(quirk->valueCount), name)) {
        return quirk;
    }
    return nullptr;
}

bool knownValueName(const Configuration& config, uint8_t feature, std::string_view name)
{
    for (size_t i = 0; i < config.quirkCount; i++) {
        const Quirk& quirk = config.quirks[i];
        if (quirk.hasFeature && quirk.feature == feature &&
            valueOf(std::span(quirk.values).first(quirk.valueCount), name)) {
            return true;
        }
    }
    for (size_t i = 0; i < config.featureCount; i++) {
        const ConfigFeature& own = config.features[i];
        if (own.code == feature && valueOf(std::span(own.values).first(own.valueCount), name)) {
            return true;
        }
    }
    return namedValue(feature, name).has_value();
}

std::string_view valueNameForDisplay(const Configuration& config, const DisplayKey& display,
                                     uint8_t feature, uint16_t value)
{
    if (const Quirk* quirk = valuesQuirk(config, display, feature)) {
        std::string_view name = nameOf(std::span(quirk->values).first(quirk->valueCount), value);
        if (!name.empty()) {
            return name;
        }
    }
    if (const ConfigFeature* own = configFeatureByCode(config, feature, display.model)) {
        std::string_view name = nameOf(std::span(own->values).first(own->valueCount), value);
        if (!name.empty()) {
            return name;
        }
    }
    return valueName(feature, value);
}

PauseFactor pauseFactorOf(const Configuration& config, const DisplayKey& display)
{
    PauseFactor factor;
    AppliedQuirks applied = quirksOf(config, display);
    for (size_t i = 0; i < applied.count; i++) {
        if (applied.quirks[i]->pausePermille > factor.permille) {
            factor = PauseFactor{applied.quirks[i]->pausePermille, applied.quirks[i]};
        }
    }
    return factor;
}

const Quirk* capabilitiesQuirkOf(const Configuration& config, const DisplayKey& display)
{
    AppliedQuirks applied = quirksOf(config, display);
    for (size_t i = 0; i < applied.count; i++) {
        const Quirk* quirk = applied.quirks[i];
        if (quirk->replacesCapabilities) {
            return quirk;
        }
    }
    return nullptr;
}

const Quirk* unboundedQuirkOf(const Configuration& config, const DisplayKey& display, uint8_t code)
{
    AppliedQuirks applied = quirksOf(config, display);
    for (size_t i = 0; i < applied.count; i++) {
        const Quirk* quirk = applied.quirks[i];
        for (size_t u = 0; u < quirk->unboundedCount; u++) {
            if (quirk->unbounded[u] == code) {
                return quirk;
            }
        }
    }
    return nullptr;
}

void applyPauseFactors(const Configuration& config, DisplayTable* table)
{
    for (DisplayRecord& display : table->displays()) {
        display.pausePermille = pauseFactorOf(config, displayKeyOf(display)).permille;
    }
}
