// The scenario loader on any file. Input: the file's bytes. Loading gives a
// clean error (one line, and an empty machine left behind) or a loaded
// machine; a loaded machine then runs `list` and a `capabilities` of
// the first display found, which must each print one line of valid JSON with
// status 0 whatever the registry and the monitors hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "run_captured.h"
#include "sim_control.h"

namespace {

using Json = nlohmann::json;

void expectDocument(const fuzz::RunOutput& run)
{
    if (run.status != 0 || !run.err.empty() || run.out.empty() ||
        run.out.find('\n') != run.out.size() - 1 || !Json::accept(run.out)) {
        fuzz::finding("not one line of JSON with status 0", run);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!sim::loadScenarioText(text, &error)) {
        if (error.empty() || error.find('\n') != std::string::npos) {
            std::fprintf(stderr, "finding: the error is not one line: \"%s\"\n", error.c_str());
            std::abort();
        }
        fuzz::RunOutput empty = fuzz::runCaptured({"list"});
        if (empty.out != "[]\n") {
            fuzz::finding("a scenario that failed to load left displays behind", empty);
        }
        return 0;
    }
    sim::setFastPauses(true);
    fuzz::RunOutput list = fuzz::runCaptured({"list"});
    expectDocument(list);
    Json displays = Json::parse(list.out);
    if (!displays.is_array()) {
        fuzz::finding("list did not print an array", list);
    }
    if (!displays.empty()) {
        expectDocument(fuzz::runCaptured({"capabilities", displays[0]["id"].get<std::string>()}));
    }
    return 0;
}
