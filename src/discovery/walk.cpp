#include "discovery/walk.h"

#include <array>
#include <cstring>

#include "discovery/display_table.h"
#include "discovery/panel.h"
#include "discovery/registry_props.h"
#include "platform/platform.h"

namespace {

using UuidText = std::array<char, 40>;

// How far up the IOService plane a proxy looks for its display's EDID UUID.
constexpr int kMaxAncestorLevels = 6;

// The EDID UUID of a proxy node: in its own subtree, else in the subtree of
// its nearest ancestor that has one. A search that finds an empty UUID ends
// the climb.
void findEdidUuid(io_registry_entry_t entry, UuidText* uuid)
{
    if (cfStringProp(entry, "EDID UUID", *uuid)) {
        return;
    }
    io_registry_entry_t current = entry;
    io_registry_entry_t held = IO_OBJECT_NULL;
    for (int level = 0; level < kMaxAncestorLevels; level++) {
        io_registry_entry_t parent = IO_OBJECT_NULL;
        if (IORegistryEntryGetParentEntry(current, kIOServicePlane, &parent) != KERN_SUCCESS ||
            parent == IO_OBJECT_NULL) {
            break;
        }
        if (held != IO_OBJECT_NULL) {
            IOObjectRelease(held);
        }
        held = parent;
        current = parent;
        UuidText scratch{};
        if (cfStringProp(parent, "EDID UUID", scratch)) {
            *uuid = scratch;
            break;
        }
    }
    if (held != IO_OBJECT_NULL) {
        IOObjectRelease(held);
    }
}

// Name for a proxy's record: its own "ProductName", else the last panel's.
void proxyName(io_registry_entry_t entry, const PanelWalkState& panels, DisplayRecord* record)
{
    std::array<char, 128> scratch{};
    if (cfStringProp(entry, "ProductName", scratch) && scratch[0] != '\0') {
        copyText(record->name, scratch.data());
    } else if (panels.lastPanelName[0] != '\0') {
        copyText(record->name, panels.lastPanelName.data());
    } else {
        copyText(record->name, "Display");
    }
}

void addProxyDisplay(io_registry_entry_t entry, const PanelWalkState& panels, DisplayTable* table,
                     WalkCounters* counters)
{
    counters->proxy++;
    if (table->count >= kMaxDisplays) {
        return;
    }
    UuidText uuid{};
    findEdidUuid(entry, &uuid);
    if (uuid[0] == '\0') {
        uuid = panels.lastPanelUuid;
    }
    if (uuid[0] == '\0') {
        return;
    }
    // The table owns the handle until the next discovery or releaseDisplays().
    AvService service = IOAVServiceCreateWithService(kCFAllocatorDefault, entry);
    if (service == nullptr) {
        return;
    }
    DisplayRecord* record = &table->records[table->count];
    *record = DisplayRecord{};
    copyText(record->id, uuid.data());
    proxyName(entry, panels, record);
    io_string_t path{};
    if (IORegistryEntryGetPath(entry, kIOServicePlane, path) == KERN_SUCCESS) {
        copyText(record->registryPath, path);
    }
    record->service = service;
    const char* serial = serialForUuid(panels, record->id.data());
    copyText(record->serial, serial != nullptr ? serial : "");
    table->count++;
}

void visitEntry(io_registry_entry_t entry, PanelWalkState* panels, DisplayTable* table,
                WalkCounters* counters)
{
    io_name_t name;
    if (IORegistryEntryGetName(entry, name) != KERN_SUCCESS) {
        return;
    }
    if (isPanelNodeName(name)) {
        counters->shim++;
        if (recordPanelNode(entry, panels)) {
            counters->shimWithUuid++;
        }
    } else if (std::strcmp(name, kProxyClassName) == 0) {
        addProxyDisplay(entry, *panels, table, counters);
    }
}

// A registry that changes while it is walked invalidates the iterator, which
// then ends early. The walk starts over at most this many times before it
// keeps what the last pass found.
constexpr int kMaxWalkRestarts = 4;

// One pass over what the iterator returns, from its current position. Each
// entry is released once visited: the AV service handle made from a proxy
// node is an object of its own and does not need the entry.
WalkCounters walkEntries(io_iterator_t iterator, DisplayTable* table)
{
    PanelWalkState panels{};
    WalkCounters counters;
    for (io_registry_entry_t entry = IOIteratorNext(iterator); entry != IO_OBJECT_NULL;
         entry = IOIteratorNext(iterator)) {
        visitEntry(entry, &panels, table, &counters);
        IOObjectRelease(entry);
    }
    counters.added = table->count;
    counters.walked = true;
    return counters;
}

}  // namespace

WalkCounters enumerateDisplays(DisplayTable* table)
{
    releaseDisplays(table);
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMainPortDefault);
    io_iterator_t iterator = IO_OBJECT_NULL;
    if (IORegistryEntryCreateIterator(root, kIOServicePlane, kIORegistryIterateRecursively,
                                      &iterator) != KERN_SUCCESS) {
        if (root != IO_OBJECT_NULL) {
            IOObjectRelease(root);
        }
        return WalkCounters{};
    }
    WalkCounters counters = walkEntries(iterator, table);
    // A pass cut short by a registry change may have missed displays or tied
    // a proxy to the wrong panel: drop what it made and walk again.
    for (int restart = 0; restart < kMaxWalkRestarts && IOIteratorIsValid(iterator) == 0;
         restart++) {
        releaseDisplays(table);
        IOIteratorReset(iterator);
        counters = walkEntries(iterator, table);
    }
    IOObjectRelease(iterator);
    if (root != IO_OBJECT_NULL) {
        IOObjectRelease(root);
    }
    return counters;
}
