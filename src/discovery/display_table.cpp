#include "discovery/display_table.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

void releaseDisplayLocks(DisplayTable* table)
{
    for (DisplayRecord& record : table->records) {
        closeLockFiles(&record.lock.files);
    }
    std::lock_guard<std::mutex> hold(table->lockFolder.guard);
    closeLockFolder(&table->lockFolder);
}

DdcLink displayLink(DisplayTable* table, const DisplayRecord& display, int retryLimit,
                    TransferCounters* counters)
{
    DdcLink link{display.service, display.id.data(), nullptr, nullptr, retryLimit, counters};
    link.pausePermille = display.pausePermille;
    int32_t position = displayPositionOf(*table, display);
    if (position > 0) {
        link.lock = &table->records[position - 1].lock;
        link.lockFolder = &table->lockFolder;
    }
    return link;
}

void releaseDisplays(DisplayTable* table)
{
    for (DisplayRecord& record : table->displays()) {
        if (record.service != nullptr) {
            CFRelease(record.service);
            record.service = nullptr;
        }
        closeLockFiles(&record.lock.files);
        record.lock.warning = LockWarning{};
    }
    closeLockFolder(&table->lockFolder);
    table->count = 0;
}

const DisplayRecord* find_by_id(const DisplayTable& table, const char* id)
{
    for (const DisplayRecord& record : table.displays()) {
        if (std::strcmp(record.id.data(), id) == 0) {
            return &record;
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
const DisplayRecord* findByIdIgnoringCase(const DisplayTable& table, const char* id)
{
    for (const DisplayRecord& record : table.displays()) {
        if (equalIgnoringAsciiCase(record.id.data(), id)) {
            return &record;
        }
    }
    return nullptr;
}

// The position that `text` writes ("1" to "16"), or 0 when it writes none.
int32_t selectorPosition(const char* text)
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

const DisplayRecord* findDisplay(const DisplayTable& table, const char* selector)
{
    if (const DisplayRecord* display = find_by_id(table, selector)) {
        return display;
    }
    if (const DisplayRecord* display = findByIdIgnoringCase(table, selector)) {
        return display;
    }
    int32_t position = selectorPosition(selector);
    return position >= 1 && position <= table.count ? &table.records[position - 1] : nullptr;
}

int32_t displayPositionOf(const DisplayTable& table, const DisplayRecord& display)
{
    for (int32_t i = 0; i < table.count; i++) {
        if (&table.records[i] == &display) {
            return i + 1;
        }
    }
    return 0;
}

void copyText(std::span<char> field, const char* text)
{
    std::snprintf(field.data(), field.size(), "%s", text);
}
