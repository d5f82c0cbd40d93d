#include <array>
#include <cstring>

#include "config/configuration.h"

namespace {

void copyName(ConfigName* field, const char* text)
{
    std::strncpy(field->data(), text, field->size() - 1);
}

// Some monitors switch input only through a manufacturer code, and only
// when the request comes from source address 0x50; their 0x60 is listed
// but does nothing. The values are those their users report.
void addManufacturerInput(Configuration* config)
{
    Quirk& quirk = config->quirks[config->quirkCount++];
    quirk = Quirk{};
    copyName(&quirk.name, "lg-input");
    quirk.feature = 0x60;
    quirk.hasFeature = true;
    quirk.remaps = true;
    quirk.code = 0xF4;
    quirk.sourceAddress = 0x50;
    constexpr std::array<std::pair<const char*, uint16_t>, 4> kValues{{
        {"hdmi-1", 0x90},
        {"hdmi-2", 0x91},
        {"displayport-1", 0xD0},
        {"usb-c", 0xD1},
    }};
    for (const auto& [name, value] : kValues) {
        ConfigValue& entry = quirk.values[quirk.valueCount++];
        copyName(&entry.name, name);
        entry.value = value;
    }
}

}  // namespace

void addBuiltInQuirks(Configuration* config)
{
    addManufacturerInput(config);
}
