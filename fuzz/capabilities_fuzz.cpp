// The capabilities string parser on any bytes. It must not crash, must stay
// within its capacities, and what it gives must describe the input: texts
// that lie inside it with balanced parentheses, each code's values together
// and in order, and nothing dropped from an input that fits.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "mccs/capabilities_parse.h"

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

void checkText(std::string_view input, const std::optional<std::string_view>& text)
{
    if (!text) {
        return;
    }
    if (text->data() < input.data() || text->data() + text->size() > input.data() + input.size()) {
        finding("a text member points outside the input");
    }
    long depth = 0;
    for (char c : *text) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth < 0) {
            finding("a text member closes a parenthesis it did not open");
        }
    }
    if (depth != 0) {
        finding("a text member leaves a parenthesis open");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    static Capabilities capabilities;
    parseCapabilities(input, &capabilities);

    if (capabilities.commandCount > kMaxCapabilityCodes ||
        capabilities.vcpCount > kMaxCapabilityCodes ||
        capabilities.valueCount > kMaxCapabilityCodes) {
        finding("a count past its capacity");
    }
    if (capabilities.truncated && size <= 2 * kMaxCapabilityCodes) {
        finding("codes dropped from an input that fits");
    }
    checkText(input, capabilities.model);
    checkText(input, capabilities.type);
    checkText(input, capabilities.mccsVersion);

    size_t nextValue = 0;
    for (size_t i = 0; i < capabilities.vcpCount; i++) {
        const CapabilitiesVcpCode& code = capabilities.vcp[i];
        if (!code.listsValues) {
            if (code.valueCount != 0) {
                finding("values on a code that lists none");
            }
            continue;
        }
        if (code.firstValue != nextValue || code.valueCount == 0) {
            finding("a code's values are not together, in order, after the last code's");
        }
        nextValue += code.valueCount;
    }
    if (nextValue != capabilities.valueCount) {
        finding("values that belong to no code");
    }
    return 0;
}
