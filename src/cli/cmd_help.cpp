#include <cstdio>
#include <cstring>

#include "cli/command_table.h"

#include "cli/commands.h"
#include "cli/options.h"
#include "mccs/feature_names.h"
#include "mccs/restorable.h"

#ifndef PANOCTL_VERSION
#error "PANOCTL_VERSION comes from the build: the project's version"
#endif

namespace {

constexpr const char* kStepsText =
    "\n"
    "set's <value> may also be <p>% (p percent of the maximum), +<n> or -<n> (a\n"
    "step, held between 0 and the maximum), or +<p>% or -<p>%; a step's sign may\n"
    "stand alone (+ 5, - 10%). Steps and percentages are for levels only.\n";

constexpr const char* kSelectorsText =
    "\n"
    "A <display> is its id, as list prints it (in any letter case), or its\n"
    "position in list's order: 1 is the first display. <displays> is a <display>,\n"
    "all, or a comma-separated list such as 1,3 (get and set; save and restore take\n"
    "one display); the document then has an entry for each, served at once.\n"
    "A <vcp> code is a number from 0 to 255 or a name (panoctl help features).\n"
    "A <value> or <n> is a number from 0 to 65535 or a named value; <p> is a\n"
    "number from 0 to 100. Numbers are decimal, or hexadecimal with 0x, with no\n"
    "sign or space and no leading zero: 10 is decimal ten, so feature codes,\n"
    "which are usually written in hexadecimal, are written 0x10 or by name\n"
    "(brightness). Names match in any letter case. Options may stand anywhere\n"
    "before a bare --, and --name=value is --name value.\n";

constexpr const char* kClosingText =
    "\n"
    "The feature and value names: panoctl help features.\n"
    "Each command prints one JSON document on one line. The manual page,\n"
    "man panoctl, describes every document and status.\n";

void printCommands(std::FILE* out)
{
    std::fprintf(out, "usage: panoctl [options] <command> [arguments]\n\ncommands:\n");
    for (const CommandInfo& row : kCommandTable) {
        char spelling[48];
        std::snprintf(spelling, sizeof spelling, "%.*s%s%.*s", static_cast<int>(row.word.size()),
                      row.word.data(), row.arguments.empty() ? "" : " ",
                      static_cast<int>(row.arguments.size()), row.arguments.data());
        std::fprintf(out, "  %-30s  %.*s\n", spelling, static_cast<int>(row.summary.size()),
                     row.summary.data());
    }
    std::fputs(kStepsText, out);
}

void printOptions(std::FILE* out)
{
    std::fprintf(out, "\noptions:\n");
    for (const OptionRow& row : optionTable()) {
        char spelling[48];
        std::snprintf(
            spelling, sizeof spelling, "%s%s%s%s%s", row.shortName != nullptr ? row.shortName : "",
            row.shortName != nullptr ? ", " : "", row.longName, row.valueName != nullptr ? " " : "",
            row.valueName != nullptr ? row.valueName : "");
        std::fprintf(out, "  %-30s  %s\n", spelling, row.summary);
    }
}

const char* kindText(FeatureKind kind)
{
    switch (kind) {
        case FeatureKind::continuous: return "level";
        case FeatureKind::nonContinuous: return "choice";
        case FeatureKind::table: return "table";
        case FeatureKind::action: return "action";
    }
    return "";
}

void printFeatures(std::FILE* out)
{
    std::fprintf(out, "\nnamed VCP codes (manufacturer codes, 0xE0 to 0xFF, have no name):\n");
    for (const FeatureName& feature : featureNames()) {
        std::fprintf(out, "  %-36.*s 0x%02X  %-6s  %.*s\n", static_cast<int>(feature.name.size()),
                     feature.name.data(), static_cast<unsigned>(feature.code),
                     kindText(feature.kind), static_cast<int>(feature.description.size()),
                     feature.description.data());
    }
    std::fprintf(out, "\nnamed values:\n");
    for (const FeatureName& feature : featureNames()) {
        if (feature.values.empty()) {
            continue;
        }
        std::fprintf(out, "  %.*s:", static_cast<int>(feature.name.size()), feature.name.data());
        // Lines of at most 80 columns, the values indented below the name.
        size_t column = 80;
        for (const NamedValue& value : feature.values) {
            char text[48];
            int length =
                std::snprintf(text, sizeof text, " %.*s=%u", static_cast<int>(value.name.size()),
                              value.name.data(), static_cast<unsigned>(value.value));
            if (column + static_cast<size_t>(length) > 79) {
                std::fputs("\n   ", out);
                column = 3;
            }
            std::fputs(text, out);
            column += static_cast<size_t>(length);
        }
        std::fprintf(out, "\n");
    }
}

void printRestorable(std::FILE* out)
{
    std::fprintf(out, "\nrestorable features, in the order restore writes them:\n ");
    for (const RestorableFeature& feature : restorableFeatures()) {
        std::fprintf(out, " 0x%02X", static_cast<unsigned>(feature.code));
    }
    std::fprintf(out, "\n");
}

}  // namespace

int commandHelp(Session* session, CommandWords words)
{
    std::FILE* out = session->out;
    bool features = words.size() > 1;
    if (features && std::strcmp(words[1], "features") != 0) {
        refuseCommandLine(&session->refusals,
                          "panoctl: unknown help topic: %s (panoctl help features lists the "
                          "feature and value names)",
                          words[1]);
        return kStatusUsage;
    }
    if (features) {
        printFeatures(out);
        return 0;
    }
    std::fprintf(out, "panoctl %s\n\n", PANOCTL_VERSION);
    printCommands(out);
    printOptions(out);
    std::fputs(kSelectorsText, out);
    printRestorable(out);
    std::fputs(kClosingText, out);
    return 0;
}

int commandVersion(Session* session, CommandWords /*words*/)
{
    std::fprintf(session->out, "panoctl %s\n", PANOCTL_VERSION);
    return 0;
}
