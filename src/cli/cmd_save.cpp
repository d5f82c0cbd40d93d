// `save <display>`: the monitor's restorable settings as one document that
// `restore` takes back.
#include <array>
#include <cstdio>
#include <optional>

#include "cli/capabilities_read.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/document_text.h"
#include "cli/json_escape.h"
#include "ddc/vcp.h"
#include "mccs/capabilities_parse.h"
#include "mccs/restorable.h"

namespace {

// What was read, in ascending code order, before anything is printed: the
// document is printed whole or not at all.
struct SavedValues {
    std::array<std::optional<uint16_t>, kRestorableCount> values;  // by restorableByCode()
    size_t attempted = 0;
    size_t read = 0;
};

bool listed(const Capabilities& capabilities, uint8_t code)
{
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        if (capabilities.vcp[i].code == code) {
            return true;
        }
    }
    return false;
}

// Reads each restorable feature the capabilities list, or every one when
// they list none; a read that fails (an unsupported code fails too) leaves
// the feature out.
void readSettings(const DdcLink& link, const Capabilities& capabilities, SavedValues* saved)
{
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        if (capabilities.vcpCount > 0 && !listed(capabilities, features[i].code)) {
            continue;
        }
        saved->attempted++;
        int32_t current = 0;
        int32_t maximum = 0;
        if (asReadVCP(link, features[i].code, &current, &maximum)) {
            saved->values[i] = static_cast<uint16_t>(current);
            saved->read++;
        }
    }
}

void printSaved(std::FILE* out, const DisplayRecord& display, const Capabilities& capabilities,
                const SavedValues& saved)
{
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> name;
    json_escape(display.id.data(), id.data(), id.size());
    json_escape(display.name.data(), name.data(), name.size());
    std::fprintf(out, "{\"id\":\"%s\",\"name\":\"%s\",", id.data(), name.data());
    printTextMember(out, "model", capabilities.model);
    std::fprintf(out, ",\"features\":{");
    const char* separator = "";
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        if (saved.values[i]) {
            std::fprintf(out, "%s\"0x%02x\":%u", separator, static_cast<unsigned>(features[i].code),
                         static_cast<unsigned>(*saved.values[i]));
            separator = ",";
        }
    }
    std::fprintf(out, "}}\n");
}

}  // namespace

int commandSave(Session* session, CommandWords words)
{
    // A document is one monitor's settings.
    if (!refuseSeveralDisplays(session, words)) {
        return kStatusUsage;
    }
    std::FILE* out = session->out;
    const DisplayRecord* display = lookupDisplayOrAnswer(session, words[1]);
    if (display == nullptr) {
        return kStatusNoSuchDisplay;
    }
    CapabilitiesText text;
    size_t length = readCachedCapabilities(session, *display, &text);
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);

    SavedValues saved;
    readSettings(sessionLink(session, *display), capabilities, &saved);
    // A document with none of the settings it tried to keep would pass for
    // a good one and, restored, bring nothing back.
    if (saved.attempted > 0 && saved.read == 0) {
        std::fprintf(out, "{\"error\":\"read_failed\"}\n");
        return 1;
    }
    printSaved(out, *display, capabilities, saved);
    return 0;
}
