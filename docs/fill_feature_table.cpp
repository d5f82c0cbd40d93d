// Build tool: copies a template to its output with the tables' placeholders
// filled in, so that the manual page and the shell completion list the same
// commands, options and names as the program that accepts them.
//
//   fill_feature_table <template> <output>
//
// @MAN_FEATURES@, @MAN_VALUES@ and @MAN_RESTORABLE@ become mdoc lists;
// @ZSH_COMMANDS@, @ZSH_OPTIONS@ and @ZSH_FEATURES@ zsh array entries, and
// @ZSH_VALUES@ and @ZSH_ARGUMENTS@ case arms. An @ that starts no known
// placeholder is copied as it is.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/command_table.h"
#include "cli/options.h"
#include "mccs/feature_names.h"
#include "mccs/restorable.h"

namespace {

std::string hexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string manFeatures()
{
    std::string out = ".Bl -column \"color-preset\" \"0x00\" -offset indent\n";
    for (const FeatureName& feature : featureNames()) {
        out += ".It Cm " + std::string(feature.name) + " Ta " + hexByte(feature.code) + " Ta " +
               std::string(feature.description) + "\n";
    }
    return out + ".El";
}

std::string manValues()
{
    std::string out = ".Bl -tag -width \"color-preset\" -offset indent\n";
    for (const FeatureName& feature : featureNames()) {
        if (feature.values.empty()) {
            continue;
        }
        out += ".It Cm " + std::string(feature.name) + " Pq " + hexByte(feature.code) + "\n";
        std::string sep;
        for (const NamedValue& value : feature.values) {
            // One value a line keeps the page's source lines short.
            out += sep + std::string(value.name) + " " + hexByte(value.value);
            sep = ",\n";
        }
        out += "\n";
    }
    return out + ".El";
}

// The restorable features in restore order, with their names where they
// have one.
std::string manRestorable()
{
    std::string out = ".Bl -column \"0x00\" \"color-preset\" -offset indent\n";
    for (const RestorableFeature& feature : restorableFeatures()) {
        const FeatureName* named = featureByCode(feature.code);
        out += ".It " + hexByte(feature.code) + " Ta " +
               (named != nullptr ? "Cm " + std::string(named->name) : std::string("\\(em")) +
               " Ta " + std::string(feature.description) + "\n";
    }
    return out + ".El";
}

std::string zshFeatures()
{
    std::string out;
    for (const FeatureName& feature : featureNames()) {
        out += "    '" + std::string(feature.name) + ":" + std::string(feature.description) + " (" +
               hexByte(feature.code) + ")'\n";
    }
    return out;
}

// A zsh pattern for the ways a code can be written, lower-cased as the
// completion lower-cases the word: its name, hexadecimal and decimal.
std::string codePattern(const FeatureName& feature)
{
    std::string hex = hexByte(feature.code).substr(2);
    for (char& digit : hex) {
        if (digit >= 'A' && digit <= 'F') {
            digit = static_cast<char>(digit - 'A' + 'a');
        }
    }
    return std::string(feature.name) + "|0x" + hex + "|" + std::to_string(feature.code);
}

// The codes whose values are not levels: their named values, and no steps.
std::string zshValues()
{
    std::string out;
    for (const FeatureName& feature : featureNames()) {
        if (feature.kind == FeatureKind::continuous) {
            continue;
        }
        out += "    (" + codePattern(feature) + ") levels=0";
        if (!feature.values.empty()) {
            out += "; values=(";
            std::string sep;
            for (const NamedValue& value : feature.values) {
                out += sep + "'" + std::string(value.name) + ":" + hexByte(value.value) + "'";
                sep = " ";
            }
            out += ")";
        }
        out += " ;;\n";
    }
    return out;
}

std::string quoted(std::string_view text)
{
    std::string out;
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out;
}

std::string zshCommands()
{
    std::string out;
    for (const CommandInfo& row : kCommandTable) {
        out += "    '" + std::string(row.word) + ":" + quoted(row.summary) + "'\n";
    }
    return out;
}

std::string zshOptions()
{
    std::string out;
    for (const OptionRow& row : optionTable()) {
        out += "    '" + std::string(row.longName) + ":" + quoted(row.summary) + "'\n";
        if (row.shortName != nullptr) {
            out += "    '" + std::string(row.shortName) + ":" + quoted(row.summary) + "'\n";
        }
    }
    return out;
}

// What each argument of each command completes to, from the table's
// argument text: a case arm per command and position.
std::string zshArguments()
{
    std::string out;
    for (const CommandInfo& row : kCommandTable) {
        std::string_view rest = row.arguments;
        size_t position = 0;
        while (!rest.empty()) {
            size_t space = rest.find(' ');
            std::string_view argument = rest.substr(0, space);
            rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
            position++;
            std::string action;
            if (argument == "<displays>") {
                action = "_panoctl_displays several";
            } else if (argument == "<display>") {
                action = "_panoctl_displays";
            } else if (argument == "<vcp>" || argument == "[vcp]") {
                action = "_panoctl_features";
            } else if (argument == "<value>") {
                action = "_panoctl_values $args[" + std::to_string(position) + "]";
            } else if (argument == "[file]") {
                action = "_files";
            } else if (argument == "[features]") {
                action = "_panoctl_topics";
            }
            if (!action.empty()) {
                out += "    " + std::string(row.word) + ":" + std::to_string(position) + ") " +
                       action + " ;;\n";
            }
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: fill_feature_table <template> <output>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "fill_feature_table: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::string filled = text.str();
    const std::pair<std::string, std::string> placeholders[] = {
        {"@MAN_FEATURES@", manFeatures()},     {"@MAN_VALUES@", manValues()},
        {"@MAN_RESTORABLE@", manRestorable()}, {"@ZSH_FEATURES@", zshFeatures()},
        {"@ZSH_VALUES@", zshValues()},         {"@ZSH_COMMANDS@", zshCommands()},
        {"@ZSH_OPTIONS@", zshOptions()},       {"@ZSH_ARGUMENTS@", zshArguments()},
    };
    for (const auto& [placeholder, replacement] : placeholders) {
        for (size_t at = filled.find(placeholder); at != std::string::npos;
             at = filled.find(placeholder, at + replacement.size())) {
            filled.replace(at, placeholder.size(), replacement);
        }
    }
    std::ofstream out(argv[2]);
    out << filled;
    out.close();
    if (!out) {
        std::cerr << "fill_feature_table: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
