// The calls that answer with text (the capabilities string, the features,
// save and restore documents) and the probe, over the same reading and
// documents as the commands of those names.
#include <cstring>
#include <span>
#include <string_view>

#include "config/display_selector.h"
#include "ddc/probe.h"
#include "lib/display_call.h"
#include "ops/capabilities_read.h"
#include "ops/documents.h"
#include "ops/saved_document.h"
#include "ops/settings.h"

namespace {

// A buffer may be missing only when it is said to hold nothing.
panoctl_status checkTextCall(const panoctl_session* session, const char* selector,
                             const char* buffer, size_t size)
{
    panoctl_status status = checkCall(session, selector);
    if (status == PANOCTL_OK && buffer == nullptr && size > 0) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    return status;
}

TextOut textOut(char* buffer, size_t size)
{
    return TextOut{buffer != nullptr ? std::span<char>(buffer, size) : std::span<char>()};
}

// What a document written straight into the caller's buffer came to.
panoctl_status finishText(const TextOut& out, size_t* needed, panoctl_status status)
{
    if (needed != nullptr) {
        *needed = out.length + 1;
    }
    return out.cut() ? PANOCTL_BUFFER_TOO_SMALL : status;
}

}  // namespace

extern "C" {

panoctl_status panoctl_capabilities(panoctl_session* session, const char* display, char* buffer,
                                    size_t size, size_t* needed)
{
    panoctl_status status = checkTextCall(session, display, buffer, size);
    if (status != PANOCTL_OK) {
        return status;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    CapabilitiesText text;
    size_t length = readUsableCapabilities(call.link(&counters), &text);
    if (length == 0) {
        return PANOCTL_NO_CAPABILITIES;
    }
    // The string may hold a NUL the monitor sent: it ends there, as in the
    // command's document.
    TextOut out = textOut(buffer, size);
    appendText(&out, "%s", text.data());
    return finishText(out, needed, PANOCTL_OK);
}

panoctl_status panoctl_features_json(panoctl_session* session, const char* display, char* buffer,
                                     size_t size, size_t* needed)
{
    panoctl_status status = checkTextCall(session, display, buffer, size);
    if (status != PANOCTL_OK) {
        return status;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    CapabilitiesText text;
    size_t length = readCachedCapabilities(call.link(&counters), call.display(),
                                           call.options().refresh != 0, &text);
    if (length == 0) {
        return PANOCTL_NO_CAPABILITIES;
    }
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);
    TextOut out = textOut(buffer, size);
    FeatureNaming naming;
    if (call.config().fromFile) {
        naming = FeatureNaming{&call.config(), displayKeyOf(call.display())};
    }
    writeFeaturesDocument(&out, capabilities, naming);
    return finishText(out, needed, PANOCTL_OK);
}

panoctl_status panoctl_probe(panoctl_session* session, const char* display, unsigned code,
                             panoctl_probe_result results[PANOCTL_PROBE_COMBINATIONS])
{
    panoctl_status status = checkCall(session, display);
    if (status != PANOCTL_OK) {
        return status;
    }
    if (results == nullptr || code > kMaxCode) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    std::array<ProbeResult, kProbeCombinations> probed =
        probeAddresses(call.link(&counters), static_cast<uint8_t>(code));
    static_assert(kProbeCombinations == PANOCTL_PROBE_COMBINATIONS);
    for (size_t i = 0; i < probed.size(); i++) {
        results[i] = panoctl_probe_result{
            probed[i].chip,       probed[i].dataAddress, probed[i].written ? 1 : 0,
            probed[i].ok ? 1 : 0, probed[i].current,     probed[i].maximum};
    }
    return PANOCTL_OK;
}

panoctl_status panoctl_save_json(panoctl_session* session, const char* display, char* buffer,
                                 size_t size, size_t* needed)
{
    panoctl_status status = checkTextCall(session, display, buffer, size);
    if (status != PANOCTL_OK) {
        return status;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    DdcLink link = call.link(&counters);
    CapabilitiesText text;
    size_t length =
        readCachedCapabilities(link, call.display(), call.options().refresh != 0, &text);
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);
    OwnRestorable own = ownRestorable(call.config(), call.display().name.data());
    SavedValues saved = readSavedValues(link, capabilities, own);
    if (!saved.usable()) {
        return PANOCTL_READ_FAILED;
    }
    TextOut out = textOut(buffer, size);
    writeSavedDocument(&out, call.display(), capabilities, saved, own);
    return finishText(out, needed, PANOCTL_OK);
}

panoctl_status panoctl_restore_json(panoctl_session* session, const char* display,
                                    const char* document, size_t length, char* report, size_t size,
                                    size_t* needed)
{
    panoctl_status status = checkTextCall(session, display, report, size);
    if (status != PANOCTL_OK) {
        return status;
    }
    if (document == nullptr) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    // Without a configuration's own restorable features, the document is
    // judged before the display is looked up, as the command line does.
    SavedSettings settings;
    if (readSavedDocument(std::string_view(document, length), &settings).problem !=
            DocumentProblem::none &&
        session->config.featureCount == 0) {
        return PANOCTL_INVALID_DOCUMENT;
    }
    DisplayCall call(session, display);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    OwnRestorable own = ownRestorable(call.config(), call.display().name.data());
    if (readSavedDocument(std::string_view(document, length), &settings, own).problem !=
        DocumentProblem::none) {
        return PANOCTL_INVALID_DOCUMENT;
    }
    TransferCounters counters;
    RestoreOutcomes outcomes =
        restoreSettings(call.link(&counters), call.options().verify != 0, settings,
                        unboundedCodesFor(call.config(), displayKeyOf(call.display()), own), own);
    TextOut out = textOut(report, size);
    writeRestoreDocument(&out, outcomes, own);
    if (needed != nullptr) {
        *needed = out.length + 1;
    }
    if (!restoreSucceeded(outcomes)) {
        return PANOCTL_WRITE_FAILED;
    }
    return report != nullptr && out.cut() ? PANOCTL_BUFFER_TOO_SMALL : PANOCTL_OK;
}

}  // extern "C"
