// Build tool: copies a template to its output with the feature table's
// placeholders filled in, so that the manual page and the shell completion
// list the same names as the program that accepts them.
//
//   fill_feature_table <template> <output>
//
// @MAN_FEATURES@, @MAN_VALUES@ and @MAN_RESTORABLE@ become mdoc lists; @ZSH_FEATURES@ and
// @ZSH_VALUES@ become zsh array entries and case arms. An @ that starts no
// known placeholder is copied as it is.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

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

// A zsh pattern for the ways a code can be written: its name, hexadecimal
// in either case, decimal and octal.
std::string codePattern(const FeatureName& feature)
{
    std::string hex;
    for (char digit : hexByte(feature.code).substr(2)) {
        bool letter = digit >= 'A' && digit <= 'F';
        hex += letter ? std::string("[") + digit + static_cast<char>(digit - 'A' + 'a') + "]"
                      : std::string(1, digit);
    }
    char octal[8];
    std::snprintf(octal, sizeof octal, "0%o", static_cast<unsigned>(feature.code));
    return std::string(feature.name) + "|0[xX]" + hex + "|" + std::to_string(feature.code) + "|" +
           octal;
}

std::string zshValues()
{
    std::string out;
    for (const FeatureName& feature : featureNames()) {
        if (feature.values.empty()) {
            continue;
        }
        out += "    (" + codePattern(feature) + ") values=(";
        std::string sep;
        for (const NamedValue& value : feature.values) {
            out += sep + "'" + std::string(value.name) + ":" + hexByte(value.value) + "'";
            sep = " ";
        }
        out += ") ;;\n";
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
        {"@ZSH_VALUES@", zshValues()},
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
