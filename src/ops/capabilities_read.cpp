#include "ops/capabilities_read.h"

#include <cstring>
#include <string_view>

#include "ops/capabilities_cache.h"

size_t readUsableCapabilities(const DdcLink& link, CapabilitiesText* text)
{
    bool whole = false;
    return asReadCapabilities(link, text, &whole);
}

size_t readCachedCapabilities(const DdcLink& link, const DisplayRecord& display, bool refresh,
                              CapabilitiesText* text)
{
    if (!refresh) {
        if (size_t length = loadCachedCapabilities(display, text); length > 0) {
            return length;
        }
    }
    bool whole = false;
    size_t length = asReadCapabilities(link, text, &whole);
    if (whole) {
        storeCachedCapabilities(display, std::string_view(text->data(), length));
    }
    return length;
}

void decodeCapabilities(const CapabilitiesText& text, size_t length, Capabilities* capabilities)
{
    parseCapabilities(std::string_view(text.data(), strnlen(text.data(), length)), capabilities);
}
