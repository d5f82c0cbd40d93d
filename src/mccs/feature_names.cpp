#include "mccs/feature_names.h"

#include <array>

namespace {

constexpr std::array<NamedValue, 8> kInputSources{{
    {"vga1", 0x01},
    {"vga2", 0x02},
    {"dvi1", 0x03},
    {"dvi2", 0x04},
    {"dp1", 0x0F},
    {"dp2", 0x10},
    {"hdmi1", 0x11},
    {"hdmi2", 0x12},
}};

constexpr std::array<NamedValue, 2> kMuteStates{{
    {"on", 0x01},
    {"off", 0x02},
}};

constexpr std::array<NamedValue, 4> kPowerModes{{
    {"on", 0x01},
    {"standby", 0x02},
    {"suspend", 0x03},
    {"off", 0x04},
}};

constexpr std::array<FeatureName, 11> kFeatures{{
    {"brightness", 0x10, "luminance of the image", {}},
    {"contrast", 0x12, "contrast of the image", {}},
    {"color-preset", 0x14, "colour temperature preset", {}},
    {"red-gain", 0x16, "video gain of red", {}},
    {"green-gain", 0x18, "video gain of green", {}},
    {"blue-gain", 0x1A, "video gain of blue", {}},
    {"input", 0x60, "input source", kInputSources},
    {"volume", 0x62, "audio speaker volume", {}},
    {"sharpness", 0x87, "sharpness of the image", {}},
    {"mute", 0x8D, "audio mute", kMuteStates},
    {"power", 0xD6, "power mode", kPowerModes},
}};

constexpr bool codesAscend()
{
    for (size_t i = 1; i < kFeatures.size(); i++) {
        if (kFeatures[i - 1].code >= kFeatures[i].code) {
            return false;
        }
    }
    return true;
}
static_assert(codesAscend(), "the feature table is listed by ascending code, each code once");

}  // namespace

std::span<const FeatureName> featureNames()
{
    return kFeatures;
}

const FeatureName* featureByName(std::string_view name)
{
    for (const FeatureName& feature : kFeatures) {
        if (feature.name == name) {
            return &feature;
        }
    }
    return nullptr;
}

const FeatureName* featureByCode(uint8_t code)
{
    for (const FeatureName& feature : kFeatures) {
        if (feature.code == code) {
            return &feature;
        }
    }
    return nullptr;
}

std::optional<uint16_t> namedValue(uint8_t code, std::string_view name)
{
    const FeatureName* feature = featureByCode(code);
    if (feature == nullptr) {
        return std::nullopt;
    }
    for (const NamedValue& value : feature->values) {
        if (value.name == name) {
            return value.value;
        }
    }
    return std::nullopt;
}
