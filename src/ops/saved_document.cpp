#include "ops/saved_document.h"

#include <cerrno>
#include <cstdlib>

#include "mccs/feature_names.h"

namespace {

// A key decoded from JSON escapes, as far as a feature key can be long.
using KeyText = std::array<char, 32>;

class Reader {
public:
    Reader(std::string_view text, SavedSettings* settings, DocumentReading* result,
           const OwnRestorable& own)
        : text_(text), settings_(settings), result_(result), own_(own)
    {
    }

    bool document()
    {
        skipSpace();
        if (peek() == '{') {
            if (!object(0, true)) {
                return false;
            }
        } else if (!value(0)) {
            return false;
        } else {
            refuse(DocumentProblem::notObject, {});
        }
        skipSpace();
        if (at_ != text_.size()) {
            return fail("text after the document");
        }
        if (!sawFeatures_) {
            refuse(DocumentProblem::noFeatures, {});
        }
        return true;
    }

private:
    std::string_view text_;
    size_t at_ = 0;
    SavedSettings* settings_;
    DocumentReading* result_;
    const OwnRestorable& own_;
    bool sawFeatures_ = false;

    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool atEnd() const { return at_ >= text_.size(); }

    bool fail(const char* what)
    {
        result_->problem = DocumentProblem::notJson;
        result_->key = {};
        result_->what = atEnd() ? "unexpected end" : what;
        result_->offset = at_;
        return false;
    }

    // The first refusal of what the document says is kept; reading goes on,
    // so that a document that is not JSON is refused as such.
    void refuse(DocumentProblem problem, std::string_view key)
    {
        if (result_->problem == DocumentProblem::none) {
            result_->problem = problem;
            result_->key = key;
        }
    }

