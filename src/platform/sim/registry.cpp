// The I/O registry's IOService plane over the scenario's entries. Entries are
// kept in depth-first order with their subtree ranges, so iterating and
// searching a subtree are plain index scans. Every handle handed out carries a
// reference the caller owns; a handle used without one is treated as invalid.
#include <algorithm>
#include <cstring>
#include <string>

#include "sim_control.h"
#include "sim_state.h"

extern "C" const mach_port_t kIOMainPortDefault = 0;

namespace sim {
namespace {

bool isServicePlane(const char* plane)
{
    return plane != nullptr && std::strcmp(plane, kIOServicePlane) == 0;
}

const Value* findProperty(const Entry& entry, const std::string& key)
{
    for (const Member& member : entry.properties) {
        if (member.key == key) return &member.value;
    }
    return nullptr;
}

// Where IORegistryEntrySearchCFProperty finds `key`: the entry itself; with
// kIORegistryIterateRecursively, then its descendants in depth-first order,
// or its ancestors nearest first when kIORegistryIterateParents is set too.
const Value* searchProperty(uint32_t index, const std::string& key, IOOptionBits options)
{
    const std::vector<Entry>& entries = state().machine.entries;
    if (const Value* own = findProperty(entries[index], key)) return own;
    if ((options & kIORegistryIterateRecursively) == 0) return nullptr;
    if (options & kIORegistryIterateParents) {
        for (uint32_t i = index; i != 0;) {
            i = entries[i].parent;
            if (const Value* found = findProperty(entries[i], key)) return found;
        }
        return nullptr;
    }
    for (uint32_t i = index + 1; i < entries[index].subtreeEnd; ++i) {
        if (const Value* found = findProperty(entries[i], key)) return found;
    }
    return nullptr;
}

// Positions `it` at the start of what it walks from entry `index`.
void startIterator(Iterator& it, uint32_t index)
{
    const std::vector<Entry>& entries = state().machine.entries;
    it.base = index;
    it.generation = state().generation;
    it.valid = true;
    if (it.parents) {
        it.done = index == 0;
        it.next = entries[index].parent;
    } else {
        it.done = false;
        it.next = index + 1;
        it.end = entries[index].subtreeEnd;
    }
}

// The test hook's registry change, due before the next entry is handed out.
void changeRegistryIfDue()
{
    State& s = state();
    if (s.changesLeft <= 0 || ++s.nextCallsSinceChange <= s.changeAfterNext) return;
    Machine machine;
    std::string error;
    if (!buildMachine(s.changeScenario, &machine, &error)) return;
    --s.changesLeft;
    s.nextCallsSinceChange = 0;
    replaceMachine(std::move(machine));
}

}  // namespace

void changeRegistryDuringWalks(uint64_t afterEntries, int times, std::string scenarioText)
{
    State& s = state();
    s.changeAfterNext = afterEntries;
    s.changesLeft = times;
    s.nextCallsSinceChange = 0;
    s.changeScenario = std::move(scenarioText);
}

io_object_t handOutEntry(uint32_t index)
{
    State& s = state();
    ++s.entryRefs[index];
    ++s.outstandingReferences;
    return kEntryHandleBase + index;
}

bool lookupEntry(io_object_t handle, uint32_t* index)
{
    const State& s = state();
    if (handle < kEntryHandleBase || handle - kEntryHandleBase >= s.entryRefs.size()) return false;
    uint32_t i = handle - kEntryHandleBase;
    if (s.entryRefs[i] == 0) return false;
    *index = i;
    return true;
}

void setIteratorCreationFails(bool fails)
{
    state().iteratorCreationFails = fails;
}
int outstandingRegistryReferences()
{
    return state().outstandingReferences;
}
int badRegistryReleases()
{
    return state().badReleases;
}
uint64_t registryOperations()
{
    return state().registryOperations;
}

}  // namespace sim

using sim::state;

