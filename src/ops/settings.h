// Changing a monitor's settings, as `set`, its steps and percentages, and
// `restore` do, for the command line and the library alike: the
// transactions and what they came to, with nothing printed.
#pragma once

#include <array>
#include <cstdint>

#include "ddc/link.h"
#include "mccs/restorable.h"
#include "ops/saved_document.h"
#include "ops/setting_change.h"

// The set transaction, and with `verify` the read back; true when the
// monitor took the value.
// An action (`actsOnce`) is sent once and never read back.
bool writeSetting(const DdcLink& link, bool verify, uint8_t vcp, uint16_t value);
bool writeSetting(const DdcLink& link, bool verify, uint8_t vcp, uint16_t value, bool actsOnce);

// What a change that starts from the current value came to.
struct ChangeOutcome {
    bool read = false;         // the current value was read: `value` is meaningful
    bool unsupported = false;  // the monitor answered that it has no such code
    bool ok = false;           // and the new one written
    uint16_t value = 0;
};

// One get transaction, then one set transaction of the value `change`
// makes of the current one; nothing is written when the read fails.
// A percentage, alone or as a step, is of `calibration`'s range when it is
// not null.
ChangeOutcome changeSetting(const DdcLink& link, bool verify, uint8_t vcp,
                            const SettingChange& change, const Calibration* calibration = nullptr);

// What restoring one feature came to; `absent` for one the document does
// not name.
enum class RestoreOutcome : uint8_t { absent, unchanged, changed, unsupported, failed };

// Restores every feature `settings` names, in restore order: each is read,
// and written only when the monitor holds another value (one above the
// monitor's maximum is written as the maximum). Outcomes by restore order.
// Codes a model treats as presets, not levels: their maximum is no bound,
// so a saved value above it is written as it is.
struct UnboundedCodes {
    std::array<uint8_t, kRestorableCount + kMaxOwnRestorable> codes{};
    size_t count = 0;
    [[nodiscard]] bool has(uint8_t code) const
    {
        for (size_t i = 0; i < count; i++) {
            if (codes[i] == code) {
                return true;
            }
        }
        return false;
    }
};

// Outcomes by restore order, then the features of one's own by their place
// in `own`, which are restored after the built-in ones.
// The restorable codes (built-in, then `own`) whose maximum a quirk of the
// display makes no bound.
UnboundedCodes unboundedCodesFor(const Configuration& config, const DisplayKey& display,
                                 const OwnRestorable& own = OwnRestorable{});

using RestoreOutcomes = std::array<RestoreOutcome, kRestorableCount + kMaxOwnRestorable>;
RestoreOutcomes restoreSettings(const DdcLink& link, bool verify, const SavedSettings& settings,
                                const UnboundedCodes& unbounded = UnboundedCodes{},
                                const OwnRestorable& own = OwnRestorable{});

// "unchanged", "changed", "unsupported" or "failed", as the restore document
// says.
const char* restoreOutcomeText(RestoreOutcome outcome);
