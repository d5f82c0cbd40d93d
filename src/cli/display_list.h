// Selectors that name several displays: `all`, or a comma-separated list of
// positions and ids such as `1,3`. A command given one serves each display
// named and prints a JSON array with one entry per list element.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

#include "cli/commands.h"
#include "cli/session.h"
#include "discovery/display_table.h"

// The longest list accepted, in bytes.
inline constexpr size_t kMaxDisplayListLength = 4095;
// Most elements a list may have.
inline constexpr size_t kMaxDisplayListElements = kMaxDisplays;

// One entry of the document: a display of the table, or the word of a list
// element that names none.
struct DisplayListEntry {
    const DisplayRecord* display;  // null: `word` names no display
    const char* word;              // the element as given, NUL-terminated
};

struct DisplayList {
    std::array<char, kMaxDisplayListLength + 1> words;  // the list, its commas made NULs
    std::array<DisplayListEntry, kMaxDisplayListElements> entries;
    size_t count;
};

// Whether `selector` names several displays: `all`, or text with a comma
// that is not the id of a display in the table, in any letter case (an id is
// always one display).
bool namesSeveralDisplays(const Session& session, const char* selector);

// For the commands that serve one display only (capabilities, features,
// probeaddr, save, restore): refuses a
// selector that names several, "panoctl: <command> takes one display: <selector>",
// and returns false then.
bool refuseSeveralDisplays(Session* session, CommandWords words);

// Reads the list `selector` into `list`, in the list's order: every display
// of the table for `all`; for a list, each element's display (a display
// named again is left out, served at its first place) or the element's word.
// In a batch, `all` and a list with an element that names nothing discover
// again first, as a single selector does. Refuses (and returns false) a
// list with an empty element, one longer than kMaxDisplayListLength bytes and
// one of more than kMaxDisplayListElements elements.
bool readDisplayList(Session* session, const char* selector, DisplayList* list);

// The start of a display's entry, `{"display":<position>,"id":"<id>"`, or,
// for a word that names no display, the whole entry:
// `{"display":null,"id":"<word>","error":"no_such_display"}`. `index` is
// the entry's place in the document (a comma is written before all but the
// first).
void printEntryStart(const Session& session, const DisplayListEntry& entry, size_t index);
