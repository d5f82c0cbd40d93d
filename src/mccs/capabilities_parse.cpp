#include "mccs/capabilities_parse.h"

#include <array>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

// Index of the ')' that closes the '(' at `open`, or npos when the text ends
// first. Counting, not recursion: any depth of nesting costs no stack.
size_t closingParenthesis(std::string_view text, size_t open)
{
    size_t depth = 0;
    for (size_t i = open; i < text.size(); i++) {
        if (text[i] == '(') {
            depth++;
        } else if (text[i] == ')' && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The segment name right before the '(' at `open`: the run of name
// characters that ends there, spaces before the '(' allowed.
std::string_view segmentName(std::string_view text, size_t from, size_t open)
{
    size_t end = open;
    while (end > from && isSpace(text[end - 1])) {
        end--;
    }
    size_t start = end;
    while (start > from && isNameChar(text[start - 1])) {
        start--;
    }
    return text.substr(start, end - start);
}

// Whether the list whose '(' is at `open` holds words written apart: white
// space between two of its other characters, before the ')' that closes it.
bool holdsSeveralTokens(std::string_view content, size_t open)
{
    size_t depth = 0;
    bool sawWord = false;
    bool gap = false;
    for (size_t i = open; i < content.size(); i++) {
        char c = content[i];
        if (c == '(') {
            depth++;
        } else if (c == ')' && --depth == 0) {
            return false;
        }
        if (isSpace(c)) {
            gap = sawWord;
        } else if (i != open) {
            if (gap) {
                return true;
            }
            sawWord = true;
        }
    }
    return false;
}

// Where the codes of a cmds or vcp segment go.
class CodeListReader {
public:
    CodeListReader(Capabilities* out, bool isVcp) : out_(out), isVcp_(isVcp) {}

    // Codes written directly inside the segment; for vcp, the values written
    // directly inside the parentheses that follow a code. Deeper is skipped.
    void read(std::string_view content)
    {
        size_t depth = 0;
        size_t i = 0;
        while (i < content.size()) {
            char c = content[i];
            if (hexDigit(c) >= 0) {
                i = readHexRun(content, i, depth);
                continue;
            }
            if (c == '(') {
                if (depth == 0) {
                    valuesOpen_ = isVcp_ && attachable_;
                    spacedValues_ = valuesOpen_ && holdsSeveralTokens(content, i);
                }
                depth++;
            } else if (c == ')' && depth > 0) {
                // A stray ')' at the segment's own level is skipped like any junk.
                valuesOpen_ = valuesOpen_ && depth > 1;
                depth--;
            }
            if (!isSpace(c)) {
                attachable_ = false;
            }
            i++;
        }
    }

private:
    // Reads the hex digits from `start` two at a time (a trailing odd digit
    // is skipped) and returns where they end.
    size_t readHexRun(std::string_view content, size_t start, size_t depth)
    {
        size_t end = start;
        while (end < content.size() && hexDigit(content[end]) >= 0) {
            end++;
        }
        // Values written apart are one byte each, so a longer one among them
        // (a colour temperature as `5000`) is no byte and is skipped; a list
        // written as one run is its bytes run together.
        bool valueBytes = depth == 1 && valuesOpen_ && (!spacedValues_ || end - start <= 2);
        bool lastCodeKept = false;
        for (size_t i = start; i + 1 < end; i += 2) {
            auto byte = static_cast<uint8_t>(hexDigit(content[i]) * 16 + hexDigit(content[i + 1]));
            if (depth == 0) {
                lastCodeKept = addCode(byte);
            } else if (valueBytes) {
                addValue(byte);
            }
        }
        attachable_ = lastCodeKept && (end - start) % 2 == 0;
        return end;
    }

    bool addCode(uint8_t code)
    {
        size_t* count = isVcp_ ? &out_->vcpCount : &out_->commandCount;
        if (*count == kMaxCapabilityCodes) {
            out_->truncated = true;
            return false;
        }
        if (isVcp_) {
            out_->vcp[(*count)++] = {code, false, 0, 0};
        } else {
            out_->commands[(*count)++] = code;
        }
        return true;
    }

    // Values follow their code in the pool, so a code's values stay together.
    void addValue(uint8_t value)
    {
        if (out_->valueCount == kMaxCapabilityCodes) {
            out_->truncated = true;
            return;
        }
        CapabilitiesVcpCode& code = out_->vcp[out_->vcpCount - 1];
        if (!code.listsValues) {
            code.listsValues = true;
            code.firstValue = static_cast<uint16_t>(out_->valueCount);
        }
        out_->values[out_->valueCount++] = value;
        code.valueCount++;
    }

    Capabilities* out_;
    bool isVcp_;
    bool attachable_ = false;    // the last thing read was a whole code
    bool valuesOpen_ = false;    // inside the parentheses of a code's values
    bool spacedValues_ = false;  // those values are written apart
};

// The segments read, by name.
constexpr std::array<std::string_view, 5> kSegmentNames{"model", "type", "mccs_ver", "cmds", "vcp"};

// The segment `name` names, in any letter case, or "" for any other. A value
// written without parentheses runs into the name that follows it
// (`34uc88cmds(`), so a name is known by how it ends.
std::string_view knownSegment(std::string_view name)
{
    for (std::string_view known : kSegmentNames) {
        if (name.size() >= known.size() &&
            equalsIgnoringCase(name.substr(name.size() - known.size()), known)) {
            return known;
        }
    }
    return {};
}

std::string_view withoutSpaces(std::string_view text)
{
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A model written without parentheses (`model LCDPA328 cmds(`,
// `modelVG278Hcmds(`): `between`, what lies between the last segment and
// the next one's name, is the word model and the model's text.
std::optional<std::string_view> bareModel(std::string_view between)
{
    constexpr std::string_view kWord = "model";
    between = withoutSpaces(between);
    if (between.size() <= kWord.size() ||
        !equalsIgnoringCase(between.substr(0, kWord.size()), kWord)) {
        return std::nullopt;
    }
    return withoutSpaces(between.substr(kWord.size()));
}

void readSegment(std::string_view known, std::string_view content, bool closed, Capabilities* out)
{
    // A text segment cut off before its ')' would give a wrong text, not a short one.
    auto readText = [&](std::optional<std::string_view>* field) {
        if (closed && !field->has_value()) {
            *field = content;
        }
    };
    if (known == "model") {
        readText(&out->model);
    } else if (known == "type") {
        readText(&out->type);
    } else if (known == "mccs_ver") {
        readText(&out->mccsVersion);
    } else if (known == "cmds") {
        CodeListReader(out, false).read(content);
    } else if (known == "vcp") {
        CodeListReader(out, true).read(content);
    }
}

}  // namespace

void parseCapabilities(std::string_view text, Capabilities* capabilities)
{
    Capabilities& out = *capabilities;
    out.model.reset();
    out.type.reset();
    out.mccsVersion.reset();
    out.commandCount = 0;
    out.vcpCount = 0;
    out.valueCount = 0;
    out.truncated = false;

    // The segments sit inside one outer pair of parentheses, or none, or
    // two: a group with no name only wraps segments, so reading goes on
    // inside it as at the top level, at any depth of wrapping.
    size_t i = 0;
    size_t nameFrom = 0;
    while (i < text.size()) {
        if (text[i] == '(') {
            std::string_view name = segmentName(text, nameFrom, i);
            if (name.empty()) {
                i++;
                nameFrom = i;
                continue;
            }
            std::string_view known = knownSegment(name);
            size_t nameStart = static_cast<size_t>(name.data() - text.data());
            size_t betweenEnd = known.empty() ? nameStart : nameStart + name.size() - known.size();
            if (!out.model) {
                out.model = bareModel(text.substr(nameFrom, betweenEnd - nameFrom));
            }
            size_t close = closingParenthesis(text, i);
            size_t end = close == std::string_view::npos ? text.size() : close;
            readSegment(known, text.substr(i + 1, end - i - 1), close != std::string_view::npos,
                        &out);
            if (close == std::string_view::npos) {
                return;
            }
            i = close + 1;
            nameFrom = i;
            continue;
        }
        if (text[i] == ')') {
            // A wrapper's end, or a stray one: what follows is read at
            // the top level all the same.
            nameFrom = i + 1;
        }
        i++;
    }
}

std::span<const uint8_t> vcpValues(const Capabilities& capabilities,
                                   const CapabilitiesVcpCode& code)
{
    return std::span(capabilities.values).subspan(code.firstValue, code.valueCount);
}
