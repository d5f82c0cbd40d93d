// The documents of `features`, `save` and `restore`, written into a
// TextOut: the command line prints them, the library hands them over.
// Each is one JSON object without a line feed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "config/config_lookup.h"
#include "ddc/link.h"
#include "discovery/display_table.h"
#include "mccs/capabilities_parse.h"
#include "mccs/restorable.h"
#include "ops/settings.h"
#include "ops/text_out.h"

// Room for any of these documents: a capabilities string's text escaped
// several times over and a member per listed code.
inline constexpr size_t kDocumentCapacity = size_t{128} * 1024;
using DocumentText = std::array<char, kDocumentCapacity>;

// Whose names a features document gives: the configuration's for one
// display (its own features and its quirks' value names), or, with no
// configuration, the table's alone.
struct FeatureNaming {
    const Configuration* config = nullptr;
    DisplayKey display;
};

// {"model":…,"type":…,"mccsVersion":…,"commands":[…],"vcp":[…]}; with a
// configuration, a code a quirk changes on the display carries
// "quirk":"<name>".
void writeFeaturesDocument(TextOut* out, const Capabilities& capabilities,
                           const FeatureNaming& naming = FeatureNaming{});

// What `save` read, in ascending code order.
struct SavedValues {
    // By restorableByCode(), then the features of one's own by their place
    // in OwnRestorable.
    std::array<std::optional<uint16_t>, kRestorableCount + kMaxOwnRestorable> values;
    size_t attempted = 0;
    size_t read = 0;
    // A document with none of the settings it tried to keep would pass for
    // a good one and, restored, bring nothing back.
    [[nodiscard]] bool usable() const { return attempted == 0 || read > 0; }
};

// Reads each restorable feature the capabilities list, or every one when
// they list none; a read that fails (an unsupported code fails too) leaves
// the feature out.
SavedValues readSavedValues(const DdcLink& link, const Capabilities& capabilities,
                            const OwnRestorable& own = OwnRestorable{});

// {"id":…,"name":…,"model":…,"features":{"0x10":60,…}}
void writeSavedDocument(TextOut* out, const DisplayRecord& display,
                        const Capabilities& capabilities, const SavedValues& saved,
                        const OwnRestorable& own = OwnRestorable{});

// Whether no feature failed.
bool restoreSucceeded(const RestoreOutcomes& outcomes);

// {"ok":B,"features":{"0x10":"changed",…}}, in ascending code order.
void writeRestoreDocument(TextOut* out, const RestoreOutcomes& outcomes,
                          const OwnRestorable& own = OwnRestorable{});
