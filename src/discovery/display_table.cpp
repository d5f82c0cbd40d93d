#include "discovery/display_table.h"

#include <cstdio>
#include <cstring>

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

void copyText(std::span<char> field, const char* text)
{
    std::snprintf(field.data(), field.size(), "%s", text);
}
