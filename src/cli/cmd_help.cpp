#include <cstdio>

#include "cli/commands.h"
#include "cli/options.h"
#include "mccs/feature_names.h"
#include "mccs/restorable.h"

#ifndef PANOCTL_VERSION
#error "PANOCTL_VERSION comes from the build: the project's version"
#endif

namespace {

constexpr const char* kCommandsText =
    "usage: panoctl [options] <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  list                            the displays that can be reached\n"
    "  get <displays> <vcp>            read a setting's current value\n"
    "  set <displays> <vcp> <value>    write a setting\n"
    "  set <displays> <vcp> <p>%       set a setting to p percent of its maximum\n"
    "  set <displays> <vcp> +<n>       raise a setting by n, at most to its maximum\n"
    "  set <displays> <vcp> -<n>       lower a setting by n, at least to 0\n"
    "  set <displays> <vcp> +<p>%      raise a setting by p percent of its maximum\n"
    "  set <displays> <vcp> -<p>%      lower a setting by p percent of its maximum\n"
    "                                  (a step's sign may stand alone: + 5, - 10%)\n"
    "  capabilities <display>          the monitor's capabilities string\n"
    "  features <display>              the capabilities string decoded\n"
    "  save <display>                  the restorable settings, as a document\n"
    "  restore <display> [file]        write back a saved document's settings that\n"
    "                                  differ (standard input without a file or -)\n"
    "  probeaddr <display> [vcp]       which I2C addressing the display answers on\n"
    "  watch                           a line for each display present, then for\n"
    "                                  each display that comes or goes\n"
    "  batch                           answer command lines read on standard input,\n"
    "                                  one line each\n"
    "  help                            print this text\n"
    "  version                         print the version\n";

constexpr const char* kSelectorsText =
    "\n"
    "A <display> is its id, as list prints it (in any letter case), or its\n"
    "position in list's order: 1 is the first display. <displays> is a <display>,\n"
    "all, or a comma-separated list such as 1,3; the document then has an entry\n"
    "for each, served at once. A <vcp> code is a number from 0 to 255 or a name.\n"
    "A <value> or <n> is a number from 0 to 65535; named values are listed below;\n"
    "<p> is a number from 0 to 100. Numbers are decimal, hexadecimal with 0x or\n"
    "octal with a leading 0, with no sign or space: 10 is decimal ten, so feature\n"
    "codes, which are usually written in hexadecimal, are written 0x10 or by name\n"
    "(brightness).\n";

constexpr const char* kClosingText =
    "\n"
    "Each command prints one JSON document on one line. The manual page,\n"
    "man panoctl, describes every document and status.\n";

void printOptions(std::FILE* out)
{
    std::fprintf(out, "\noptions, before the command:\n");
    for (const OptionRow& row : optionTable()) {
        char spelling[48];
        std::snprintf(
            spelling, sizeof spelling, "%s%s%s%s%s", row.shortName != nullptr ? row.shortName : "",
            row.shortName != nullptr ? ", " : "", row.longName, row.valueName != nullptr ? " " : "",
            row.valueName != nullptr ? row.valueName : "");
        std::fprintf(out, "  %-30s  %s\n", spelling, row.summary);
    }
}

void printFeatures(std::FILE* out)
{
    std::fprintf(out, "\nnamed VCP codes:\n");
    for (const FeatureName& feature : featureNames()) {
        std::fprintf(out, "  %-14.*s 0x%02X  %.*s\n", static_cast<int>(feature.name.size()),
                     feature.name.data(), static_cast<unsigned>(feature.code),
                     static_cast<int>(feature.description.size()), feature.description.data());
    }
    std::fprintf(out, "\nnamed values:\n");
    for (const FeatureName& feature : featureNames()) {
        if (feature.values.empty()) {
            continue;
        }
        std::fprintf(out, "  %-14.*s", static_cast<int>(feature.name.size()), feature.name.data());
        for (const NamedValue& value : feature.values) {
            std::fprintf(out, " %.*s=%u", static_cast<int>(value.name.size()), value.name.data(),
                         static_cast<unsigned>(value.value));
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

int commandHelp(Session* session, CommandWords /*words*/)
{
    std::FILE* out = session->out;
    std::fputs(kCommandsText, out);
    printOptions(out);
    std::fputs(kSelectorsText, out);
    printFeatures(out);
    printRestorable(out);
    std::fputs(kClosingText, out);
    return 0;
}

int commandVersion(Session* session, CommandWords /*words*/)
{
    std::fprintf(session->out, "panoctl %s\n", PANOCTL_VERSION);
    return 0;
}