io_registry_entry_t IORegistryGetRootEntry(mach_port_t mainPort)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    if (mainPort != kIOMainPortDefault) return IO_OBJECT_NULL;
    // Each discovery starts here: from the second on, displays may have come
    // or gone since the last.
    if (s.rootRequests++ > 0) sim::reloadScenarioIfChanged();
    return sim::handOutEntry(0);
}

kern_return_t IORegistryEntryCreateIterator(io_registry_entry_t entry, const io_name_t plane,
                                            IOOptionBits options, io_iterator_t* iterator)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    uint32_t index;
    if (iterator == nullptr || !sim::isServicePlane(plane) || !sim::lookupEntry(entry, &index)) {
        return sim::kStatusBadArgument;
    }
    if (s.iteratorCreationFails) return sim::kStatusError;

    sim::Iterator it;
    it.recursive = (options & kIORegistryIterateRecursively) != 0;
    it.parents = (options & kIORegistryIterateParents) != 0;
    sim::startIterator(it, index);
    io_iterator_t handle = s.nextIteratorHandle++;
    s.iterators.emplace(handle, it);
    ++s.outstandingReferences;
    *iterator = handle;
    return KERN_SUCCESS;
}

io_object_t IOIteratorNext(io_iterator_t iterator)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    io_object_t notified = IO_OBJECT_NULL;
    if (sim::nextNotified(iterator, &notified)) return notified;
    auto found = s.iterators.find(iterator);
    if (found == s.iterators.end()) return IO_OBJECT_NULL;
    sim::changeRegistryIfDue();
    sim::Iterator& it = found->second;
    if (it.done || !it.valid) return IO_OBJECT_NULL;
    uint32_t index = it.next;
    if (it.parents) {
        // Recursively: every ancestor up to the root; otherwise the parent only.
        it.done = !it.recursive || index == 0;
        it.next = s.machine.entries[index].parent;
    } else {
        if (index >= it.end) {
            it.done = true;
            return IO_OBJECT_NULL;
        }
        // Recursively: the next entry in depth-first order; otherwise skip
        // this child's subtree to reach its next sibling.
        it.next = it.recursive ? index + 1 : s.machine.entries[index].subtreeEnd;
    }
    return sim::handOutEntry(index);
}

boolean_t IOIteratorIsValid(io_iterator_t iterator)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    auto found = s.iterators.find(iterator);
    return found != s.iterators.end() && found->second.valid ? 1 : 0;
}

// Starts the iterator again on the registry as it is now. One made on an
// entry of a machine since replaced has nothing left to walk, unless that
// entry is the root, which every machine has.
void IOIteratorReset(io_iterator_t iterator)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    auto found = s.iterators.find(iterator);
    if (found == s.iterators.end()) return;
    sim::Iterator& it = found->second;
    if (it.generation == s.generation || it.base == 0) {
        sim::startIterator(it, it.base);
    } else {
        it.valid = true;
        it.done = true;
    }
}

kern_return_t IORegistryEntryGetName(io_registry_entry_t entry, io_name_t name)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    ++state().registryOperations;
    uint32_t index;
    if (name == nullptr || !sim::lookupEntry(entry, &index)) return sim::kStatusBadArgument;
    const sim::State& s = state();
    size_t length =
        std::min<size_t>(s.nameStart[index + 1] - s.nameStart[index], sizeof(io_name_t) - 1);
    std::memcpy(name, s.names.data() + s.nameStart[index], length);
    name[length] = '\0';
    return KERN_SUCCESS;
}

kern_return_t IORegistryEntryGetParentEntry(io_registry_entry_t entry, const io_name_t plane,
                                            io_registry_entry_t* parent)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    ++state().registryOperations;
    if (parent == nullptr) return sim::kStatusBadArgument;
    *parent = IO_OBJECT_NULL;
    uint32_t index;
    if (!sim::isServicePlane(plane) || !sim::lookupEntry(entry, &index)) {
        return sim::kStatusBadArgument;
    }
    if (index == 0) return sim::kStatusNoDevice;
    *parent = sim::handOutEntry(state().machine.entries[index].parent);
    return KERN_SUCCESS;
}

