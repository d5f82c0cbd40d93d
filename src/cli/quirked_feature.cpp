#include "cli/quirked_feature.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "cli/diagnostics.h"
#include "config/display_quirks.h"
#include "config/display_selector.h"
#include "ops/capabilities_read.h"

QuirkedFeature quirkFeature(const Session& session, const DdcLink& link,
                            const DisplayRecord& display, uint8_t feature)
{
    QuirkedFeature quirked{link, feature};
    FeatureRoute route = routeFeature(session.config, displayKeyOf(display), feature);
    if (route.quirk == nullptr) {
        return quirked;
    }
    quirked.code = route.code;
    quirked.link.sourceAddress = route.sourceAddress;
    std::array<char, 64> what{};
    std::snprintf(what.data(), what.size(), "0x%02X sent as 0x%02X from source address 0x%02X",
                  static_cast<unsigned>(feature), static_cast<unsigned>(route.code),
                  static_cast<unsigned>(route.sourceAddress));
    showQuirk(session, *route.quirk, display.id.data(), what.data());
    return quirked;
}

size_t quirkedCapabilities(const Session& session, const DdcLink& link,
                           const DisplayRecord& display, CapabilitiesText* text)
{
    const Quirk* quirk = capabilitiesQuirkOf(session.config, displayKeyOf(display));
    if (quirk == nullptr) {
        return readCachedCapabilities(link, display, session.options.refresh, text);
    }
    showQuirk(session, *quirk, display.id.data(), "capabilities string replaced");
    // Both are bounded; the quirk's is the smaller, so it always fits whole.
    static_assert(kConfigCapabilitiesCapacity <= std::tuple_size_v<CapabilitiesText>);
    std::snprintf(text->data(), text->size(), "%s", quirk->capabilities.data());
    return std::strlen(text->data());
}

UnboundedCodes unboundedCodesOf(const Session& session, const DisplayRecord& display,
                                const OwnRestorable& own)
{
    UnboundedCodes codes = unboundedCodesFor(session.config, displayKeyOf(display), own);
    for (size_t i = 0; i < codes.count; i++) {
        const Quirk* quirk =
            unboundedQuirkOf(session.config, displayKeyOf(display), codes.codes[i]);
        std::array<char, 48> what{};
        std::snprintf(what.data(), what.size(), "0x%02X restored past its maximum",
                      static_cast<unsigned>(codes.codes[i]));
        showQuirk(session, *quirk, display.id.data(), what.data());
    }
    return codes;
}
