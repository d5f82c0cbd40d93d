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

namespace {

// One code the saved document may hold: built-in or of one's own, and its
// place in the values.
struct SavedCode {
    uint8_t code;
    size_t place;
};

// Every code save may keep, in ascending code order.
size_t savedCodes(const OwnRestorable& own,
                  std::array<SavedCode, kRestorableCount + kMaxOwnRestorable>* codes)
{
    size_t count = 0;
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        (*codes)[count++] = SavedCode{features[i].code, i};
    }
    for (size_t i = 0; i < own.count; i++) {
        (*codes)[count++] = SavedCode{own.codes[i], kRestorableCount + i};
    }
    std::sort(codes->begin(), codes->begin() + static_cast<long>(count),
              [](const SavedCode& a, const SavedCode& b) { return a.code < b.code; });
    return count;
}

}  // namespace

SavedValues readSavedValues(const DdcLink& link, const Capabilities& capabilities,
                            const OwnRestorable& own)
{
    SavedValues saved;
    std::array<SavedCode, kRestorableCount + kMaxOwnRestorable> codes{};
    size_t count = savedCodes(own, &codes);
    for (size_t i = 0; i < count; i++) {
        if (capabilities.vcpCount > 0 && !listed(capabilities, codes[i].code)) {
            continue;
        }
        int32_t current = 0;
        int32_t maximum = 0;
        // A monitor's answer that it lacks the code leaves the feature out
        // and is no failed read.
        VcpRead outcome = readVCPFeature(link, codes[i].code, &current, &maximum);
        if (outcome != VcpRead::unsupported) {
            saved.attempted++;
        }
        if (outcome == VcpRead::value) {
            saved.values[codes[i].place] = static_cast<uint16_t>(current);
            saved.read++;
        }
    }
    return saved;
}

void writeSavedDocument(TextOut* out, const DisplayRecord& display,
                        const Capabilities& capabilities, const SavedValues& saved,
                        const OwnRestorable& own)
{
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> name;
    json_escape(display.id.data(), id.data(), id.size());
    json_escape(display.name.data(), name.data(), name.size());
    appendText(out, "{\"id\":\"%s\",\"name\":\"%s\",", id.data(), name.data());
    appendTextMember(out, "model", capabilities.model);
    appendText(out, ",\"features\":{");
    const char* separator = "";
    std::array<SavedCode, kRestorableCount + kMaxOwnRestorable> codes{};
    size_t count = savedCodes(own, &codes);
    for (size_t i = 0; i < count; i++) {
        if (const std::optional<uint16_t>& value = saved.values[codes[i].place]) {
            appendText(out, "%s\"0x%02x\":%u", separator, static_cast<unsigned>(codes[i].code),
                       static_cast<unsigned>(*value));
            separator = ",";
        }
    }
    appendText(out, "}}");
}

bool restoreSucceeded(const RestoreOutcomes& outcomes)
{
    return std::find(outcomes.begin(), outcomes.end(), RestoreOutcome::failed) == outcomes.end();
}

void writeRestoreDocument(TextOut* out, const RestoreOutcomes& outcomes, const OwnRestorable& own)
{
    appendText(out, "{\"ok\":%s,\"features\":{", restoreSucceeded(outcomes) ? "true" : "false");
    const char* separator = "";
    std::array<SavedCode, kRestorableCount + kMaxOwnRestorable> codes{};
    size_t count = savedCodes(own, &codes);
    for (size_t i = 0; i < count; i++) {
        // Saved values are by code, outcomes of built-in features by restore order.
        size_t place =
            codes[i].place < kRestorableCount ? *restoreIndex(codes[i].code) : codes[i].place;
        RestoreOutcome outcome = outcomes[place];
        if (outcome != RestoreOutcome::absent) {
            appendText(out, "%s\"0x%02x\":\"%s\"", separator, static_cast<unsigned>(codes[i].code),
                       restoreOutcomeText(outcome));
            separator = ",";
        }
    }
    appendText(out, "}}");
}