namespace sim {
namespace {

// The entry's name, with "@<n>" when n earlier siblings have the same name.
std::string pathElement(uint32_t index)
{
    const State& s = state();
    const Entry& entry = s.machine.entries[index];
    int earlier = 0;
    // Siblings start right after the parent and follow each other's subtrees.
    for (uint32_t sibling = entry.parent + 1; sibling < index;
         sibling = s.machine.entries[sibling].subtreeEnd) {
        if (s.machine.entries[sibling].name == entry.name) ++earlier;
    }
    return earlier == 0 ? entry.name : entry.name + "@" + std::to_string(earlier);
}

}  // namespace
}  // namespace sim

kern_return_t IORegistryEntryGetPath(io_registry_entry_t entry, const io_name_t plane,
                                     io_string_t path)
{
    ++state().registryOperations;
    uint32_t index;
    if (path == nullptr || !sim::isServicePlane(plane) || !sim::lookupEntry(entry, &index)) {
        return sim::kStatusBadArgument;
    }
    std::string text;
    for (uint32_t at = index; at != 0; at = state().machine.entries[at].parent) {
        text.insert(0, "/" + sim::pathElement(at));
    }
    text.insert(0, index == 0 ? "IOService:/" : "IOService:");
    if (text.size() >= sizeof(io_string_t)) return sim::kStatusBadArgument;
    std::memcpy(path, text.c_str(), text.size() + 1);
    return KERN_SUCCESS;
}

CFTypeRef IORegistryEntrySearchCFProperty(io_registry_entry_t entry, const io_name_t plane,
                                          CFStringRef key, CFAllocatorRef, IOOptionBits options)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    ++state().registryOperations;
    uint32_t index;
    if (key == nullptr || !sim::isServicePlane(plane) || !sim::lookupEntry(entry, &index)) {
        return nullptr;
    }
    const auto* name = sim::requireCf(key, sim::CfKind::String, "IORegistryEntrySearchCFProperty");
    const sim::Value* value = sim::searchProperty(index, name->text, options);
    return value != nullptr ? sim::cfFromValue(*value) : nullptr;
}

CFTypeRef IORegistryEntryCreateCFProperty(io_registry_entry_t entry, CFStringRef key,
                                          CFAllocatorRef, IOOptionBits)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    ++state().registryOperations;
    uint32_t index;
    if (key == nullptr || !sim::lookupEntry(entry, &index)) return nullptr;
    const auto* name = sim::requireCf(key, sim::CfKind::String, "IORegistryEntryCreateCFProperty");
    const sim::Value* value = sim::findProperty(state().machine.entries[index], name->text);
    return value != nullptr ? sim::cfFromValue(*value) : nullptr;
}

kern_return_t IOObjectRelease(io_object_t object)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    // Releasing the null handle does nothing, as deallocating MACH_PORT_NULL.
    if (object == IO_OBJECT_NULL) return KERN_SUCCESS;
    if (object >= sim::kEntryHandleBase && object - sim::kEntryHandleBase < s.entryRefs.size() &&
        s.entryRefs[object - sim::kEntryHandleBase] > 0) {
        --s.entryRefs[object - sim::kEntryHandleBase];
        --s.outstandingReferences;
        return KERN_SUCCESS;
    }
    auto found = s.iterators.find(object);
    if (found != s.iterators.end()) {
        s.iterators.erase(found);
        --s.outstandingReferences;
        return KERN_SUCCESS;
    }
    if (sim::releaseNotificationObject(object)) return KERN_SUCCESS;
    ++s.badReleases;
    return sim::kStatusInvalidName;
}
