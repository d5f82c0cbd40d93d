#include "ops/cache_header.h"

#include <array>
#include <cinttypes>
#include <cstdio>

namespace {

constexpr std::string_view kMagic = "panoctl capabilities cache 1\n";

// The header up to and including the path line: what names the display.
int writeKey(const DisplayRecord& display, std::span<char> out)
{
    return std::snprintf(out.data(), out.size(), "%sid %s\nserial %s\npath %s\n", kMagic.data(),
                         display.id.data(), display.serial.data(), display.registryPath.data());
}

// Reads "<name> <decimal>\n" or, with `hex`, 16 hex digits, at the front of
// `rest`, moving past it.
bool readNumber(std::string_view* rest, std::string_view name, bool hex, uint64_t* value)
{
    if (rest->substr(0, name.size()) != name) {
        return false;
    }
    rest->remove_prefix(name.size());
    size_t digits = 0;
    *value = 0;
    for (; digits < rest->size() && digits < 20; digits++) {
        char c = (*rest)[digits];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            break;
        }
        *value = *value * (hex ? 16 : 10) + digit;
    }
    bool fits = hex ? digits == 16 : digits > 0 && digits <= 6;
    if (!fits || digits >= rest->size() || (*rest)[digits] != '\n') {
        return false;
    }
    rest->remove_prefix(digits + 1);
    return true;
}

}  // namespace

uint64_t cacheChecksum(std::string_view text)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return hash;
}

size_t writeCacheHeader(const DisplayRecord& display, std::string_view text, std::span<char> out)
{
    int key = writeKey(display, out);
    if (key <= 0 || static_cast<size_t>(key) >= out.size()) {
        return 0;
    }
    auto used = static_cast<size_t>(key);
    int rest =
        std::snprintf(out.data() + used, out.size() - used,
                      "length %zu\nchecksum %016" PRIx64 "\n\n", text.size(), cacheChecksum(text));
    if (rest <= 0 || static_cast<size_t>(rest) >= out.size() - used) {
        return 0;
    }
    return used + static_cast<size_t>(rest);
}

std::string_view cachedText(const DisplayRecord& display, std::string_view file)
{
    std::array<char, kMaxCacheHeaderBytes> key{};
    int keyLength = writeKey(display, key);
    if (keyLength <= 0 || static_cast<size_t>(keyLength) >= key.size() ||
        file.substr(0, static_cast<size_t>(keyLength)) !=
            std::string_view(key.data(), static_cast<size_t>(keyLength))) {
        return {};
    }
    std::string_view rest = file.substr(static_cast<size_t>(keyLength));
    uint64_t length = 0;
    uint64_t checksum = 0;
    if (!readNumber(&rest, "length ", false, &length) ||
        !readNumber(&rest, "checksum ", true, &checksum) || rest.empty() || rest[0] != '\n') {
        return {};
    }
    rest.remove_prefix(1);
    if (rest.size() != length || cacheChecksum(rest) != checksum) {
        return {};
    }
    return rest;
}
