// `config`: the configuration in effect as one document, and `config
// check`, which only says whether the file may be used (a refused one
// never gets this far: the run ends at its start).
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "config/configuration.h"
#include "ops/json_escape.h"

namespace {

// Text of the tables is at most a quirk's capabilities string long.
void printString(std::FILE* out, const char* text)
{
    std::array<char, escapedCapacity(kConfigCapabilitiesCapacity)> escaped;
    json_escape(text, escaped.data(), escaped.size());
    std::fprintf(out, "\"%s\"", escaped.data());
}

// A text member, null when the field was not given.
void printOptional(std::FILE* out, const char* key, const char* text)
{
    std::fprintf(out, ",\"%s\":", key);
    if (*text == '\0') {
        std::fputs("null", out);
    } else {
        printString(out, text);
    }
}

const char* kindWord(FeatureKind kind)
{
    switch (kind) {
        case FeatureKind::continuous: return "continuous";
        case FeatureKind::nonContinuous: return "non-continuous";
        case FeatureKind::table: return "table";
        case FeatureKind::action: return "action";
    }
    return "continuous";
}

void printValues(std::FILE* out, std::span<const ConfigValue> values)
{
    std::fputs(",\"values\":{", out);
    for (size_t i = 0; i < values.size(); i++) {
        std::fputs(i == 0 ? "" : ",", out);
        printString(out, values[i].name.data());
        std::fprintf(out, ":%u", static_cast<unsigned>(values[i].value));
    }
    std::fputc('}', out);
}

void printDisplays(std::FILE* out, const Configuration& config)
{
    std::fputs(",\"displays\":[", out);
    for (size_t i = 0; i < config.displayCount; i++) {
        const ConfigDisplay& display = config.displays[i];
        std::fputs(i == 0 ? "{\"alias\":" : ",{\"alias\":", out);
        printString(out, display.alias.data());
        printOptional(out, "id", display.id.data());
        printOptional(out, "serial", display.serial.data());
        printOptional(out, "model", display.model.data());
        std::fputs(",\"calibration\":{", out);
        for (size_t c = 0; c < display.calibrationCount; c++) {
            const Calibration& range = display.calibrations[c];
            std::fprintf(out, "%s\"0x%02x\":{\"min\":%u,\"max\":%u}", c == 0 ? "" : ",",
                         static_cast<unsigned>(range.code), static_cast<unsigned>(range.min),
                         static_cast<unsigned>(range.max));
        }
        std::fputs("},\"quirks\":[", out);
        for (size_t q = 0; q < display.quirkCount; q++) {
            std::fputs(q == 0 ? "" : ",", out);
            printString(out, config.quirks[display.quirks[q]].name.data());
        }
        std::fputs("]}", out);
    }
    std::fputc(']', out);
}

void printGroups(std::FILE* out, const Configuration& config)
{
    std::fputs(",\"groups\":{", out);
    for (size_t i = 0; i < config.groupCount; i++) {
        const ConfigGroup& group = config.groups[i];
        std::fputs(i == 0 ? "" : ",", out);
        printString(out, group.name.data());
        std::fputs(":[", out);
        for (size_t m = 0; m < group.memberCount; m++) {
            std::fputs(m == 0 ? "" : ",", out);
            printString(out, config.displays[group.members[m]].alias.data());
        }
        std::fputc(']', out);
    }
    std::fputc('}', out);
}

void printFeatures(std::FILE* out, const Configuration& config)
{
    std::fputs(",\"features\":[", out);
    for (size_t i = 0; i < config.featureCount; i++) {
        const ConfigFeature& feature = config.features[i];
        std::fputs(i == 0 ? "{\"name\":" : ",{\"name\":", out);
        printString(out, feature.name.data());
        std::fprintf(out, ",\"code\":%u,\"type\":\"%s\"", static_cast<unsigned>(feature.code),
                     kindWord(feature.kind));
        printValues(out, std::span(feature.values).first(feature.valueCount));
        printOptional(out, "model", feature.model.data());
        std::fprintf(out, ",\"restorable\":%s}", feature.restorable ? "true" : "false");
    }
    std::fputc(']', out);
}

void printQuirk(std::FILE* out, const Quirk& quirk)
{
    std::fputs("{\"name\":", out);
    printString(out, quirk.name.data());
    printOptional(out, "model", quirk.model.data());
    if (quirk.hasFeature) {
        std::fprintf(out, ",\"feature\":%u", static_cast<unsigned>(quirk.feature));
    } else {
        std::fputs(",\"feature\":null", out);
    }
    if (quirk.remaps) {
        std::fprintf(out, ",\"code\":%u,\"sourceAddress\":%u", static_cast<unsigned>(quirk.code),
                     static_cast<unsigned>(quirk.sourceAddress));
    } else {
        std::fputs(",\"code\":null,\"sourceAddress\":null", out);
    }
    printValues(out, std::span(quirk.values).first(quirk.valueCount));
    std::fprintf(out, ",\"pauseFactor\":%u.%03u", quirk.pausePermille / 1000U,
                 quirk.pausePermille % 1000U);
    printOptional(out, "capabilities", quirk.replacesCapabilities ? quirk.capabilities.data() : "");
    std::fputs(",\"unbounded\":[", out);
    for (size_t u = 0; u < quirk.unboundedCount; u++) {
        std::fprintf(out, "%s%u", u == 0 ? "" : ",", static_cast<unsigned>(quirk.unbounded[u]));
    }
    std::fputs("]}", out);
}

void printQuirks(std::FILE* out, const Configuration& config)
{
    std::fputs(",\"quirks\":[", out);
    for (size_t i = 0; i < config.quirkCount; i++) {
        std::fputs(i == 0 ? "" : ",", out);
        printQuirk(out, config.quirks[i]);
    }
    std::fputc(']', out);
}

}  // namespace

int commandConfig(Session* session, CommandWords words)
{
    const Configuration& config = session->config;
    std::FILE* out = session->out;
    if (words.size() > 1 && std::strcmp(words[1], "check") != 0) {
        refuseCommandLine(&session->refusals, "panoctl: unexpected word: %s", words[1]);
        return kStatusUsage;
    }
    std::fputs("{\"file\":", out);
    if (config.fromFile) {
        printString(out, config.path.data());
    } else {
        std::fputs("null", out);
    }
    if (words.size() > 1) {
        std::fputs(",\"ok\":true}\n", out);
        return 0;
    }
    printDisplays(out, config);
    printGroups(out, config);
    printFeatures(out, config);
    printQuirks(out, config);
    std::fputs("}\n", out);
    return 0;
}
