// The command line: any argument vector on the built-in machine. Input: the
// arguments after the program name, separated by NUL bytes. Whatever they
// are, a run must not crash and must keep the tool's promises to callers:
// - the status is 0, 1 or 2, and 2 exactly when standard output is empty
//   (except for a batch, which answers nothing on empty input);
// - standard output is empty or exactly one line of valid JSON, except for
//   help and version, which print text for people;
// - standard error carries a complaint when the command line is refused, and
//   nothing otherwise; that complaint is one line of printable text.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "command_line_words.h"
#include "run_captured.h"
#include "sim_control.h"

namespace {

bool isOneLine(const std::string& text)
{
    return !text.empty() && text.find('\n') == text.size() - 1;
}

// Whether the code point at `at` is one a terminal shows rather than acts
// on; moves past it. Bytes that are not well-formed UTF-8 are not.
bool printableCharacter(const std::string& text, size_t* at)
{
    auto byte = static_cast<unsigned char>(text[*at]);
    if (byte < 0x80) {
        ++*at;
        return byte >= 0x20 && byte != 0x7F;
    }
    size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    if (length == 0 || byte > 0xF4 || *at + length > text.size()) {
        return false;
    }
    uint32_t point = byte & (0x7F >> length);
    for (size_t i = 1; i < length; i++) {
        auto next = static_cast<unsigned char>(text[*at + i]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        point = (point << 6) | (next & 0x3F);
    }
    *at += length;
    static constexpr uint32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    bool wellFormed =
        point >= kLowest[length] && point <= 0x10FFFF && !(point >= 0xD800 && point <= 0xDFFF);
    bool actsOnTerminal = point <= 0x9F || (point >= 0x200B && point <= 0x200F) ||
                          (point >= 0x2028 && point <= 0x202E) ||
                          (point >= 0x2060 && point <= 0x2069) || point == 0xFEFF;
    return wellFormed && !actsOnTerminal;
}

// Empty, or one line of text a terminal shows as it is: no control byte
// before the line feed, nothing that is not UTF-8, no character that moves
// the cursor or reorders the line.
bool isEmptyOrOnePrintableLine(const std::string& text)
{
    if (text.empty()) {
        return true;
    }
    if (!isOneLine(text)) {
        return false;
    }
    for (size_t at = 0; at + 1 < text.size();) {
        if (!printableCharacter(text, &at)) {
            return false;
        }
    }
    return true;
}

// Help and version, asked for by an option or by the command word after
// the options, in a run that was not refused.
bool asksForText(const std::vector<std::string>& args)
{
    std::optional<CommandLineStart> start = readCommandLineStart(args);
    return start && start->printsText;
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
    std::vector<std::string> args;
    if (size > 0) {
        std::string text(reinterpret_cast<const char*>(data), size);
        for (size_t start = 0;;) {
            size_t end = text.find('\0', start);
            args.push_back(text.substr(start, end - start));
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }

    // Every run starts on the same machine. Loading it costs more than most
    // runs, so it is loaded again only after a run that used the bus and so
    // may have changed a monitor (a value set, a reply pending).
    static bool busUsed = true;
    if (busUsed) {
        sim::loadDefaultScenario();
        sim::setFastPauses(true);
    }
    fuzz::RunOutput run = fuzz::runCaptured(args);
    busUsed = !sim::traceLines().empty();

    std::optional<CommandLineStart> start =
        run.status != 2 ? readCommandLineStart(args) : std::nullopt;
    if (start && !start->printsText && start->command == "batch") {
        // With nothing on standard input a batch answers nothing; its lines
        // are batch_fuzz's input.
        if (run.status != 0 || !run.out.empty() || !run.err.empty()) {
            fuzz::finding("a batch without input did not end quietly", run);
        }
        return 0;
    }

    if (run.status < 0 || run.status > 2) {
        fuzz::finding("status outside 0 to 2", run);
    }
    if ((run.status == 2) != run.out.empty()) {
        fuzz::finding("status 2 and an empty standard output do not go together", run);
    }
    if (run.status != 2 && asksForText(args)) {
        if (run.status != 0 || run.out.empty() || !run.err.empty() || !sim::traceLines().empty()) {
            fuzz::finding("help or version did not print text alone, without the bus", run);
        }
        return 0;
    }
    if (!run.out.empty() && (!isOneLine(run.out) || !nlohmann::json::accept(run.out))) {
        fuzz::finding("standard output is not one line of JSON", run);
    }
    // Whatever the arguments hold, what standard error echoes of them is
    // escaped and cut: one line a terminal shows as it is.
    if (!isEmptyOrOnePrintableLine(run.err)) {
        fuzz::finding("standard error is not empty or one line of printable text", run);
    }
    // A run that was not refused may only name the display it could not find.
    bool notice = run.err.starts_with("panoctl: no display ") &&
                  run.err.ends_with(" (panoctl list shows them)\n");
    bool complaint = !notice && !run.err.empty() && run.err.back() == '\n';
    if ((run.status == 2) != complaint || (run.status != 2 && !run.err.empty() && !notice)) {
        fuzz::finding("standard error has a complaint other than exactly when refused", run);
    }
    return 0;
}
