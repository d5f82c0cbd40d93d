// The configuration's TOML into its tables. toml++ is built without
// exceptions: a parse reports its error in its result. Every key is known
// or refused, so a typo shows instead of silently doing nothing.
// toml++ checks some states of its parser with assert, and in builds with
// NDEBUG tells the compiler they cannot occur. A crafted file reaches one of
// them (a table header whose key starts with a byte no key starts with),
// where the parser goes on to report the error itself: so its checks are
// made neither an abort nor an assumption, whatever the build type.
#undef NDEBUG
#define TOML_ASSERT(expr) static_cast<void>(0)
#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "config/config_file.h"
#include "config/config_lookup.h"
#include "config/config_prescan.h"
#include "mccs/feature_names.h"

namespace {

constexpr int64_t kMaxCode = 0xFF;
constexpr int64_t kMaxValue = 0xFFFF;

// The state of one parse: where the tables go, and the first error.
struct Parse {
    Configuration* config;
    ConfigError* error;
    std::span<const std::string_view> reservedWords;  // the caller's command words
    bool failed = false;
};

// Records the first error: its place and its formatted reason.
// NOLINTNEXTLINE(cert-dcl50-cpp): printf's format checks need the C form
[[gnu::format(printf, 3, 4)]] bool fail(Parse* parse, const toml::source_region& where,
                                        const char* format, ...)
{
    if (parse->failed) {
        return false;
    }
    parse->failed = true;
    parse->error->line = where.begin.line;
    parse->error->column = where.begin.column;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(parse->error->what.data(), parse->error->what.size(), format, arguments);
    va_end(arguments);
    return false;
}

// The key as text for a message, cut to a readable length.
struct KeyText {
    std::array<char, 64> text{};
    explicit KeyText(std::string_view key)
    {
        size_t length = key.size() < text.size() - 1 ? key.size() : text.size() - 1;
        key.copy(text.data(), length);
    }
    [[nodiscard]] const char* c_str() const { return text.data(); }
};

// toml++ keeps a table's keys sorted; a person reads the file top down, so
// the tables are taken in the file's order, and the first error is the
// first in the file.
using Entry = std::pair<const toml::key*, const toml::node*>;

std::vector<Entry> inFileOrder(const toml::table& table)
{
    std::vector<Entry> entries;
    entries.reserve(table.size());
    for (auto&& [key, value] : table) {
        entries.emplace_back(&key, &value);
    }
    auto before = [](const Entry& a, const Entry& b) {
        const toml::source_position& x = a.first->source().begin;
        const toml::source_position& y = b.first->source().begin;
        return x.line != y.line ? x.line < y.line : x.column < y.column;
    };
    std::sort(entries.begin(), entries.end(), before);
    return entries;
}

template <size_t N>
bool copyField(Parse* parse, const toml::source_region& where, std::array<char, N>* field,
               std::string_view text, const char* what)
{
    if (text.size() >= N) {
        return fail(parse, where, "%s longer than %zu bytes", what, N - 1);
    }
    if (text.find('\0') != std::string_view::npos) {
        return fail(parse, where, "%s holds a NUL byte", what);
    }
    *field = std::array<char, N>{};
    text.copy(field->data(), text.size());
    return true;
}

bool readString(Parse* parse, const toml::node& node, const char* key, std::string_view* text)
{
    const toml::value<std::string>* value = node.as_string();
    if (value == nullptr) {
        return fail(parse, node.source(), "%s must be a string", key);
    }
    *text = value->get();
    return true;
}

bool readInteger(Parse* parse, const toml::node& node, const char* key, int64_t max,
                 int64_t* number)
{
    const toml::value<int64_t>* value = node.as_integer();
    if (value == nullptr) {
        return fail(parse, node.source(), "%s must be an integer", key);
    }
    if (value->get() < 0 || value->get() > max) {
        return fail(parse, node.source(), "%s out of range: %lld (0 to %lld)", key,
                    static_cast<long long>(value->get()), static_cast<long long>(max));
    }
    *number = value->get();
    return true;
}

// A code: a number from 0 to 255, or the name of a feature, built-in or
// one of the file's own defined above.
bool readCode(Parse* parse, const toml::node& node, const char* key, uint8_t* code)
{
    if (const toml::value<std::string>* name = node.as_string()) {
        std::optional<uint8_t> known = configFeatureCode(*parse->config, name->get());
        if (!known) {
            return fail(parse, node.source(), "unknown feature: %s", KeyText(name->get()).c_str());
        }
        *code = *known;
        return true;
    }
    int64_t number = 0;
    if (!readInteger(parse, node, key, kMaxCode, &number)) {
        return false;
    }
    *code = static_cast<uint8_t>(number);
    return true;
}

bool readTable(Parse* parse, const toml::node& node, const char* what, const toml::table** table)
{
    *table = node.as_table();
    if (*table == nullptr) {
        return fail(parse, node.source(), "%s must be a table", what);
    }
    return true;
}

// `values = { name = number, … }`.
bool readValues(Parse* parse, const toml::node& node,
                std::array<ConfigValue, kMaxConfigValues>* values, size_t* count)
{
    const toml::table* table = nullptr;
    if (!readTable(parse, node, "values", &table)) {
        return false;
    }
    *count = 0;
    for (auto [keyPointer, valuePointer] : inFileOrder(*table)) {
        const toml::key& key = *keyPointer;
        const toml::node& value = *valuePointer;
        if (*count == values->size()) {
            return fail(parse, key.source(), "more than %zu values", values->size());
        }
        ConfigValue& entry = (*values)[*count];
        int64_t number = 0;
        if (!copyField(parse, key.source(), &entry.name, key.str(), "value name") ||
            !readInteger(parse, value, KeyText(key.str()).c_str(), kMaxValue, &number)) {
            return false;
        }
        entry.value = static_cast<uint16_t>(number);
        ++*count;
    }
    return true;
}

// A word a selector may not be: a command word, `all`, a position, or
// anything with a comma (which a list would split).
bool takenWord(const Parse& parse, std::string_view name)
{
    if (name.empty() || sameNameIgnoringCase(name, "all") ||
        name.find(',') != std::string_view::npos) {
        return true;
    }
    for (std::string_view word : parse.reservedWords) {
        if (sameNameIgnoringCase(word, name)) {
            return true;
        }
    }
    return name.find_first_not_of("0123456789") == std::string_view::npos;
}

bool checkSelectorName(Parse* parse, const toml::key& key, const char* what)
{
    if (takenWord(*parse, key.str())) {
        return fail(parse, key.source(),
                    "%s may not be a command word, all, a position or hold a comma: %s", what,
                    KeyText(key.str()).c_str());
    }
    if (findAlias(*parse->config, key.str()) != nullptr ||
        findGroup(*parse->config, key.str()) != nullptr) {
        return fail(parse, key.source(), "%s named twice: %s", what, KeyText(key.str()).c_str());
    }
    return true;
}

// ---- [feature.<name>] ----

bool readKind(Parse* parse, const toml::node& node, FeatureKind* kind)
{
    std::string_view text;
    if (!readString(parse, node, "type", &text)) {
        return false;
    }
    if (text == "continuous") {
        *kind = FeatureKind::continuous;
    } else if (text == "non-continuous") {
        *kind = FeatureKind::nonContinuous;
    } else if (text == "action") {
        *kind = FeatureKind::action;
    } else {
        return fail(parse, node.source(), "type must be continuous, non-continuous or action");
    }
    return true;
}

bool readFeature(Parse* parse, const toml::key& name, const toml::node& node)
{
    Configuration* config = parse->config;
    const toml::table* table = nullptr;
    if (!readTable(parse, node, "a feature", &table)) {
        return false;
    }
    if (config->featureCount == config->features.size()) {
        return fail(parse, name.source(), "more than %zu features", config->features.size());
    }
    if (featureByName(name.str()) != nullptr || findConfigFeature(*config, name.str()) != nullptr) {
        return fail(parse, name.source(), "feature named twice: %s", KeyText(name.str()).c_str());
    }
    ConfigFeature feature;
    if (!copyField(parse, name.source(), &feature.name, name.str(), "feature name")) {
        return false;
    }
    bool hasCode = false;
    bool hasType = false;
    const toml::node* restorable = nullptr;
    for (auto [keyPointer, valuePointer] : inFileOrder(*table)) {
        const toml::key& key = *keyPointer;
        const toml::node& value = *valuePointer;
        int64_t number = 0;
        std::string_view text;
        if (key.str() == "code") {
            hasCode = readInteger(parse, value, "code", kMaxCode, &number);
            feature.code = static_cast<uint8_t>(number);
        } else if (key.str() == "type") {
            hasType = readKind(parse, value, &feature.kind);
        } else if (key.str() == "values") {
            readValues(parse, value, &feature.values, &feature.valueCount);
        } else if (key.str() == "model") {
            if (readString(parse, value, "model", &text)) {
                copyField(parse, value.source(), &feature.model, text, "model");
            }
        } else if (key.str() == "restorable") {
            if (!value.is_boolean()) {
                return fail(parse, value.source(), "restorable must be true or false");
            }
            feature.restorable = value.as_boolean()->get();
            restorable = &value;
        } else {
            return fail(parse, key.source(), "unknown key: %s", KeyText(key.str()).c_str());
        }
        if (parse->failed) {
            return false;
        }
    }
    if (!hasCode || !hasType) {
        return fail(parse, name.source(), "feature %s needs code and type",
                    KeyText(name.str()).c_str());
    }
    // Input and power change what is shown, and an action holds no value:
    // a restore must never write them.
    if (feature.restorable && (feature.code == 0x60 || feature.code == 0xD6 ||
                               feature.kind == FeatureKind::action || isActionCode(feature.code))) {
        return fail(parse, restorable->source(),
                    "restorable: 0x%02X cannot be restored (input, power and actions never are)",
                    static_cast<unsigned>(feature.code));
    }
    config->features[config->featureCount++] = feature;
    return true;
}

// ---- [quirk.<name>] ----

bool readUnbounded(Parse* parse, const toml::node& node, Quirk* quirk)
{
    const toml::array* list = node.as_array();
    if (list == nullptr) {
        return fail(parse, node.source(), "unbounded must be a list of features");
    }
    quirk->unboundedCount = 0;
    for (const toml::node& element : *list) {
        if (quirk->unboundedCount == quirk->unbounded.size()) {
            return fail(parse, element.source(), "more than %zu unbounded features",
                        quirk->unbounded.size());
        }
        uint8_t code = 0;
        if (!readCode(parse, element, "unbounded", &code)) {
            return false;
        }
        const FeatureName* builtIn = featureByCode(code);
        if (builtIn == nullptr || builtIn->kind != FeatureKind::nonContinuous) {
            return fail(parse, element.source(),
                        "unbounded: 0x%02X is not a non-continuous feature",
                        static_cast<unsigned>(code));
        }
        quirk->unbounded[quirk->unboundedCount++] = code;
    }
    return true;
}

bool readPauseFactor(Parse* parse, const toml::node& node, Quirk* quirk)
{
    std::optional<double> factor = node.value<double>();
    if (!factor || !(node.is_integer() || node.is_floating_point())) {
        return fail(parse, node.source(), "pause-factor must be a number");
    }
    if (!(*factor >= 1.0 && *factor <= 5.0)) {
        return fail(parse, node.source(), "pause-factor out of range: %g (1.0 to 5.0)", *factor);
    }
    quirk->pausePermille = static_cast<uint16_t>(std::lround(*factor * 1000.0));
    return true;
}

bool readQuirkKey(Parse* parse, const toml::key& key, const toml::node& value, Quirk* quirk)
{
    std::string_view text;
    int64_t number = 0;
    if (key.str() == "model") {
        return readString(parse, value, "model", &text) &&
               copyField(parse, value.source(), &quirk->model, text, "model");
    }
    if (key.str() == "feature") {
        quirk->hasFeature = readCode(parse, value, "feature", &quirk->feature);
        return quirk->hasFeature;
    }
    if (key.str() == "code") {
        quirk->remaps = readInteger(parse, value, "code", kMaxCode, &number);
        quirk->code = static_cast<uint8_t>(number);
        if (quirk->sourceAddress == 0) {
            quirk->sourceAddress = 0x51;
        }
        return quirk->remaps;
    }
    if (key.str() == "source-address") {
        if (!readInteger(parse, value, "source-address", kMaxCode, &number)) {
            return false;
        }
        if (number != 0x50 && number != 0x51) {
            return fail(parse, value.source(), "source-address must be 0x50 or 0x51");
        }
        quirk->sourceAddress = static_cast<uint8_t>(number);
        return true;
    }
    if (key.str() == "values") {
        return readValues(parse, value, &quirk->values, &quirk->valueCount);
    }
    if (key.str() == "pause-factor") {
        return readPauseFactor(parse, value, quirk);
    }
    if (key.str() == "capabilities") {
        quirk->replacesCapabilities =
            readString(parse, value, "capabilities", &text) &&
            copyField(parse, value.source(), &quirk->capabilities, text, "capabilities");
        return quirk->replacesCapabilities;
    }
    if (key.str() == "unbounded") {
        return readUnbounded(parse, value, quirk);
    }
    return fail(parse, key.source(), "unknown key: %s", KeyText(key.str()).c_str());
}

bool readQuirk(Parse* parse, const toml::key& name, const toml::node& node)
{
    Configuration* config = parse->config;
    const toml::table* table = nullptr;
    if (!readTable(parse, node, "a quirk", &table)) {
        return false;
    }
    // A built-in quirk of that name is extended: the file's keys replace
    // its own, the others stay.
    Quirk* quirk = findQuirk(config, name.str());
    if (quirk == nullptr) {
        if (config->quirkCount == config->quirks.size()) {
            return fail(parse, name.source(), "more than %zu quirks", config->quirks.size());
        }
        quirk = &config->quirks[config->quirkCount];
        *quirk = Quirk{};
        if (!copyField(parse, name.source(), &quirk->name, name.str(), "quirk name")) {
            return false;
        }
        config->quirkCount++;
    }
    for (auto [keyPointer, valuePointer] : inFileOrder(*table)) {
        const toml::key& key = *keyPointer;
        const toml::node& value = *valuePointer;
        if (!readQuirkKey(parse, key, value, quirk)) {
            return false;
        }
    }
    if ((quirk->remaps || quirk->valueCount > 0) && !quirk->hasFeature) {
        return fail(parse, name.source(), "quirk %s gives code or values without feature",
                    KeyText(name.str()).c_str());
    }
    return true;
}

// ---- [display.<alias>] ----

bool readCalibration(Parse* parse, const toml::key& key, const toml::node& node,
                     ConfigDisplay* display)
{
    std::optional<uint8_t> code = configFeatureCode(*parse->config, key.str());
    if (!code) {
        return fail(parse, key.source(), "unknown key: %s", KeyText(key.str()).c_str());
    }
    if (configFeatureKind(*parse->config, *code) != FeatureKind::continuous) {
        return fail(parse, key.source(), "%s is not continuous: only levels are calibrated",
                    KeyText(key.str()).c_str());
    }
    const toml::table* table = nullptr;
    if (!readTable(parse, node, "a calibration", &table)) {
        return false;
    }
    if (display->calibrationCount == display->calibrations.size()) {
        return fail(parse, key.source(), "more than %zu calibrated features",
                    display->calibrations.size());
    }
    Calibration calibration{*code, 0, 0};
    bool hasMin = false;
    bool hasMax = false;
    for (auto [namePointer, valuePointer] : inFileOrder(*table)) {
        const toml::key& name = *namePointer;
        const toml::node& value = *valuePointer;
        int64_t number = 0;
        if (name.str() == "min") {
            hasMin = readInteger(parse, value, "min", kMaxValue, &number);
            calibration.min = static_cast<uint16_t>(number);
        } else if (name.str() == "max") {
            hasMax = readInteger(parse, value, "max", kMaxValue, &number);
            calibration.max = static_cast<uint16_t>(number);
        } else {
            return fail(parse, name.source(), "unknown key: %s", KeyText(name.str()).c_str());
        }
        if (parse->failed) {
            return false;
        }
    }
    if (!hasMin || !hasMax) {
        return fail(parse, node.source(), "a calibration needs min and max");
    }
    if (calibration.min >= calibration.max) {
        return fail(parse, node.source(), "min %u must be below max %u",
                    static_cast<unsigned>(calibration.min), static_cast<unsigned>(calibration.max));
    }
    display->calibrations[display->calibrationCount++] = calibration;
    return true;
}

bool readDisplayQuirks(Parse* parse, const toml::node& node, ConfigDisplay* display)
{
    const toml::array* list = node.as_array();
    if (list == nullptr) {
        return fail(parse, node.source(), "quirks must be a list of quirk names");
    }
    for (const toml::node& element : *list) {
        std::string_view name;
        if (!readString(parse, element, "a quirk name", &name)) {
            return false;
        }
        const Quirk* quirk = findQuirk(parse->config, name);
        if (quirk == nullptr) {
            return fail(parse, element.source(), "unknown quirk: %s", KeyText(name).c_str());
        }
        if (display->quirkCount == display->quirks.size()) {
            return fail(parse, element.source(), "more than %zu quirks", display->quirks.size());
        }
        display->quirks[display->quirkCount++] =
            static_cast<uint8_t>(quirk - parse->config->quirks.data());
    }
    return true;
}

bool readDisplayKey(Parse* parse, const toml::key& key, const toml::node& value,
                    ConfigDisplay* display)
{
    std::string_view text;
    if (key.str() == "id") {
        return readString(parse, value, "id", &text) &&
               copyField(parse, value.source(), &display->id, text, "id");
    }
    if (key.str() == "serial") {
        return readString(parse, value, "serial", &text) &&
               copyField(parse, value.source(), &display->serial, text, "serial");
    }
    if (key.str() == "model") {
        return readString(parse, value, "model", &text) &&
               copyField(parse, value.source(), &display->model, text, "model");
    }
    if (key.str() == "quirks") {
        return readDisplayQuirks(parse, value, display);
    }
    return readCalibration(parse, key, value, display);
}

bool readDisplay(Parse* parse, const toml::key& alias, const toml::node& node)
{
    Configuration* config = parse->config;
    const toml::table* table = nullptr;
    if (!readTable(parse, node, "a display", &table) || !checkSelectorName(parse, alias, "alias")) {
        return false;
    }
    if (config->displayCount == config->displays.size()) {
        return fail(parse, alias.source(), "more than %zu displays", config->displays.size());
    }
    ConfigDisplay display;
    if (!copyField(parse, alias.source(), &display.alias, alias.str(), "alias")) {
        return false;
    }
    for (auto [keyPointer, valuePointer] : inFileOrder(*table)) {
        const toml::key& key = *keyPointer;
        const toml::node& value = *valuePointer;
        if (!readDisplayKey(parse, key, value, &display)) {
            return false;
        }
    }
    bool hasId = display.id[0] != '\0';
    bool hasSerial = display.serial[0] != '\0';
    bool hasModel = display.model[0] != '\0';
    if (hasId && (hasSerial || hasModel)) {
        return fail(parse, alias.source(), "display %s: id names a display alone",
                    KeyText(alias.str()).c_str());
    }
    if (!hasId && !hasSerial) {
        return fail(parse, alias.source(), "display %s needs id, serial, or model and serial",
                    KeyText(alias.str()).c_str());
    }
    config->displays[config->displayCount++] = display;
    return true;
}

// ---- [group] ----

bool readGroup(Parse* parse, const toml::key& name, const toml::node& node)
{
    Configuration* config = parse->config;
    const toml::array* list = node.as_array();
    if (list == nullptr) {
        return fail(parse, node.source(), "a group must be a list of aliases");
    }
    if (!checkSelectorName(parse, name, "group")) {
        return false;
    }
    if (config->groupCount == config->groups.size()) {
        return fail(parse, name.source(), "more than %zu groups", config->groups.size());
    }
    ConfigGroup group;
    if (!copyField(parse, name.source(), &group.name, name.str(), "group name")) {
        return false;
    }
    for (const toml::node& element : *list) {
        std::string_view alias;
        if (!readString(parse, element, "an alias", &alias)) {
            return false;
        }
        const ConfigDisplay* display = findAlias(*config, alias);
        if (display == nullptr) {
            return fail(parse, element.source(), "unknown alias: %s", KeyText(alias).c_str());
        }
        if (group.memberCount == group.members.size()) {
            return fail(parse, element.source(), "more than %zu aliases in a group",
                        group.members.size());
        }
        group.members[group.memberCount++] =
            static_cast<uint8_t>(display - config->displays.data());
    }
    if (group.memberCount == 0) {
        return fail(parse, node.source(), "group %s names no alias", KeyText(name.str()).c_str());
    }
    config->groups[config->groupCount++] = group;
    return true;
}

// ---- the whole file ----

using SectionReader = bool (*)(Parse* parse, const toml::key& name, const toml::node& node);

bool readSection(Parse* parse, const toml::table& root, std::string_view section,
                 SectionReader read)
{
    const toml::node* node = root.get(section);
    if (node == nullptr) {
        return true;
    }
    const toml::table* table = nullptr;
    if (!readTable(parse, *node, KeyText(section).c_str(), &table)) {
        return false;
    }
    for (auto [keyPointer, valuePointer] : inFileOrder(*table)) {
        const toml::key& key = *keyPointer;
        const toml::node& value = *valuePointer;
        if (!read(parse, key, value)) {
            return false;
        }
    }
    return true;
}

bool checkTopKeys(Parse* parse, const toml::table& root)
{
    for (const Entry& entry : inFileOrder(root)) {
        std::string_view name = entry.first->str();
        if (name != "display" && name != "group" && name != "feature" && name != "quirk") {
            return fail(parse, entry.first->source(), "unknown key: %s", KeyText(name).c_str());
        }
    }
    return true;
}

}  // namespace

bool parseConfigText(std::string_view text, std::span<const std::string_view> reservedWords,
                     Configuration* config, ConfigError* error)
{
    *config = Configuration{};
    addBuiltInQuirks(config);
    if (!asciiOutsideStrings(text, error)) {
        return false;
    }
    toml::parse_result result = toml::parse(text);
    if (!result) {
        const toml::parse_error& problem = result.error();
        error->line = problem.source().begin.line;
        error->column = problem.source().begin.column;
        std::snprintf(error->what.data(), error->what.size(), "%.*s",
                      static_cast<int>(problem.description().size()), problem.description().data());
        return false;
    }
    Parse parse{config, error, reservedWords};
    const toml::table& root = result.table();
    // Features first: quirks and calibrations name them; quirks before the
    // displays that name them; displays before the groups of their aliases.
    return checkTopKeys(&parse, root) && readSection(&parse, root, "feature", readFeature) &&
           readSection(&parse, root, "quirk", readQuirk) &&
           readSection(&parse, root, "display", readDisplay) &&
           readSection(&parse, root, "group", readGroup);
}
