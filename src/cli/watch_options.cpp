#include "cli/watch_options.h"

#include <algorithm>
#include <cstring>

#include "cli/arguments.h"
#include "mccs/restorable.h"

namespace {

void addCode(WatchedFeatures* features, uint8_t code)
{
    auto taken = std::span(features->codes).first(features->count);
    if (std::find(taken.begin(), taken.end(), code) == taken.end()) {
        features->codes[features->count++] = code;
    }
}

// One element of the list, `length` bytes from `start`.
bool addElement(Refusals* refusals, const Configuration& config, const char* start, size_t length,
                WatchedFeatures* features)
{
    // No feature name or number is this long; a longer one is refused whole.
    std::array<char, 64> word{};
    if (length >= word.size()) {
        refuseCommandLine(refusals,
                          "panoctl: unknown feature: %.*s (panoctl help features lists them)",
                          static_cast<int>(length), start);
        return false;
    }
    std::memcpy(word.data(), start, length);
    if (std::strcmp(word.data(), "restorable") == 0) {
        for (const RestorableFeature& feature : restorableByCode()) {
            addCode(features, feature.code);
        }
        return true;
    }
    std::optional<uint8_t> code = parseFeatureArgument(refusals, config, word.data());
    if (!code) {
        return false;
    }
    addCode(features, *code);
    return true;
}

}  // namespace

bool parseWatchedFeatures(Refusals* refusals, const Configuration& config, const char* text,
                          WatchedFeatures* features)
{
    *features = WatchedFeatures{};
    const char* start = text;
    for (;;) {
        const char* comma = std::strchr(start, ',');
        size_t length = comma != nullptr ? static_cast<size_t>(comma - start) : std::strlen(start);
        if (!addElement(refusals, config, start, length, features)) {
            return false;
        }
        if (comma == nullptr) {
            return true;
        }
        start = comma + 1;
    }
}

bool parseTickSeconds(Refusals* refusals, const char* text, int* millis)
{
    // Digits, then at most three after a point: "2", "0.5", "1.25".
    long whole = 0;
    long thousandths = 0;
    const char* c = text;
    bool digits = false;
    for (; *c >= '0' && *c <= '9' && whole <= 3600; c++) {
        whole = whole * 10 + (*c - '0');
        digits = true;
    }
    int decimals = 0;
    if (*c == '.') {
        for (c++; *c >= '0' && *c <= '9' && decimals < 3; c++, decimals++) {
            thousandths = thousandths * 10 + (*c - '0');
        }
        digits = digits && decimals > 0;
    }
    if (!digits || *c != '\0') {
        bool tooLong = *c >= '0' && *c <= '9';
        if (!tooLong) {
            refuseCommandLine(refusals, "panoctl: invalid number: %s", text);
            return false;
        }
    } else {
        for (; decimals < 3; decimals++) {
            thousandths *= 10;
        }
        long total = whole * 1000 + thousandths;
        if (total >= kShortestTickMillis && total <= kLongestTickMillis) {
            *millis = static_cast<int>(total);
            return true;
        }
    }
    refuseCommandLine(refusals, "panoctl: out of range: --every %s (0.5 to 3600 seconds)", text);
    return false;
}
