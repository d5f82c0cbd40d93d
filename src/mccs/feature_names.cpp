#include "mccs/feature_names.h"

#include <array>

namespace {

constexpr std::array<NamedValue, 2> kNewcontrolValues{{
    {"no-change", 0x01},
    {"changed", 0x02},
}};

constexpr std::array<NamedValue, 13> kPresetValues{{
    {"srgb", 0x01},
    {"native", 0x02},
    {"4000k", 0x03},
    {"5000k", 0x04},
    {"6500k", 0x05},
    {"7500k", 0x06},
    {"8200k", 0x07},
    {"9300k", 0x08},
    {"10000k", 0x09},
    {"11500k", 0x0A},
    {"user-1", 0x0B},
    {"user-2", 0x0C},
    {"user-3", 0x0D},
}};

constexpr std::array<NamedValue, 18> kInputValues{{
    {"vga-1", 0x01},
    {"vga-2", 0x02},
    {"dvi-1", 0x03},
    {"dvi-2", 0x04},
    {"composite-1", 0x05},
    {"composite-2", 0x06},
    {"s-video-1", 0x07},
    {"s-video-2", 0x08},
    {"tuner-1", 0x09},
    {"tuner-2", 0x0A},
    {"tuner-3", 0x0B},
    {"component-1", 0x0C},
    {"component-2", 0x0D},
    {"component-3", 0x0E},
    {"displayport-1", 0x0F},
    {"displayport-2", 0x10},
    {"hdmi-1", 0x11},
    {"hdmi-2", 0x12},
}};

constexpr std::array<NamedValue, 4> kSpeakerValues{{
    {"front", 0x00},
    {"side", 0x01},
    {"rear", 0x02},
    {"center-subwoofer", 0x03},
}};

constexpr std::array<NamedValue, 2> kEnableValues{{
    {"disabled", 0x01},
    {"enabled", 0x02},
}};

constexpr std::array<NamedValue, 2> kMirrorValues{{
    {"normal", 0x00},
    {"mirrored", 0x01},
}};

constexpr std::array<NamedValue, 10> kScalingValues{{
    {"no-scaling", 0x01},
    {"max-image", 0x02},
    {"max-vertical", 0x03},
    {"max-horizontal", 0x04},
    {"max-vertical-distorted", 0x05},
    {"max-horizontal-distorted", 0x06},
    {"linear-horizontal", 0x07},
    {"linear-fill", 0x08},
    {"squeeze", 0x09},
    {"non-linear", 0x0A},
}};

constexpr std::array<NamedValue, 4> kMuteValues{{
    {"on", 0x01},
    {"off", 0x02},
    {"blank-screen", 0x03},
    {"unblank-screen", 0x04},
}};

constexpr std::array<NamedValue, 5> kOrientationValues{{
    {"0-degrees", 0x01},
    {"90-degrees", 0x02},
    {"180-degrees", 0x03},
    {"270-degrees", 0x04},
    {"not-applicable", 0xFF},
}};

constexpr std::array<NamedValue, 2> kSettingsValues{{
    {"store", 0x01},
    {"restore-factory", 0x02},
}};

constexpr std::array<NamedValue, 9> kLayoutValues{{
    {"undefined", 0x00},
    {"rgb-vertical", 0x01},
    {"rgb-horizontal", 0x02},
    {"bgr-vertical", 0x03},
    {"bgr-horizontal", 0x04},
    {"quad-red-top", 0x05},
    {"quad-red-bottom", 0x06},
    {"delta", 0x07},
    {"mosaic", 0x08},
}};

constexpr std::array<NamedValue, 9> kTechnologyValues{{
    {"crt-shadow-mask", 0x01},
    {"crt-aperture-grill", 0x02},
    {"lcd", 0x03},
    {"lcos", 0x04},
    {"plasma", 0x05},
    {"oled", 0x06},
    {"electroluminescent", 0x07},
    {"dynamic-mem", 0x08},
    {"static-mem", 0x09},
}};

constexpr std::array<NamedValue, 3> kOsdValues{{
    {"osd-disabled", 0x01},
    {"osd-enabled", 0x02},
    {"buttons-disabled", 0x03},
}};

constexpr std::array<NamedValue, 37> kLanguageValues{{
    {"chinese-traditional", 0x01},
    {"english", 0x02},
    {"french", 0x03},
    {"german", 0x04},
    {"italian", 0x05},
    {"japanese", 0x06},
    {"korean", 0x07},
    {"portuguese", 0x08},
    {"russian", 0x09},
    {"spanish", 0x0A},
    {"swedish", 0x0B},
    {"turkish", 0x0C},
    {"chinese-simplified", 0x0D},
    {"portuguese-brazil", 0x0E},
    {"arabic", 0x0F},
    {"bulgarian", 0x10},
    {"croatian", 0x11},
    {"czech", 0x12},
    {"danish", 0x13},
    {"dutch", 0x14},
    {"estonian", 0x15},
    {"finnish", 0x16},
    {"greek", 0x17},
    {"hebrew", 0x18},
    {"hindi", 0x19},
    {"hungarian", 0x1A},
    {"latvian", 0x1B},
    {"lithuanian", 0x1C},
    {"norwegian", 0x1D},
    {"polish", 0x1E},
    {"romanian", 0x1F},
    {"serbian", 0x20},
    {"slovak", 0x21},
    {"slovenian", 0x22},
    {"thai", 0x23},
    {"ukrainian", 0x24},
    {"vietnamese", 0x25},
}};

constexpr std::array<NamedValue, 5> kPowerValues{{
    {"on", 0x01},
    {"standby", 0x02},
    {"suspend", 0x03},
    {"off", 0x04},
    {"power-off", 0x05},
}};

constexpr std::array<NamedValue, 4> kScanValues{{
    {"normal", 0x00},
    {"underscan", 0x01},
    {"overscan", 0x02},
    {"widescreen", 0x03},
}};

constexpr std::array<NamedValue, 12> kDisplaymodeValues{{
    {"standard", 0x00},
    {"productivity", 0x01},
    {"mixed", 0x02},
    {"movie", 0x03},
    {"user-defined", 0x04},
    {"games", 0x05},
    {"sports", 0x06},
    {"professional", 0x07},
    {"standard-medium", 0x08},
    {"standard-high", 0x09},
    {"demonstration", 0x0A},
    {"dynamic-contrast", 0xF0},
}};

constexpr std::array<FeatureName, 151> kFeatures{{
    {"degauss", 0x01, FeatureKind::action, "degauss", {}},
    {"new-control-value", 0x02, FeatureKind::nonContinuous, "whether a control changed",
     kNewcontrolValues},
    {"soft-controls", 0x03, FeatureKind::nonContinuous, "soft control buttons", {}},
    {"restore-factory-defaults", 0x04, FeatureKind::action, "restore all factory defaults", {}},
    {"restore-factory-brightness-contrast",
     0x05,
     FeatureKind::action,
     "restore factory brightness and contrast",
     {}},
    {"restore-factory-geometry", 0x06, FeatureKind::action, "restore factory geometry", {}},
    {"restore-factory-color", 0x08, FeatureKind::action, "restore factory colour", {}},
    {"restore-factory-tv-defaults", 0x0A, FeatureKind::action, "restore factory TV defaults", {}},
    {"color-temperature-increment",
     0x0B,
     FeatureKind::nonContinuous,
     "colour temperature step, in kelvin",
     {}},
    {"color-temperature-request",
     0x0C,
     FeatureKind::continuous,
     "colour temperature, in steps",
     {}},
    {"clock", 0x0E, FeatureKind::continuous, "pixel clock", {}},
    {"brightness", 0x10, FeatureKind::continuous, "luminance of the image", {}},
    {"flesh-tone-enhancement", 0x11, FeatureKind::nonContinuous, "flesh tone enhancement", {}},
    {"contrast", 0x12, FeatureKind::continuous, "contrast of the image", {}},
    {"backlight-control", 0x13, FeatureKind::continuous, "backlight level", {}},
    {"color-preset", 0x14, FeatureKind::nonContinuous, "colour temperature preset", kPresetValues},
    {"red-gain", 0x16, FeatureKind::continuous, "video gain of red", {}},
    {"user-color-vision-compensation",
     0x17,
     FeatureKind::continuous,
     "colour vision compensation",
     {}},
    {"green-gain", 0x18, FeatureKind::continuous, "video gain of green", {}},
    {"blue-gain", 0x1A, FeatureKind::continuous, "video gain of blue", {}},
    {"focus", 0x1C, FeatureKind::continuous, "focus", {}},
    {"auto-setup", 0x1E, FeatureKind::nonContinuous, "automatic image setup", {}},
    {"auto-color-setup", 0x1F, FeatureKind::nonContinuous, "automatic colour setup", {}},
    {"horizontal-position", 0x20, FeatureKind::continuous, "horizontal position", {}},
    {"horizontal-size", 0x22, FeatureKind::continuous, "horizontal size", {}},
    {"horizontal-pincushion", 0x24, FeatureKind::continuous, "horizontal pincushion", {}},
    {"horizontal-pincushion-balance",
     0x26,
     FeatureKind::continuous,
     "horizontal pincushion balance",
     {}},
    {"horizontal-convergence-red-blue",
     0x28,
     FeatureKind::continuous,
     "horizontal convergence, red and blue",
     {}},
    {"horizontal-convergence-magenta-green",
     0x29,
     FeatureKind::continuous,
     "horizontal convergence, magenta and green",
     {}},
    {"horizontal-linearity", 0x2A, FeatureKind::continuous, "horizontal linearity", {}},
    {"horizontal-linearity-balance",
     0x2C,
     FeatureKind::continuous,
     "horizontal linearity balance",
     {}},
    {"gray-scale-expansion", 0x2E, FeatureKind::nonContinuous, "grey scale expansion", {}},
    {"vertical-position", 0x30, FeatureKind::continuous, "vertical position", {}},
    {"vertical-size", 0x32, FeatureKind::continuous, "vertical size", {}},
    {"vertical-pincushion", 0x34, FeatureKind::continuous, "vertical pincushion", {}},
    {"vertical-pincushion-balance",
     0x36,
     FeatureKind::continuous,
     "vertical pincushion balance",
     {}},
    {"vertical-convergence-red-blue",
     0x38,
     FeatureKind::continuous,
     "vertical convergence, red and blue",
     {}},
    {"vertical-convergence-magenta-green",
     0x39,
     FeatureKind::continuous,
     "vertical convergence, magenta and green",
     {}},
    {"vertical-linearity", 0x3A, FeatureKind::continuous, "vertical linearity", {}},
    {"vertical-linearity-balance", 0x3C, FeatureKind::continuous, "vertical linearity balance", {}},
    {"clock-phase", 0x3E, FeatureKind::continuous, "pixel clock phase", {}},
    {"horizontal-parallelogram", 0x40, FeatureKind::continuous, "horizontal parallelogram", {}},
    {"vertical-parallelogram", 0x41, FeatureKind::continuous, "vertical parallelogram", {}},
    {"horizontal-keystone", 0x42, FeatureKind::continuous, "horizontal keystone", {}},
    {"vertical-keystone", 0x43, FeatureKind::continuous, "vertical keystone", {}},
    {"rotation", 0x44, FeatureKind::continuous, "rotation", {}},
    {"top-corner-flare", 0x46, FeatureKind::continuous, "top corner flare", {}},
    {"top-corner-hook", 0x48, FeatureKind::continuous, "top corner hook", {}},
    {"bottom-corner-flare", 0x4A, FeatureKind::continuous, "bottom corner flare", {}},
    {"bottom-corner-hook", 0x4C, FeatureKind::continuous, "bottom corner hook", {}},
    {"active-control", 0x52, FeatureKind::nonContinuous, "code of the last control changed", {}},
    {"performance-preservation", 0x54, FeatureKind::nonContinuous, "performance preservation", {}},
    {"horizontal-moire", 0x56, FeatureKind::continuous, "horizontal moire cancellation", {}},
    {"vertical-moire", 0x58, FeatureKind::continuous, "vertical moire cancellation", {}},
    {"red-saturation", 0x59, FeatureKind::continuous, "six-axis saturation of red", {}},
    {"yellow-saturation", 0x5A, FeatureKind::continuous, "six-axis saturation of yellow", {}},
    {"green-saturation", 0x5B, FeatureKind::continuous, "six-axis saturation of green", {}},
    {"cyan-saturation", 0x5C, FeatureKind::continuous, "six-axis saturation of cyan", {}},
    {"blue-saturation", 0x5D, FeatureKind::continuous, "six-axis saturation of blue", {}},
    {"magenta-saturation", 0x5E, FeatureKind::continuous, "six-axis saturation of magenta", {}},
    {"input", 0x60, FeatureKind::nonContinuous, "input source", kInputValues},
    {"volume", 0x62, FeatureKind::continuous, "audio speaker volume", {}},
    {"speaker-select", 0x63, FeatureKind::nonContinuous, "speaker pair selected", kSpeakerValues},
    {"microphone-volume", 0x64, FeatureKind::continuous, "audio microphone volume", {}},
    {"ambient-light-sensor", 0x66, FeatureKind::nonContinuous, "ambient light sensor",
     kEnableValues},
    {"white-backlight-level", 0x6B, FeatureKind::continuous, "backlight level of white", {}},
    {"red-black-level", 0x6C, FeatureKind::continuous, "video black level of red", {}},
    {"red-backlight-level", 0x6D, FeatureKind::continuous, "backlight level of red", {}},
    {"green-black-level", 0x6E, FeatureKind::continuous, "video black level of green", {}},
    {"green-backlight-level", 0x6F, FeatureKind::continuous, "backlight level of green", {}},
    {"blue-black-level", 0x70, FeatureKind::continuous, "video black level of blue", {}},
    {"blue-backlight-level", 0x71, FeatureKind::continuous, "backlight level of blue", {}},
    {"gamma", 0x72, FeatureKind::nonContinuous, "gamma", {}},
    {"lut-size", 0x73, FeatureKind::table, "size of the colour lookup tables", {}},
    {"single-point-lut-operation", 0x74, FeatureKind::table, "one lookup table entry", {}},
    {"block-lut-operation", 0x75, FeatureKind::table, "a block of lookup table entries", {}},
    {"remote-procedure-call", 0x76, FeatureKind::table, "remote procedure call", {}},
    {"display-identification-operation",
     0x78,
     FeatureKind::table,
     "display identification data",
     {}},
    {"adjust-focal-plane", 0x7A, FeatureKind::continuous, "focal plane of the projection", {}},
    {"adjust-zoom", 0x7C, FeatureKind::continuous, "zoom of the projection", {}},
    {"trapezoid", 0x7E, FeatureKind::continuous, "trapezoid correction", {}},
    {"keystone", 0x80, FeatureKind::continuous, "keystone correction", {}},
    {"horizontal-mirror", 0x82, FeatureKind::nonContinuous, "image flipped left to right",
     kMirrorValues},
    {"vertical-mirror", 0x84, FeatureKind::nonContinuous, "image flipped top to bottom",
     kMirrorValues},
    {"display-scaling", 0x86, FeatureKind::nonContinuous, "how the image is scaled",
     kScalingValues},
    {"sharpness", 0x87, FeatureKind::continuous, "sharpness of the image", {}},
    {"velocity-scan-modulation", 0x88, FeatureKind::continuous, "velocity scan modulation", {}},
    {"color-saturation", 0x8A, FeatureKind::continuous, "colour saturation", {}},
    {"tv-channel-up-down", 0x8B, FeatureKind::action, "TV channel up or down", {}},
    {"tv-sharpness", 0x8C, FeatureKind::continuous, "TV sharpness", {}},
    {"mute", 0x8D, FeatureKind::nonContinuous, "audio mute and screen blank", kMuteValues},
    {"tv-contrast", 0x8E, FeatureKind::continuous, "TV contrast", {}},
    {"audio-treble", 0x8F, FeatureKind::continuous, "audio treble", {}},
    {"hue", 0x90, FeatureKind::continuous, "hue", {}},
    {"audio-bass", 0x91, FeatureKind::continuous, "audio bass", {}},
    {"tv-black-level", 0x92, FeatureKind::continuous, "TV black level, luminance", {}},
    {"audio-balance", 0x93, FeatureKind::continuous, "audio balance, left and right", {}},
    {"audio-processor-mode", 0x94, FeatureKind::nonContinuous, "audio processor mode", {}},
    {"window-top-left-x", 0x95, FeatureKind::continuous, "window position, top left x", {}},
    {"window-top-left-y", 0x96, FeatureKind::continuous, "window position, top left y", {}},
    {"window-bottom-right-x", 0x97, FeatureKind::continuous, "window position, bottom right x", {}},
    {"window-bottom-right-y", 0x98, FeatureKind::continuous, "window position, bottom right y", {}},
    {"window-control", 0x99, FeatureKind::nonContinuous, "window control on or off", {}},
    {"window-background", 0x9A, FeatureKind::continuous, "window background", {}},
    {"red-hue", 0x9B, FeatureKind::continuous, "six-axis hue of red", {}},
    {"yellow-hue", 0x9C, FeatureKind::continuous, "six-axis hue of yellow", {}},
    {"green-hue", 0x9D, FeatureKind::continuous, "six-axis hue of green", {}},
    {"cyan-hue", 0x9E, FeatureKind::continuous, "six-axis hue of cyan", {}},
    {"blue-hue", 0x9F, FeatureKind::continuous, "six-axis hue of blue", {}},
    {"magenta-hue", 0xA0, FeatureKind::continuous, "six-axis hue of magenta", {}},
    {"auto-setup-on-off", 0xA2, FeatureKind::action, "automatic setup on or off", {}},
    {"window-mask-control", 0xA4, FeatureKind::table, "window mask control", {}},
    {"window-select", 0xA5, FeatureKind::nonContinuous, "window selected", {}},
    {"screen-orientation", 0xAA, FeatureKind::nonContinuous, "screen orientation",
     kOrientationValues},
    {"horizontal-frequency", 0xAC, FeatureKind::continuous, "horizontal frequency", {}},
    {"vertical-frequency", 0xAE, FeatureKind::continuous, "vertical frequency", {}},
    {"settings", 0xB0, FeatureKind::action, "store or restore the settings", kSettingsValues},
    {"sub-pixel-layout", 0xB2, FeatureKind::nonContinuous, "flat panel sub-pixel layout",
     kLayoutValues},
    {"source-timing-mode", 0xB4, FeatureKind::table, "source timing mode", {}},
    {"source-color-coding", 0xB5, FeatureKind::nonContinuous, "source colour coding", {}},
    {"display-technology-type", 0xB6, FeatureKind::nonContinuous, "display technology",
     kTechnologyValues},
    {"monitor-status", 0xB7, FeatureKind::nonContinuous, "monitor status", {}},
    {"packet-count", 0xB8, FeatureKind::continuous, "packet count", {}},
    {"monitor-x-origin", 0xB9, FeatureKind::continuous, "monitor x origin", {}},
    {"monitor-y-origin", 0xBA, FeatureKind::continuous, "monitor y origin", {}},
    {"header-error-count", 0xBB, FeatureKind::continuous, "header error count", {}},
    {"body-crc-error-count", 0xBC, FeatureKind::continuous, "body CRC error count", {}},
    {"client-id", 0xBD, FeatureKind::continuous, "client id", {}},
    {"link-control", 0xBE, FeatureKind::nonContinuous, "link control", {}},
    {"display-usage-time", 0xC0, FeatureKind::continuous, "hours the display has been on", {}},
    {"display-descriptor-length",
     0xC2,
     FeatureKind::continuous,
     "length of the display descriptor",
     {}},
    {"transmit-display-descriptor", 0xC3, FeatureKind::table, "display descriptor", {}},
    {"enable-display-descriptor",
     0xC4,
     FeatureKind::nonContinuous,
     "show the display descriptor",
     {}},
    {"application-enable-key", 0xC6, FeatureKind::nonContinuous, "application enable key", {}},
    {"display-controller-type",
     0xC8,
     FeatureKind::nonContinuous,
     "display controller maker and type",
     {}},
    {"display-firmware-level", 0xC9, FeatureKind::continuous, "firmware version", {}},
    {"osd-button-control", 0xCA, FeatureKind::nonContinuous, "on-screen display and buttons",
     kOsdValues},
    {"osd-language", 0xCC, FeatureKind::nonContinuous, "language of the on-screen display",
     kLanguageValues},
    {"status-indicators", 0xCD, FeatureKind::nonContinuous, "status indicators", {}},
    {"auxiliary-display-size", 0xCE, FeatureKind::nonContinuous, "auxiliary display size", {}},
    {"auxiliary-display-data", 0xCF, FeatureKind::table, "auxiliary display data", {}},
    {"output-select", 0xD0, FeatureKind::nonContinuous, "video output", {}},
    {"asset-tag", 0xD2, FeatureKind::table, "asset tag", {}},
    {"stereo-video-mode", 0xD4, FeatureKind::nonContinuous, "stereo video mode", {}},
    {"power", 0xD6, FeatureKind::nonContinuous, "power mode", kPowerValues},
    {"auxiliary-power-output", 0xD7, FeatureKind::nonContinuous, "auxiliary power output",
     kEnableValues},
    {"scan-mode", 0xDA, FeatureKind::nonContinuous, "scan mode", kScanValues},
    {"image-mode", 0xDB, FeatureKind::nonContinuous, "image mode", {}},
    {"display-mode", 0xDC, FeatureKind::nonContinuous, "display application mode",
     kDisplaymodeValues},
    {"scratch-pad", 0xDE, FeatureKind::nonContinuous, "scratch pad", {}},
    {"vcp-version", 0xDF, FeatureKind::nonContinuous, "MCCS version the display implements", {}},
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

constexpr char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); i++) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::span<const FeatureName> featureNames()
{
    return kFeatures;
}

const FeatureName* featureByName(std::string_view name)
{
    for (const FeatureName& feature : kFeatures) {
        if (sameNameIgnoringCase(feature.name, name)) {
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
        if (sameNameIgnoringCase(value.name, name)) {
            return value.value;
        }
    }
    return std::nullopt;
}

std::string_view valueName(uint8_t code, uint16_t value)
{
    const FeatureName* feature = featureByCode(code);
    if (feature == nullptr) {
        return {};
    }
    for (const NamedValue& named : feature->values) {
        if (named.value == value) {
            return named.name;
        }
    }
    return {};
}

bool takesSteps(uint8_t code)
{
    const FeatureName* feature = featureByCode(code);
    return feature == nullptr || feature->kind == FeatureKind::continuous;
}

bool isActionCode(uint8_t code)
{
    const FeatureName* feature = featureByCode(code);
    return feature != nullptr && feature->kind == FeatureKind::action;
}
