// A feature as a display's quirks have it go over the bus: the code and the
// source address its requests carry. Each quirk applied is shown under
// DDC_DEBUG.
#pragma once

#include <cstdint>

#include "cli/session.h"
#include "ddc/capabilities.h"
#include "ddc/link.h"
#include "discovery/display_table.h"
#include "ops/settings.h"

struct QuirkedFeature {
    DdcLink link;  // the display's link, from the quirk's source address
    uint8_t code;  // the code sent for the feature
};

QuirkedFeature quirkFeature(const Session& session, const DdcLink& link,
                            const DisplayRecord& display, uint8_t feature);

// The capabilities string `features` and `save` decode: the one a quirk
// gives the display in place of its broken own, with no traffic, or the
// cached or read one. Its length, as readCachedCapabilities gives it.
size_t quirkedCapabilities(const Session& session, const DdcLink& link,
                           const DisplayRecord& display, CapabilitiesText* text);

// The codes whose maximum a quirk makes no bound on the display, each shown
// under DDC_DEBUG as restore meets it.
UnboundedCodes unboundedCodesOf(const Session& session, const DisplayRecord& display,
                                const OwnRestorable& own);
