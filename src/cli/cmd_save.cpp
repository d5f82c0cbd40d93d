// `save <display> [file]`: the monitor's restorable settings as one
// document that `restore` takes back, printed, and written whole into the
// file when one is named.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/capabilities_read.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/json_escape.h"
#include "cli/output.h"
#include "cli/whole_file.h"
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
// they list none; a read that fails leaves the feature out, and so does a
// monitor's answer that it has no such code, which is no failure.
void readSettings(const DdcLink& link, const DisplayRecord& display,
                  const Capabilities& capabilities, SavedValues* saved)
{
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        if (capabilities.vcpCount > 0 && !listed(capabilities, features[i].code)) {
            continue;
        }
        int32_t current = 0;
        int32_t maximum = 0;
        VcpRead outcome = readVCPFeature(link, display, features[i].code, &current, &maximum);
        if (outcome != VcpRead::unsupported) {
            saved->attempted++;
        }
        if (outcome == VcpRead::value) {
            saved->values[i] = static_cast<uint16_t>(current);
            saved->read++;
        }
    }
}

// The document, whole, before it goes anywhere: a file gets all of it or
// nothing.
struct SavedText {
    // The id, name and model escaped, and thirteen features.
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id)) +
                         escapedCapacity(sizeof(DisplayRecord::name)) +
                         escapedCapacity(sizeof(CapabilitiesText)) + 512>
        text{};
    size_t length = 0;
};

// printf's form, so the compiler checks each piece's arguments.
// NOLINTNEXTLINE(cert-dcl50-cpp)
[[gnu::format(printf, 2, 3)]] void append(SavedText* saved, const char* format, ...)
{
    size_t room = saved->text.size() - saved->length;
    std::va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(saved->text.data() + saved->length, room, format, arguments);
    va_end(arguments);
    // The buffer holds the largest document; a cut one is never kept.
    if (length > 0 && static_cast<size_t>(length) < room) {
        saved->length += static_cast<size_t>(length);
    }
}

void formatSaved(SavedText* text, const DisplayRecord& display, const Capabilities& capabilities,
                 const SavedValues& saved)
{
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id;
    std::array<char, escapedCapacity(sizeof(DisplayRecord::name))> name;
    json_escape(display.id.data(), id.data(), id.size());
    json_escape(display.name.data(), name.data(), name.size());
    append(text, "{\"id\":\"%s\",\"name\":\"%s\",", id.data(), name.data());
    if (capabilities.model) {
        std::array<char, sizeof(CapabilitiesText)> plain{};
        std::array<char, escapedCapacity(sizeof(CapabilitiesText))> model;
        size_t length = std::min(capabilities.model->size(), plain.size() - 1);
        std::memcpy(plain.data(), capabilities.model->data(), length);
        json_escape(plain.data(), model.data(), model.size());
        append(text, "\"model\":\"%s\"", model.data());
    } else {
        append(text, "\"model\":null");
    }
    append(text, ",\"features\":{");
    const char* separator = "";
    std::span<const RestorableFeature> features = restorableByCode();
    for (size_t i = 0; i < features.size(); i++) {
        if (saved.values[i]) {
            append(text, "%s\"0x%02x\":%u", separator, static_cast<unsigned>(features[i].code),
                   static_cast<unsigned>(*saved.values[i]));
            separator = ",";
        }
    }
    append(text, "}}\n");
}

}  // namespace

int commandSave(Session* session, CommandWords words)
{
    // A document is one monitor's settings. The file, when given, is only
    // replaced by a good document.
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
    readSettings(sessionLink(session), *display, capabilities, &saved);
    // A document with none of the settings it tried to keep would pass for
    // a good one and, restored, bring nothing back.
    if (saved.attempted > 0 && saved.read == 0) {
        std::fprintf(out, "{\"error\":\"read_failed\"}\n");
        return 1;
    }
    SavedText document;
    formatSaved(&document, *display, capabilities, saved);
    std::string_view whole(document.text.data(), document.length);
    int error = 0;
    if (words.size() > 2 && !replaceFileWhole(words[2], whole, &error)) {
        refuseCommandLine(&session->refusals, "panoctl: cannot write %s: %s", words[2],
                          std::strerror(error));
        return kStatusOutputFailed;
    }
    std::fwrite(whole.data(), 1, whole.size(), out);
    return 0;
}
