#include "ops/documents.h"

#include <algorithm>
#include <span>

#include "config/display_quirks.h"
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

// Each value with its name from the feature table, or null where it has
// none: [{"value":15,"name":"displayport-1"},…].
void appendValues(TextOut* out, const FeatureNaming& naming, uint8_t code,
                  std::span<const uint8_t> values)
{
    appendText(out, "[");
    for (size_t i = 0; i < values.size(); i++) {
        std::string_view name =
            naming.config != nullptr
                ? valueNameForDisplay(*naming.config, naming.display, code, values[i])
                : valueName(code, values[i]);
        appendText(out, "%s{\"value\":%u,\"name\":", i == 0 ? "" : ",",
                   static_cast<unsigned>(values[i]));
        if (name.empty()) {
            appendText(out, "null}");
        } else {
            appendEscaped(out, name);
            appendText(out, "}");
        }
    }
    appendText(out, "]");
}

// The name a code goes by on the display: the configuration's own feature
// of that code, else the table's.
std::string_view featureNameOf(const FeatureNaming& naming, uint8_t code)
{
    if (naming.config != nullptr) {
        if (const ConfigFeature* own =
                configFeatureByCode(*naming.config, code, naming.display.model)) {
            return own->name.data();
        }
    }
    const FeatureName* feature = featureByCode(code);
    return feature != nullptr ? feature->name : std::string_view{};
}

// The quirk that changes the code on the display: one that sends it
// another way or names its values, or one that makes its maximum no bound.
const Quirk* quirkOfCode(const FeatureNaming& naming, uint8_t code)
{
    if (naming.config == nullptr) {
        return nullptr;
    }
    AppliedQuirks applied = quirksOf(*naming.config, naming.display);
    if (const Quirk* quirk = quirkForFeature(applied, code)) {
        return quirk;
    }
    return unboundedQuirkOf(*naming.config, naming.display, code);
}

void appendVcpCodes(TextOut* out, const Capabilities& capabilities, const FeatureNaming& naming)
{
    appendText(out, "\"vcp\":[");
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        const CapabilitiesVcpCode& code = capabilities.vcp[i];
        appendText(out, "%s{\"code\":%u,\"name\":", i == 0 ? "" : ",",
                   static_cast<unsigned>(code.code));
        std::string_view name = featureNameOf(naming, code.code);
        if (!name.empty()) {
            appendEscaped(out, name);
        } else {
            appendText(out, "null");
        }
        if (code.listsValues) {
            appendText(out, ",\"values\":");
            appendValues(out, naming, code.code, vcpValues(capabilities, code));
        }
        if (const Quirk* quirk = quirkOfCode(naming, code.code)) {
            appendText(out, ",\"quirk\":");
            appendEscaped(out, quirk->name.data());
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

void writeFeaturesDocument(TextOut* out, const Capabilities& capabilities,
                           const FeatureNaming& naming)
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
    appendVcpCodes(out, capabilities, naming);
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
        int32_t current = 0;
        int32_t maximum = 0;
        // A monitor's answer that it lacks the code leaves the feature out
        // and is no failed read.
        VcpRead outcome = readVCPFeature(link, features[i].code, &current, &maximum);
        if (outcome != VcpRead::unsupported) {
            saved.attempted++;
        }
        if (outcome == VcpRead::value) {
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
