#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "cli/capabilities_read.h"
#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "cli/document_text.h"
#include "mccs/capabilities_parse.h"
#include "mccs/feature_names.h"

namespace {

void printCodes(std::span<const uint8_t> codes)
{
    std::putchar('[');
    for (size_t i = 0; i < codes.size(); i++) {
        std::printf(i == 0 ? "%u" : ",%u", static_cast<unsigned>(codes[i]));
    }
    std::putchar(']');
}

void printVcpCodes(const Capabilities& capabilities)
{
    std::printf("\"vcp\":[");
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        const CapabilitiesVcpCode& code = capabilities.vcp[i];
        std::printf("%s{\"code\":%u,\"name\":", i == 0 ? "" : ",",
                    static_cast<unsigned>(code.code));
        const FeatureName* feature = featureByCode(code.code);
        if (feature != nullptr) {
            std::printf("\"%.*s\"", static_cast<int>(feature->name.size()), feature->name.data());
        } else {
            std::printf("null");
        }
        if (code.listsValues) {
            std::printf(",\"values\":");
            printCodes(vcpValues(capabilities, code));
        }
        std::putchar('}');
    }
    std::putchar(']');
}

}  // namespace

int commandFeatures(CommandWords words)
{
    const DisplayRecord* display = lookupDisplay(words[1]);
    if (display == nullptr) {
        std::printf("{\"error\":\"no_such_display\"}\n");
        return 1;
    }
    static CapabilitiesText text;
    size_t length = readCachedCapabilities(*display, &text);
    if (length == 0) {
        std::printf("{\"error\":\"no_capabilities\"}\n");
        return 0;
    }
    static Capabilities capabilities;
    // What the capabilities command shows: the text up to its first NUL.
    parseCapabilities(std::string_view(text.data(), strnlen(text.data(), length)), &capabilities);

    std::putchar('{');
    printTextMember("model", capabilities.model);
    std::putchar(',');
    printTextMember("type", capabilities.type);
    std::putchar(',');
    printTextMember("mccsVersion", capabilities.mccsVersion);
    std::printf(",\"commands\":");
    printCodes(std::span(capabilities.commands).first(capabilities.commandCount));
    std::putchar(',');
    printVcpCodes(capabilities);
    std::printf("}\n");
    return 0;
}
