#include "config/config_lookup.h"

#include <algorithm>

#include "mccs/restorable.h"

namespace {

std::string_view textOf(const std::array<char, kConfigNameCapacity>& field)
{
    return field.data();
}

template <size_t N>
bool given(const std::array<char, N>& field)
{
    return field[0] != '\0';
}

template <typename Row, typename Rows>
Row* findNamed(Rows& rows, size_t count, std::string_view name)
{
    for (size_t i = 0; i < count; i++) {
        if (sameNameIgnoringCase(textOf(rows[i].name), name)) {
            return &rows[i];
        }
    }
    return nullptr;
}

void addQuirk(AppliedQuirks* applied, const Quirk* quirk)
{
    for (size_t i = 0; i < applied->count; i++) {
        if (applied->quirks[i] == quirk) {
            return;
        }
    }
    if (applied->count < applied->quirks.size()) {
        applied->quirks[applied->count++] = quirk;
    }
}

}  // namespace

const ConfigDisplay* findAlias(const Configuration& config, std::string_view alias)
{
    for (size_t i = 0; i < config.displayCount; i++) {
        if (sameNameIgnoringCase(config.displays[i].alias.data(), alias)) {
            return &config.displays[i];
        }
    }
    return nullptr;
}

const ConfigGroup* findGroup(const Configuration& config, std::string_view name)
{
    return findNamed<const ConfigGroup>(config.groups, config.groupCount, name);
}

const ConfigFeature* findConfigFeature(const Configuration& config, std::string_view name)
{
    return findNamed<const ConfigFeature>(config.features, config.featureCount, name);
}

const Quirk* findQuirk(const Configuration& config, std::string_view name)
{
    return findNamed<const Quirk>(config.quirks, config.quirkCount, name);
}

Quirk* findQuirk(Configuration* config, std::string_view name)
{
    return findNamed<Quirk>(config->quirks, config->quirkCount, name);
}

std::optional<uint8_t> configFeatureCode(const Configuration& config, std::string_view name)
{
    if (const ConfigFeature* own = findConfigFeature(config, name)) {
        return own->code;
    }
    if (const FeatureName* builtIn = featureByName(name)) {
        return builtIn->code;
    }
    return std::nullopt;
}

FeatureKind configFeatureKind(const Configuration& config, uint8_t code)
{
    for (size_t i = 0; i < config.featureCount; i++) {
        if (config.features[i].code == code) {
            return config.features[i].kind;
        }
    }
    const FeatureName* builtIn = featureByCode(code);
    return builtIn != nullptr ? builtIn->kind : FeatureKind::continuous;
}

bool actsOnce(const Configuration& config, uint8_t code)
{
    return isActionCode(code) || configFeatureKind(config, code) == FeatureKind::action;
}

const ConfigFeature* configFeatureByCode(const Configuration& config, uint8_t code,
                                         std::string_view model)
{
    for (size_t i = 0; i < config.featureCount; i++) {
        const ConfigFeature& feature = config.features[i];
        if (feature.code == code &&
            (!given(feature.model) || sameNameIgnoringCase(feature.model.data(), model))) {
            return &feature;
        }
    }
    return nullptr;
}

bool aliasNames(const ConfigDisplay& alias, const DisplayKey& display)
{
    if (given(alias.id)) {
        return sameNameIgnoringCase(alias.id.data(), display.id);
    }
    if (!sameNameIgnoringCase(alias.serial.data(), display.serial)) {
        return false;
    }
    return !given(alias.model) || sameNameIgnoringCase(alias.model.data(), display.model);
}

const ConfigDisplay* aliasOf(const Configuration& config, const DisplayKey& display)
{
    for (size_t i = 0; i < config.displayCount; i++) {
        if (aliasNames(config.displays[i], display)) {
            return &config.displays[i];
        }
    }
    return nullptr;
}

const Calibration* calibrationOf(const Configuration& config, const DisplayKey& display,
                                 uint8_t code)
{
    const ConfigDisplay* alias = aliasOf(config, display);
    if (alias == nullptr) {
        return nullptr;
    }
    for (size_t i = 0; i < alias->calibrationCount; i++) {
        if (alias->calibrations[i].code == code) {
            return &alias->calibrations[i];
        }
    }
    return nullptr;
}

AppliedQuirks quirksOf(const Configuration& config, const DisplayKey& display)
{
    AppliedQuirks applied;
    if (const ConfigDisplay* alias = aliasOf(config, display)) {
        for (size_t i = 0; i < alias->quirkCount; i++) {
            addQuirk(&applied, &config.quirks[alias->quirks[i]]);
        }
    }
    for (size_t i = 0; i < config.quirkCount; i++) {
        const Quirk& quirk = config.quirks[i];
        if (given(quirk.model) && sameNameIgnoringCase(quirk.model.data(), display.model)) {
            addQuirk(&applied, &quirk);
        }
    }
    return applied;
}

const Quirk* quirkForFeature(const AppliedQuirks& applied, uint8_t code)
{
    for (size_t i = 0; i < applied.count; i++) {
        const Quirk* quirk = applied.quirks[i];
        if (quirk->hasFeature && quirk->feature == code &&
            (quirk->remaps || quirk->valueCount > 0)) {
            return quirk;
        }
    }
    return nullptr;
}

OwnRestorable ownRestorable(const Configuration& config, std::string_view model)
{
    OwnRestorable own;
    for (size_t i = 0; i < config.featureCount && own.count < own.codes.size(); i++) {
        const ConfigFeature& feature = config.features[i];
        bool forModel = !given(feature.model) || sameNameIgnoringCase(feature.model.data(), model);
        bool already =
            restoreIndex(feature.code).has_value() ||
            std::find(own.codes.begin(), own.codes.begin() + static_cast<long>(own.count),
                      feature.code) != own.codes.begin() + static_cast<long>(own.count);
        if (feature.restorable && forModel && !already) {
            own.codes[own.count] = feature.code;
            own.names[own.count] = feature.name.data();
            own.count++;
        }
    }
    // Ascending code order, as the documents list codes.
    for (size_t i = 1; i < own.count; i++) {
        for (size_t j = i; j > 0 && own.codes[j - 1] > own.codes[j]; j--) {
            std::swap(own.codes[j - 1], own.codes[j]);
            std::swap(own.names[j - 1], own.names[j]);
        }
    }
    return own;
}
