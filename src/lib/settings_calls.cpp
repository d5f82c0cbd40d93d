// Reading and changing one setting, through the same transactions and
// changes as `get` and `set`.
#include "config/config_lookup.h"
#include "config/display_selector.h"
#include "ddc/vcp.h"
#include "lib/display_call.h"
#include "mccs/feature_names.h"
#include "ops/settings.h"

namespace {

constexpr long kMaxPercent = 100;

panoctl_status checkSetting(const panoctl_session* session, const char* selector, unsigned code)
{
    panoctl_status status = checkCall(session, selector);
    if (status == PANOCTL_OK && code > kMaxCode) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    return status;
}

panoctl_status change(panoctl_session* session, const char* selector, unsigned code,
                      const SettingChange& settingChange, unsigned* value)
{
    DisplayCall call(session, selector);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    uint8_t sent = 0;
    DdcLink link = call.featureLink(&counters, static_cast<uint8_t>(code), &sent);
    ChangeOutcome outcome = changeSetting(
        link, call.options().verify != 0, sent, settingChange,
        calibrationOf(call.config(), displayKeyOf(call.display()), static_cast<uint8_t>(code)));
    if (!outcome.read) {
        return outcome.unsupported ? PANOCTL_UNSUPPORTED : PANOCTL_READ_FAILED;
    }
    if (value != nullptr) {
        *value = outcome.value;
    }
    return outcome.ok ? PANOCTL_OK : PANOCTL_WRITE_FAILED;
}

}  // namespace

extern "C" {

panoctl_status panoctl_get(panoctl_session* session, const char* display, unsigned code,
                           unsigned* value, unsigned* maximum)
{
    panoctl_status status = checkSetting(session, display, code);
    if (status != PANOCTL_OK) {
        return status;
    }
    if (value == nullptr) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    int32_t current = 0;
    int32_t most = 0;
    uint8_t sent = 0;
    DdcLink link = call.featureLink(&counters, static_cast<uint8_t>(code), &sent);
    switch (readVCPFeature(link, sent, &current, &most)) {
        case VcpRead::value: break;
        case VcpRead::unsupported: return PANOCTL_UNSUPPORTED;
        case VcpRead::failed: return PANOCTL_READ_FAILED;
    }
    *value = static_cast<unsigned>(current);
    if (maximum != nullptr) {
        *maximum = static_cast<unsigned>(most);
    }
    return PANOCTL_OK;
}

panoctl_status panoctl_set(panoctl_session* session, const char* display, unsigned code,
                           unsigned value)
{
    panoctl_status status = checkSetting(session, display, code);
    if (status != PANOCTL_OK) {
        return status;
    }
    if (value > kMaxValue) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    uint8_t sent = 0;
    DdcLink link = call.featureLink(&counters, static_cast<uint8_t>(code), &sent);
    bool ok = writeSetting(link, call.options().verify != 0, sent, static_cast<uint16_t>(value),
                           actsOnce(call.config(), static_cast<uint8_t>(code)));
    return ok ? PANOCTL_OK : PANOCTL_WRITE_FAILED;
}

panoctl_status panoctl_step(panoctl_session* session, const char* display, unsigned code, int step,
                            int percent, unsigned* value)
{
    panoctl_status status = checkSetting(session, display, code);
    if (status != PANOCTL_OK) {
        return status;
    }
    // A step of an input or a power mode would pick a setting nobody meant.
    if (!takesSteps(static_cast<uint8_t>(code))) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    long limit = percent != 0 ? kMaxPercent : static_cast<long>(kMaxValue);
    if (step < -limit || step > limit) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    SettingChange settingChange{true, percent != 0, step};
    return change(session, display, code, settingChange, value);
}

panoctl_status panoctl_set_percent(panoctl_session* session, const char* display, unsigned code,
                                   unsigned percent, unsigned* value)
{
    panoctl_status status = checkSetting(session, display, code);
    if (status != PANOCTL_OK) {
        return status;
    }
    if (percent > kMaxPercent || !takesSteps(static_cast<uint8_t>(code))) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    SettingChange settingChange{false, true, static_cast<long>(percent)};
    return change(session, display, code, settingChange, value);
}

}  // extern "C"
