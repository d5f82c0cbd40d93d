// The displays found by the latest discovery, and the lookup every command
// uses to turn the id or position given on the command line into one of them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/platform.h"

struct DisplayRecord {
    std::array<char, 40> id;      // EDID UUID text, the key callers use
    std::array<char, 24> serial;  // upper-case hex, or empty
    std::array<char, 128> name;   // UTF-8 product name, or "Display"
    AvService service;            // never null for a record in the table
};

inline constexpr int32_t kMaxDisplays = 16;

extern std::array<DisplayRecord, kMaxDisplays> g_displays;
extern int32_t g_count;

// Empties the table and gives back everything its records hold (each AV
// service handle). The one place the table is reset: discovery calls it
// before walking again, and a process may call it before it exits.
void releaseDisplays();

// First record whose id equals `id` exactly, or null.
const DisplayRecord* find_by_id(const char* id);

// The display a command-line selector names: the first record whose id
// equals `selector`, else the first whose id equals it with ASCII letter case
// ignored, else the record at that position in the table, written in decimal
// from 1 without sign or leading zero. Null when none finds one.
const DisplayRecord* findDisplay(const char* selector);

// Copies NUL-terminated text into a fixed field, cut to fit and always
// terminated.
void copyText(std::span<char> field, const char* text);