    void skipSpace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            at_++;
        }
    }

    bool take(char c, const char* what)
    {
        skipSpace();
        if (peek() != c) {
            return fail(what);
        }
        at_++;
        return true;
    }

    bool value(int depth)
    {
        skipSpace();
        char c = peek();
        if (c == '{' || c == '[') {
            if (depth >= kMaxSavedDocumentDepth) {
                return fail("nested too deeply");
            }
            return c == '{' ? object(depth + 1, false) : array(depth + 1);
        }
        if (c == '"') {
            std::string_view raw;
            return string(&raw);
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            std::string_view raw;
            return number(&raw);
        }
        for (std::string_view literal : {"true", "false", "null"}) {
            if (text_.substr(at_, literal.size()) == literal) {
                at_ += literal.size();
                return true;
            }
        }
        return fail("a value expected");
    }

    bool array(int depth)
    {
        at_++;  // '['
        skipSpace();
        if (peek() == ']') {
            at_++;
            return true;
        }
        for (;;) {
            if (!value(depth)) {
                return false;
            }
            skipSpace();
            if (peek() == ']') {
                at_++;
                return true;
            }
            if (!take(',', "',' or ']' expected")) {
                return false;
            }
        }
    }

    // The members of the object that starts here, each key (as written) and
    // value read by `member`.
    template <typename Member>
    bool members(Member&& member)
    {
        at_++;  // '{'
        skipSpace();
        if (peek() == '}') {
            at_++;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string_view key;
            if (peek() != '"') {
                return fail("a member name expected");
            }
            if (!string(&key) || !take(':', "':' expected") || !member(key)) {
                return false;
            }
            skipSpace();
            if (peek() == '}') {
                at_++;
                return true;
            }
            if (!take(',', "',' or '}' expected")) {
                return false;
            }
        }
    }

    // An object; the top one's "features" member is read as the settings.
    bool object(int depth, bool top)
    {
        return members([&](std::string_view key) {
            return top && key == "features" ? featuresMember(depth) : value(depth);
        });
    }

    bool featuresMember(int depth)
    {
        if (sawFeatures_) {
            refuse(DocumentProblem::featuresTwice, {});
        }
        sawFeatures_ = true;
        skipSpace();
        if (peek() != '{') {
            refuse(DocumentProblem::noFeatures, {});
            return value(depth);
        }
        return members([&](std::string_view key) { return feature(key, depth); });
    }

    // One member of "features": its key, as written, and its value.
    bool feature(std::string_view key, int depth)
    {
        skipSpace();
        std::optional<uint16_t> setting;
        if (peek() == '-' || (peek() >= '0' && peek() <= '9')) {
            std::string_view raw;
            if (!number(&raw)) {
                return false;
            }
            setting = settingValue(raw);
        } else if (!value(depth)) {
            return false;
        }
        std::optional<size_t> index = featureIndex(key, own_);
        if (!index) {
            refuse(DocumentProblem::notRestorable, key);
        } else if (!setting) {
            refuse(DocumentProblem::notAnInteger, key);
        } else if (settings_->values[*index]) {
            refuse(DocumentProblem::givenTwice, key);
        } else {
            settings_->values[*index] = setting;
        }
        return true;
    }

    // A string whose text, between the quotes and still escaped, goes to
    // `raw`: escapes well formed, no control bytes, valid UTF-8.
    bool string(std::string_view* raw)
    {
        at_++;  // '"'
        size_t start = at_;
        while (!atEnd()) {
            auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                *raw = text_.substr(start, at_ - start);
                at_++;
                return true;
            }
            if (c < 0x20) {
                return fail("a control byte in a string");
            }
            if (c == '\\') {
                if (!escape()) {
                    return false;
                }
            } else if (c >= 0x80) {
                if (!utf8Sequence()) {
                    return false;
                }
            } else {
                at_++;
            }
        }
        return fail("unexpected end");
    }

    std::optional<unsigned> hex4(size_t from) const
    {
        if (from + 4 > text_.size()) {
            return std::nullopt;
        }
        unsigned code = 0;
        for (size_t i = from; i < from + 4; i++) {
            char c = text_[i];
            unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                             : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                             : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                    : 16U;
            if (digit == 16) {
                return std::nullopt;
            }
            code = code << 4 | digit;
        }
        return code;
    }

    // A backslash escape; a \u escape of a surrogate must be a whole pair.
    bool escape()
    {
        at_++;  // '\'
        char c = peek();
        if (c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' ||
            c == 't') {
            at_++;
            return true;
        }
        if (c != 'u') {
            return fail("an invalid escape");
        }
        std::optional<unsigned> code = hex4(at_ + 1);
        if (!code) {
            return fail("an invalid \\u escape");
        }
        at_ += 5;
        if (*code >= 0xDC00 && *code <= 0xDFFF) {
            return fail("a lone surrogate");
        }
        if (*code >= 0xD800 && *code <= 0xDBFF) {
            std::optional<unsigned> low =
                text_.substr(at_, 2) == "\\u" ? hex4(at_ + 2) : std::nullopt;
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                return fail("a lone surrogate");
            }
            at_ += 6;
        }
        return true;
    }

    // One UTF-8 sequence of two to four bytes: shortest form, no surrogates,
    // nothing past U+10FFFF.
    bool utf8Sequence()
    {
        auto lead = static_cast<unsigned char>(text_[at_]);
        size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        if (length == 0 || at_ + length > text_.size()) {
            return fail("invalid UTF-8");
        }
        auto second = static_cast<unsigned char>(text_[at_ + 1]);
        unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) {
            return fail("invalid UTF-8");
        }
        for (size_t i = 2; i < length; i++) {
            auto next = static_cast<unsigned char>(text_[at_ + i]);
            if (next < 0x80 || next > 0xBF) {
                return fail("invalid UTF-8");
            }
        }
        at_ += length;
        return true;
    }

    bool digits()
    {
        if (peek() < '0' || peek() > '9') {
            return fail("a digit expected");
        }
        while (peek() >= '0' && peek() <= '9') {
            at_++;
        }
        return true;
    }

    // A JSON number: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    bool number(std::string_view* raw)
    {
        size_t start = at_;
        if (peek() == '-') {
            at_++;
        }
        if (peek() == '0') {
            at_++;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            at_++;
            if (!digits()) {
                return false;
            }
        }
        if (peek() == 'e' || peek() == 'E') {
            at_++;
            if (peek() == '+' || peek() == '-') {
                at_++;
            }
            if (!digits()) {
                return false;
            }
        }
        *raw = text_.substr(start, at_ - start);
        return true;
    }

    // A number written as a plain integer from 0 to 65535: no sign,
    // fraction or exponent.
    static std::optional<uint16_t> settingValue(std::string_view raw)
    {
        if (raw.empty() || raw.size() > 5) {
            return std::nullopt;
        }
        unsigned long setting = 0;
        for (char c : raw) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            setting = setting * 10 + static_cast<unsigned long>(c - '0');
        }
        if (setting > 0xFFFF) {
            return std::nullopt;
        }
        return static_cast<uint16_t>(setting);
    }

    // The key's text with its escapes decoded, when it is short and plain
    // enough to name a feature: ASCII only.
    static std::optional<std::string_view> decodedKey(std::string_view raw, KeyText* decoded)
    {
        size_t length = 0;
        for (size_t i = 0; i < raw.size(); i++) {
            char c = raw[i];
            if (c == '\\') {
                // Only \u00XX of ASCII can spell a feature key; other escapes cannot.
                if (raw.substr(i + 1, 3) != "u00" || i + 6 > raw.size()) {
                    return std::nullopt;
                }
                char* end = nullptr;
                std::array<char, 3> digits{raw[i + 4], raw[i + 5], '\0'};
                long code = std::strtol(digits.data(), &end, 16);
                if (end != digits.data() + 2 || code <= 0 || code >= 0x80) {
                    return std::nullopt;
                }
                c = static_cast<char>(code);
                i += 5;
            }
            if (length + 1 >= decoded->size()) {
                return std::nullopt;
            }
            (*decoded)[length++] = c;
        }
        (*decoded)[length] = '\0';
        return std::string_view(decoded->data(), length);
    }

    // The restorable feature a key names: a feature name, or a code in any
    // number syntax (decimal, 0x hexadecimal, leading-0 octal).
    static std::optional<size_t> featureIndex(std::string_view raw, const OwnRestorable& own)
    {
        KeyText decoded{};
        std::optional<std::string_view> key = decodedKey(raw, &decoded);
        if (!key || key->empty()) {
            return std::nullopt;
        }
        if (const FeatureName* named = featureByName(*key)) {
            return restoreIndex(named->code);
        }
        for (size_t i = 0; i < own.count; i++) {
            if (sameNameIgnoringCase(own.names[i], *key)) {
                return kRestorableCount + i;
            }
        }
        // strtol would also take leading spaces and a sign.
        if ((*key)[0] < '0' || (*key)[0] > '9') {
            return std::nullopt;
        }
        char* end = nullptr;
        errno = 0;
        long code = std::strtol(decoded.data(), &end, 0);
        if (end != decoded.data() + key->size() || errno == ERANGE || code < 0 || code > 0xFF) {
            return std::nullopt;
        }
        for (size_t i = 0; i < own.count; i++) {
            if (own.codes[i] == code) {
                return kRestorableCount + i;
            }
        }
        return restoreIndex(static_cast<uint8_t>(code));
    }
};

}  // namespace

DocumentReading readSavedDocument(std::string_view text, SavedSettings* settings,
                                  const OwnRestorable& own)
{
    *settings = SavedSettings{};
    DocumentReading result;
    if (text.size() > kMaxSavedDocumentBytes) {
        result.problem = DocumentProblem::tooLarge;
        return result;
    }
    Reader reader(text, settings, &result, own);
    if (!reader.document() || result.problem != DocumentProblem::none) {
        // What a refused document asked for is nothing to act on.
        *settings = SavedSettings{};
    }
    return result;
}
