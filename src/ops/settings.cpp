#include "ops/settings.h"

#include <algorithm>
#include <optional>
#include <span>

#include "config/display_quirks.h"
#include "ddc/change_journal.h"
#include "ddc/display_lock.h"
#include "ddc/vcp.h"
#include "mccs/feature_names.h"

namespace {

// Writes the value and, once the monitor took it (and, with `verify`,
// holds it), notes it for the display's journal, which the watches of any
// process read. An action is sent once, and leaves nothing to read back or
// to note.
bool writeAndRecord(const DdcLink& link, bool verify, uint8_t vcp, uint16_t value,
                    const uint16_t* maximum, bool actsOnce)
{
    if (actsOnce) {
        return asWriteVCPAction(link, vcp, value);
    }
    // Without verify, the entry is written in the write's own hold of the
    // display's lock, so a watch that looks at the display next finds the
    // entry first; the read back is made outside the lock (vcp.h).
    std::optional<DisplayLockGuard> writing;
    if (!verify) {
        writing.emplace(link);
    }
    bool ok = verify ? asWriteVCPVerified(link, vcp, value) : asWriteVCP(link, vcp, value);
    if (ok) {
        DisplayLockGuard hold(link);
        noteChange(link, vcp, value, maximum);
        if (link.lock != nullptr && !link.lock->changes.deferred) {
            publishChanges(link);
        }
    }
    return ok;
}

uint16_t asMaximum(int32_t maximum)
{
    return static_cast<uint16_t>(std::clamp<int32_t>(maximum, 0, UINT16_MAX));
}

}  // namespace

bool writeSetting(const DdcLink& link, bool verify, uint8_t vcp, uint16_t value)
{
    return writeAndRecord(link, verify, vcp, value, nullptr, isActionCode(vcp));
}

bool writeSetting(const DdcLink& link, bool verify, uint8_t vcp, uint16_t value, bool actsOnce)
{
    return writeAndRecord(link, verify, vcp, value, nullptr, actsOnce);
}

ChangeOutcome changeSetting(const DdcLink& link, bool verify, uint8_t vcp,
                            const SettingChange& change, const Calibration* calibration)
{
    ChangeOutcome outcome;
    int32_t current = 0;
    int32_t maximum = 0;
    VcpRead read = readVCPFeature(link, vcp, &current, &maximum);
    if (read != VcpRead::value) {
        outcome.unsupported = read == VcpRead::unsupported;
        return outcome;
    }
    outcome.read = true;
    outcome.value = change.target(current, maximum, calibration);
    uint16_t known = asMaximum(maximum);
    outcome.ok = writeAndRecord(link, verify, vcp, outcome.value, &known, isActionCode(vcp));
    return outcome;
}

namespace {

RestoreOutcome restoreFeature(const DdcLink& link, bool verify, uint8_t code, uint16_t value,
                              bool bounded)
{
    int32_t current = 0;
    int32_t maximum = 0;
    switch (readVCPFeature(link, code, &current, &maximum)) {
        case VcpRead::value: break;
        // A monitor without the feature has nothing to put back.
        case VcpRead::unsupported: return RestoreOutcome::unsupported;
        case VcpRead::failed: return RestoreOutcome::failed;
    }
    auto target = bounded ? static_cast<uint16_t>(std::min<int32_t>(value, maximum)) : value;
    if (current == target) {
        return RestoreOutcome::unchanged;
    }
    uint16_t known = asMaximum(maximum);
    return writeAndRecord(link, verify, code, target, &known, isActionCode(code))
               ? RestoreOutcome::changed
               : RestoreOutcome::failed;
}

}  // namespace

UnboundedCodes unboundedCodesFor(const Configuration& config, const DisplayKey& display,
                                 const OwnRestorable& own)
{
    UnboundedCodes codes;
    auto consider = [&](uint8_t code) {
        if (unboundedQuirkOf(config, display, code) != nullptr &&
            codes.count < codes.codes.size()) {
            codes.codes[codes.count++] = code;
        }
    };
    for (const RestorableFeature& feature : restorableFeatures()) {
        consider(feature.code);
    }
    for (size_t i = 0; i < own.count; i++) {
        consider(own.codes[i]);
    }
    return codes;
}

RestoreOutcomes restoreSettings(const DdcLink& link, bool verify, const SavedSettings& settings,
                                const UnboundedCodes& unbounded, const OwnRestorable& own)
{
    RestoreOutcomes outcomes{};
    std::span<const RestorableFeature> features = restorableFeatures();
    for (size_t i = 0; i < features.size(); i++) {
        if (settings.values[i]) {
            outcomes[i] = restoreFeature(link, verify, features[i].code, *settings.values[i],
                                         !unbounded.has(features[i].code));
        }
    }
    for (size_t i = 0; i < own.count; i++) {
        if (const std::optional<uint16_t>& value = settings.values[kRestorableCount + i]) {
            outcomes[kRestorableCount + i] =
                restoreFeature(link, verify, own.codes[i], *value, !unbounded.has(own.codes[i]));
        }
    }
    return outcomes;
}

const char* restoreOutcomeText(RestoreOutcome outcome)
{
    switch (outcome) {
        case RestoreOutcome::unchanged: return "unchanged";
        case RestoreOutcome::changed: return "changed";
        case RestoreOutcome::unsupported: return "unsupported";
        case RestoreOutcome::failed:
        case RestoreOutcome::absent: break;
    }
    return "failed";
}
