#include <cstdio>
#include <optional>
#include <span>

#include "cli/capabilities_read.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/document_text.h"
#include "mccs/capabilities_parse.h"
#include "mccs/feature_names.h"

namespace {

void printCodes(std::FILE* out, std::span<const uint8_t> codes)
{
    std::fputc('[', out);
    for (size_t i = 0; i < codes.size(); i++) {
        std::fprintf(out, i == 0 ? "%u" : ",%u", static_cast<unsigned>(codes[i]));
    }
    std::fputc(']', out);
}

// Each value with its name from the feature table, or null where it has
// none: [{"value":15,"name":"displayport-1"},…].
void printValues(std::FILE* out, uint8_t code, std::span<const uint8_t> values)
{
    std::fputc('[', out);
    for (size_t i = 0; i < values.size(); i++) {
        std::string_view name = valueName(code, values[i]);
        std::fprintf(out, "%s{\"value\":%u,\"name\":", i == 0 ? "" : ",",
                     static_cast<unsigned>(values[i]));
        if (name.empty()) {
            std::fputs("null}", out);
        } else {
            std::fprintf(out, "\"%.*s\"}", static_cast<int>(name.size()), name.data());
        }
    }
    std::fputc(']', out);
}

void printVcpCodes(std::FILE* out, const Capabilities& capabilities)
{
    std::fprintf(out, "\"vcp\":[");
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        const CapabilitiesVcpCode& code = capabilities.vcp[i];
        std::fprintf(out, "%s{\"code\":%u,\"name\":", i == 0 ? "" : ",",
                     static_cast<unsigned>(code.code));
        const FeatureName* feature = featureByCode(code.code);
        if (feature != nullptr) {
            std::fprintf(out, "\"%.*s\"", static_cast<int>(feature->name.size()),
                         feature->name.data());
        } else {
            std::fprintf(out, "null");
        }
        if (code.listsValues) {
            std::fprintf(out, ",\"values\":");
            printValues(out, code.code, vcpValues(capabilities, code));
        }
        std::fputc('}', out);
    }
    std::fputc(']', out);
}

}  // namespace

int commandFeatures(Session* session, CommandWords words)
{
    // A document is one monitor's.
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
    if (length == 0) {
        std::fprintf(out, "{\"error\":\"no_capabilities\"}\n");
        return documentStatus(*session, true);
    }
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);

    std::fputc('{', out);
    printTextMember(out, "model", capabilities.model);
    std::fputc(',', out);
    printTextMember(out, "type", capabilities.type);
    std::fputc(',', out);
    printTextMember(out, "mccsVersion", capabilities.mccsVersion);
    std::fprintf(out, ",\"commands\":");
    printCodes(out, std::span(capabilities.commands).first(capabilities.commandCount));
    std::fputc(',', out);
    printVcpCodes(out, capabilities);
    std::fprintf(out, "}\n");
    return 0;
}
