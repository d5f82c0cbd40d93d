#include "mccs/restorable.h"

#include <array>

namespace {

constexpr std::array<RestorableFeature, kRestorableCount> kRestorable{{
    {0x14, "color preset"},
    {0xDC, "display mode"},
    {0x10, "brightness"},
    {0x12, "contrast"},
    {0x16, "red gain"},
    {0x18, "green gain"},
    {0x1A, "blue gain"},
    {0x6C, "red black level"},
    {0x6E, "green black level"},
    {0x70, "blue black level"},
    {0x62, "audio speaker volume"},
    {0x87, "sharpness"},
    {0x8D, "audio mute"},
}};

constexpr bool eachCodeOnce()
{
    for (size_t i = 0; i < kRestorable.size(); i++) {
        for (size_t j = i + 1; j < kRestorable.size(); j++) {
            if (kRestorable[i].code == kRestorable[j].code) {
                return false;
            }
        }
    }
    return true;
}
static_assert(eachCodeOnce(), "each restorable code is listed once");

constexpr std::array<RestorableFeature, kRestorableCount> sortedByCode()
{
    std::array<RestorableFeature, kRestorableCount> sorted = kRestorable;
    for (size_t i = 1; i < sorted.size(); i++) {
        for (size_t j = i; j > 0 && sorted[j - 1].code > sorted[j].code; j--) {
            RestorableFeature moved = sorted[j];
            sorted[j] = sorted[j - 1];
            sorted[j - 1] = moved;
        }
    }
    return sorted;
}

constexpr std::array<RestorableFeature, kRestorableCount> kRestorableByCode = sortedByCode();

}  // namespace

std::span<const RestorableFeature> restorableFeatures()
{
    return kRestorable;
}

std::span<const RestorableFeature> restorableByCode()
{
    return kRestorableByCode;
}

std::optional<size_t> restoreIndex(uint8_t code)
{
    for (size_t i = 0; i < kRestorable.size(); i++) {
        if (kRestorable[i].code == code) {
            return i;
        }
    }
    return std::nullopt;
}
