// Batch mode: any bytes on standard input of `panoctl batch` on the built-in
// machine. Whatever they are, the batch must not crash and must keep its
// promises to callers:
// - it ends with status 0 at the end of its input (1 when a line asked for
//   --fail, which any failed line may then give), and writes nothing to
//   standard error;
// - every line that has a word (a byte other than a space or a tab), and
//   every line too long to keep, gets exactly one answer, and the others none;
// - every answer is one line of valid JSON.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "cli/line_reader.h"
#include "run_captured.h"
#include "sim_control.h"

namespace {

bool hasWord(std::string_view line)
{
    return line.find_first_not_of(" \t") != std::string_view::npos;
}

// The answers a batch owes this input.
size_t answersOwed(std::string_view input)
{
    size_t owed = 0;
    while (!input.empty()) {
        size_t feed = input.find('\n');
        std::string_view line = input.substr(0, feed);
        owed += line.size() > kMaxLineLength || hasWord(line) ? 1 : 0;
        input.remove_prefix(feed == std::string_view::npos ? input.size() : feed + 1);
    }
    return owed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (fuzz::mayWriteAFile(data, size)) {
        return 0;
    }
    std::string input(reinterpret_cast<const char*>(data), size);
    // As in cli_fuzz: the machine is loaded again only after a run that used
    // the bus and so may have changed a monitor.
    static bool busUsed = true;
    if (busUsed) {
        sim::loadDefaultScenario();
        sim::setFastPauses(true);
    }
    sim::clearTrace();
    fuzz::RunOutput run = fuzz::runCaptured({"batch"}, input);
    busUsed = !sim::traceLines().empty();

    bool mayFail = input.find("--fail") != std::string::npos;
    if ((run.status != 0 && !(run.status == 1 && mayFail)) || !run.err.empty()) {
        fuzz::finding(
            "a batch did not end with status 0 (or 1 under --fail) and nothing on standard error",
            run);
    }
    size_t answers = 0;
    for (size_t start = 0; start < run.out.size(); answers++) {
        size_t end = run.out.find('\n', start);
        if (end == std::string::npos ||
            !nlohmann::json::accept(std::string_view(run.out).substr(start, end - start))) {
            fuzz::finding("an answer is not one line of JSON", run);
        }
        start = end + 1;
    }
    if (answers != answersOwed(input)) {
        fuzz::finding("not one answer per line with a word", run);
    }
    return 0;
}
