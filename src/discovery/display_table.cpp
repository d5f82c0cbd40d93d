#include "discovery/display_table.h"

#include <cstdio>
#include <cstring>

#include "ddc/display_lock.h"

std::array<DisplayRecord, kMaxDisplays> g_displays;
int32_t g_count = 0;

void releaseDisplays()
{
    for (int32_t i = 0; i < g_count; i++) {
        if (g_displays[i].service != nullptr) {
            CFRelease(g_displays[i].service);
            g_displays[i].service = nullptr;
        }
    }
    // The lock files kept open belong to the records.
    releaseDisplayLocks();
    g_count = 0;
}

const DisplayRecord* find_by_id(const char* id)
{
    for (int32_t i = 0; i < g_count; i++) {
        if (std::strcmp(g_displays[i].id.data(), id) == 0) {
            return &g_displays[i];
        }
    }
    return nullptr;
}

namespace {

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(const char* a, const char* b)
{
    for (; *a != '\0' && asciiLower(*a) == asciiLower(*b); a++, b++) {
    }
    return asciiLower(*a) == asciiLower(*b);
}

// The first display in list order whose id equals `id` with ASCII letter
// case ignored: EDID UUIDs are hexadecimal, written in either case.
const DisplayRecord* findByIdIgnoringCase(const char* id)
{
    for (int32_t i = 0; i < g_count; i++) {
        if (equalIgnoringAsciiCase(g_displays[i].id.data(), id)) {
            return &g_displays[i];
        }
    }
    return nullptr;
}

// The position that `text` writes ("1" to "16"), or 0 when it writes none.
int32_t displayPosition(const char* text)
{
    if (text[0] < '1' || text[0] > '9') {
        return 0;
    }
    int32_t position = 0;
    for (const char* digit = text; *digit != '\0'; digit++) {
        if (*digit < '0' || *digit > '9') {
            return 0;
        }
        position = position * 10 + (*digit - '0');
        if (position > kMaxDisplays) {
            return 0;
        }
    }
    return position;
}

}  // namespace

const DisplayRecord* findDisplay(const char* selector)
{
    if (const DisplayRecord* display = find_by_id(selector)) {
        return display;
    }
    if (const DisplayRecord* display = findByIdIgnoringCase(selector)) {
        return display;
    }
    int32_t position = displayPosition(selector);
    return position >= 1 && position <= g_count ? &g_displays[position - 1] : nullptr;
}

void copyText(std::span<char> field, const char* text)
{
    std::snprintf(field.data(), field.size(), "%s", text);
}
