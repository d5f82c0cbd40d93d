#include "cli/display_list.h"

#include <cstring>

#include "cli/display_lookup.h"
#include "config/config_lookup.h"
#include "config/display_selector.h"
#include "ops/json_escape.h"

namespace {

constexpr const char* kAllWord = "all";

bool isAll(const char* selector)
{
    return std::strcmp(selector, kAllWord) == 0;
}

// Splits the list at its commas into `list`'s words; false (after refusing)
// for a list that is too long, has an empty element or too many.
bool splitList(Refusals* refusals, const char* selector, DisplayList* list)
{
    size_t length = std::strlen(selector);
    if (length > kMaxDisplayListLength) {
        refuseCommandLine(refusals, "panoctl: display list too long: %zu bytes, at most %zu",
                          length, kMaxDisplayListLength);
        return false;
    }
    std::memcpy(list->words.data(), selector, length + 1);
    list->count = 0;
    char* element = list->words.data();
    for (;;) {
        char* comma = std::strchr(element, ',');
        if (comma != nullptr) {
            *comma = '\0';
        }
        if (*element == '\0') {
            refuseCommandLine(refusals, "panoctl: empty display in list: %s", selector);
            return false;
        }
        if (list->count == list->entries.size()) {
            refuseCommandLine(refusals, "panoctl: more than %zu displays in list: %s",
                              kMaxDisplayListElements, selector);
            return false;
        }
        list->entries[list->count++] = DisplayListEntry{nullptr, element};
        if (comma == nullptr) {
            return true;
        }
        element = comma + 1;
    }
}

// Puts the aliases of each group named in the list in its place, in the
// group's order; false (after refusing) when that makes the list too long.
bool expandGroups(const Session& session, Refusals* refusals, const char* selector,
                  DisplayList* list)
{
    std::array<DisplayListEntry, kMaxDisplayListElements> expanded{};
    size_t count = 0;
    for (size_t i = 0; i < list->count; i++) {
        const ConfigGroup* group = findGroup(session.config, list->entries[i].word);
        size_t needed = group != nullptr ? group->memberCount : 1;
        if (count + needed > expanded.size()) {
            refuseCommandLine(refusals, "panoctl: more than %zu displays in list: %s",
                              kMaxDisplayListElements, selector);
            return false;
        }
        if (group == nullptr) {
            expanded[count++] = list->entries[i];
            continue;
        }
        for (size_t m = 0; m < group->memberCount; m++) {
            const char* alias = session.config.displays[group->members[m]].alias.data();
            expanded[count++] = DisplayListEntry{nullptr, alias};
        }
    }
    list->entries = expanded;
    list->count = count;
    return true;
}

// Looks each word up in the table as it is; false when one names nothing.
bool resolveWords(const Session& session, DisplayList* list)
{
    bool allFound = true;
    for (size_t i = 0; i < list->count; i++) {
        list->entries[i].display =
            findSelected(session.config, session.displays, list->entries[i].word);
        allFound = allFound && list->entries[i].display != nullptr;
    }
    return allFound;
}

// Leaves out each display named again after its first place.
void dropRepeats(DisplayList* list)
{
    size_t kept = 0;
    for (size_t i = 0; i < list->count; i++) {
        const DisplayListEntry& entry = list->entries[i];
        bool repeated = false;
        for (size_t j = 0; j < kept && entry.display != nullptr; j++) {
            repeated = repeated || list->entries[j].display == entry.display;
        }
        if (!repeated) {
            list->entries[kept++] = entry;
        }
    }
    list->count = kept;
}

}  // namespace

bool namesSeveralDisplays(const Session& session, const char* selector)
{
    return isAll(selector) || findGroup(session.config, selector) != nullptr ||
           (std::strchr(selector, ',') != nullptr &&
            findDisplay(session.displays, selector) == nullptr);
}

bool refuseSeveralDisplays(Session* session, CommandWords words)
{
    if (!namesSeveralDisplays(*session, words[1])) {
        return true;
    }
    refuseCommandLine(&session->refusals, "panoctl: %s takes one display: %s", words[0], words[1]);
    return false;
}

bool readDisplayList(Session* session, const char* selector, DisplayList* list)
{
    if (isAll(selector)) {
        // A batch may have seen displays come and go since its last discovery.
        if (session->rediscoverOnMiss) {
            discoverDisplays(session);
        }
        list->count = 0;
        for (const DisplayRecord& display : session->displays.displays()) {
            list->entries[list->count++] = DisplayListEntry{&display, kAllWord};
        }
        return true;
    }
    if (!splitList(&session->refusals, selector, list) ||
        !expandGroups(*session, &session->refusals, selector, list)) {
        return false;
    }
    if (!resolveWords(*session, list) && session->rediscoverOnMiss) {
        discoverDisplays(session);
        resolveWords(*session, list);
    }
    dropRepeats(list);
    return true;
}

void printEntryStart(const Session& session, const DisplayListEntry& entry, size_t index)
{
    const char* separator = index == 0 ? "" : ",";
    if (entry.display == nullptr) {
        std::array<char, escapedCapacity(kMaxDisplayListLength + 1)> word;
        json_escape(entry.word, word.data(), word.size());
        std::fprintf(session.out,
                     "%s{\"display\":null,\"id\":\"%s\",\"error\":\"no_such_display\"}", separator,
                     word.data());
        return;
    }
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id;
    json_escape(entry.display->id.data(), id.data(), id.size());
    std::fprintf(session.out, "%s{\"display\":%d,\"id\":\"%s\"", separator,
                 displayPositionOf(session.displays, *entry.display), id.data());
}
