// The saved-document reader on any bytes, against nlohmann::json as the
// judge of what JSON is. It must not crash, and:
// - it refuses as not JSON exactly what nlohmann refuses (a document nested
//   deeper than the reader's limit, or one nlohmann reads past a byte order
//   mark, or whose number nlohmann cannot hold in a double, aside); a NUL byte, which nlohmann
//   takes for the end of the input, is nowhere valid in JSON and must be refused;
// - a document refused for any reason asks for no setting;
// - an accepted one is an object whose "features" members it took one for
//   one, with the same values, each from 0 to 65535.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "ops/saved_document.h"

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

// Whether nlohmann reads the input as JSON, and whether a refusal was only
// for a number too large for a double (JSON's grammar has no such limit).
class Judge : public nlohmann::json_sax<nlohmann::json> {
public:
    bool null() override { return true; }
    bool boolean(bool /*value*/) override { return true; }
    bool number_integer(number_integer_t /*value*/) override { return true; }
    bool number_unsigned(number_unsigned_t /*value*/) override { return true; }
    bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return true; }
    bool string(string_t& /*value*/) override { return true; }
    bool binary(binary_t& /*value*/) override { return true; }
    bool start_object(std::size_t /*size*/) override { return true; }
    bool key(string_t& /*value*/) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t /*size*/) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                     const nlohmann::detail::exception& error) override
    {
        numberTooLarge = error.id == 406;
        return false;
    }
    bool numberTooLarge = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    SavedSettings settings;
    DocumentReading reading = readSavedDocument(input, &settings);

    size_t asked = static_cast<size_t>(
        std::count_if(settings.values.begin(), settings.values.end(),
                      [](const std::optional<uint16_t>& value) { return value.has_value(); }));
    if (reading.problem != DocumentProblem::none && asked != 0) {
        finding("a refused document asks for settings");
    }
    if ((size > kMaxSavedDocumentBytes) != (reading.problem == DocumentProblem::tooLarge)) {
        finding("the size limit is not where it says");
    }
    if (size > kMaxSavedDocumentBytes) {
        return 0;
    }
    bool tooDeep = reading.problem == DocumentProblem::notJson &&
                   std::string_view(reading.what) == "nested too deeply";
    bool byteOrderMark = input.substr(0, 3) == "\xEF\xBB\xBF";
    if (input.find('\0') != std::string_view::npos) {
        if (reading.problem != DocumentProblem::notJson) {
            finding("a NUL byte taken for JSON");
        }
        return 0;
    }
    Judge judge;
    bool json = nlohmann::json::sax_parse(input, &judge);
    if (judge.numberTooLarge) {
        return 0;
    }
    if (!tooDeep && !byteOrderMark && json == (reading.problem == DocumentProblem::notJson)) {
        finding(json ? "valid JSON refused as not JSON" : "not JSON taken for JSON");
    }
    if (reading.problem == DocumentProblem::notJson || !json) {
        return 0;
    }
    nlohmann::json document = nlohmann::json::parse(input);
    if ((reading.problem == DocumentProblem::notObject) == document.is_object()) {
        finding("an object told apart wrongly");
    }
    if (reading.problem != DocumentProblem::none) {
        return 0;
    }
    const nlohmann::json& features = document.at("features");
    if (!features.is_object() || features.size() != asked) {
        finding("not one setting for each member of features");
    }
    std::vector<uint64_t> given;
    for (const auto& [key, value] : features.items()) {
        if (!value.is_number_unsigned() || value.get<uint64_t>() > 0xFFFF) {
            finding("a value that is no setting taken");
        }
        given.push_back(value.get<uint64_t>());
    }
    std::vector<uint64_t> taken;
    for (const std::optional<uint16_t>& value : settings.values) {
        if (value) {
            taken.push_back(*value);
        }
    }
    std::sort(given.begin(), given.end());
    std::sort(taken.begin(), taken.end());
    if (given != taken) {
        finding("settings other than the document's values");
    }
    return 0;
}
