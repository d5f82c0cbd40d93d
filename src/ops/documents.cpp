#include "ops/documents.h"

#include <algorithm>
#include <span>

#include "ddc/vcp.h"
#include "mccs/feature_names.h"
#include "ops/document_text.h"
#include "ops/json_escape.h"

namespace {

void appendCodes(TextOut* out, std::span<const uint8_t> codes)
{
    appendText(out, "[");
    for (size_t i = 0; i < codes.size(); i++) {
        appendText(out, i == 0 ? "%u" : ",%u", static_cast<unsigned>(codes[i]));
    }
    appendText(out, "]");
}

void appendVcpCodes(TextOut* out, const Capabilities& capabilities)
{
    appendText(out, "\"vcp\":[");
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        const CapabilitiesVcpCode& code = capabilities.vcp[i];
        appendText(out, "%s{\"code\":%u,\"name\":", i == 0 ? "" : ",",
                   static_cast<unsigned>(code.code));
        const FeatureName* feature = featureByCode(code.code);
        if (feature != nullptr) {
            appendText(out, "\"%.*s\"", static_cast<int>(feature->name.size()),
                       feature->name.data());
        } else {
            appendText(out, "null");
        }
        if (code.listsValues) {
            appendText(out, ",\"values\":");
            appendCodes(out, vcpValues(capabilities, code));
        }
        appendText(out, "}");
    }
    appendText(out, "]");
}

bool listed(const Capabilities& capabilities, uint8_t code)
{
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        if (capabilities.vcp[i].code == code) {
            return true;
        }
    }
    return false;
}

}  // namespace

void writeFeaturesDocument(TextOut* out, const Capabilities& capabilities)
{
    appendText(out, "{");
    appendTextMember(out, "model", capabilities.model);
    appendText(out, ",");
    appendTextMember(out, "type", capabilities.type);
    appendText(out, ",");
    appendTextMember(out, "mccsVersion", capabilities.mccsVersion);
    appendText(out, ",\"commands\":");
    appendCodes(out, std::span(capabilities.commands).first(capabilities.commandCount));
    appendText(out, ",");
    appendVcpCodes(out, capabilities);
    appendText(out, "}");
}

SavedValues readSavedValues(const DdcLink& link, const Capabilities& capabilities)
{
    SavedValues saved;
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        if (capabilities.vcpCount > 0 && !listed(capabilities, features[i].code)) {
            continue;
        }
        saved.attempted++;
        int32_t current = 0;
        int32_t maximum = 0;
        if (asReadVCP(link, features[i].code, &current, &maximum)) {
            saved.values[i] = static_cast<uint16_t>(current);
            saved.read++;
        }
    }
    return saved;
}

void writeSavedDocument(TextOut* out, const DisplayRecord& display,
                        const Capabilities& capabilities, const SavedValues& saved)
{
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> name;
    json_escape(display.id.data(), id.data(), id.size());
    json_escape(display.name.data(), name.data(), name.size());
    appendText(out, "{\"id\":\"%s\",\"name\":\"%s\",", id.data(), name.data());
    appendTextMember(out, "model", capabilities.model);
    appendText(out, ",\"features\":{");
    const char* separator = "";
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        if (saved.values[i]) {
            appendText(out, "%s\"0x%02x\":%u", separator, static_cast<unsigned>(features[i].code),
                       static_cast<unsigned>(*saved.values[i]));
            separator = ",";
        }
    }
    appendText(out, "}}");
}

bool restoreSucceeded(const RestoreOutcomes& outcomes)
{
    return std::find(outcomes.begin(), outcomes.end(), RestoreOutcome::failed) == outcomes.end();
}

void writeRestoreDocument(TextOut* out, const RestoreOutcomes& outcomes)
{
    appendText(out, "{\"ok\":%s,\"features\":{", restoreSucceeded(outcomes) ? "true" : "false");
    const char* separator = "";
    for (const RestorableFeature& feature : restorableByCode()) {
        RestoreOutcome outcome = outcomes[*restoreIndex(feature.code)];
        if (outcome != RestoreOutcome::absent) {
            appendText(out, "%s\"0x%02x\":\"%s\"", separator, static_cast<unsigned>(feature.code),
                       restoreOutcomeText(outcome));
            separator = ",";
        }
    }
    appendText(out, "}}");
}
