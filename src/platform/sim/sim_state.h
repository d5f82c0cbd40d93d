// Internals shared by the files of the simulated platform: the machine a
// scenario describes (registry, monitors, AV services), the Core Foundation
// object behind every opaque CF pointer, and the one global state that the
// C entry points work on. Nothing outside platform/sim includes this file.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "flaky_bus.h"
#include "platform_impl.h"

// Behind IONotificationPortRef; its run loop source is the same object.
struct IONotificationPort {
    bool scheduled = false;  // its source was added to the run loop
};

namespace sim {

// Status codes the simulation returns (the values IOKit uses for the same
// conditions).
constexpr IOReturn kStatusError = static_cast<IOReturn>(0xe00002bc);        // injected I2C failure
constexpr IOReturn kStatusNoDevice = static_cast<IOReturn>(0xe00002c0);     // nothing answers
constexpr IOReturn kStatusBadArgument = static_cast<IOReturn>(0xe00002c2);  // bad handle or plane
constexpr kern_return_t kStatusInvalidName = 15;  // IOObjectRelease of a handle with no reference

// A registry property value, as the scenario gives it. Core Foundation
// objects are built from it afresh on every lookup.
struct Member;
struct Value {
    enum class Kind { String, Integer, Real, Boolean, Null, Data, Dictionary, Array };
    Kind kind = Kind::Null;
    std::string text;             // String
    int64_t integer = 0;          // Integer
    double real = 0;              // Real
    bool boolean = false;         // Boolean
    std::vector<uint8_t> bytes;   // Data
    std::vector<Member> members;  // Dictionary
    std::vector<Value> elements;  // Array
};
struct Member {
    std::string key;
    Value value;
};

// One registry entry. Entries are stored in depth-first order (each entry
// before its children, children in file order), so the subtree of entry i is
// the index range [i, subtreeEnd).
struct Entry {
    std::string name;
    std::vector<Member> properties;
    uint32_t parent = 0;      // meaningless for the root (index 0)
    uint32_t subtreeEnd = 0;  // one past the last descendant
    int service = -1;         // index into Machine::services, or -1
};

struct VcpValue {
    int current = 0;
    int max = 0;
    std::string key;  // the code as the scenario spelled it ("0x10" or "16")
};

struct Faults {
    std::set<uint64_t> failWrites;
    std::set<uint64_t> failReads;
    std::map<uint64_t, std::vector<uint8_t>> replies;
};

// How a monitor answers 0x02 (New Control Value) and 0x52 (Active Control):
// `none` as any other code of its table.
enum class NewControlValue { none, faithful, stuck, never };

// A simulated display at the end of an AV service's I2C channel.
struct Monitor {
    std::string key;
    std::map<int, VcpValue> vcp;
    std::string capabilities;
    // Codes whose Set VCP Feature is a request only from this data address
    // (0x50), and codes whose writes change nothing.
    std::map<int, uint8_t> sourceAddress;
    std::set<int> ignoreWrites;
    Faults faults;
    FlakyBus bus;
    // The reply the next read returns; empty when nothing is pending (every
    // real reply is at least four bytes long).
    std::vector<uint8_t> pending;
    // How it reports presses of its own buttons through 0x02 and 0x52.
    NewControlValue newControlValue = NewControlValue::none;
    // Codes pressed and not yet cleared, oldest first; 0x52 hands them out.
    std::deque<int> pressed;
    bool handsOutPress = false;  // the pending reply is 0x52's: reading it takes the oldest
    // Lines of the panel file looked at for this monitor.
    size_t panelLines = 0;
};

// An "avservice" entry. Operation counters are per service, shared by every
// handle created for it, and index the monitor's faults.
struct Service {
    int monitor = -1;  // index into Machine::monitors, or -1 for nothing connected
    uint64_t writes = 0;
    uint64_t reads = 0;
};

struct Machine {
    std::vector<Entry> entries;  // entries[0] is the root
    std::vector<Monitor> monitors;
    std::vector<Service> services;
};

// The object behind every Core Foundation pointer the simulation hands out.
enum class CfKind { String = 1, Number, Boolean, Null, Data, Dictionary, Array, AvService };
struct CfObject {
    CfKind kind;
    int refs = 1;
    std::string text;     // String (UTF-8)
    bool isReal = false;  // Number: which of the two below
    int64_t integer = 0;
    double real = 0;
    bool boolean = false;                                  // Boolean
    std::vector<uint8_t> bytes;                            // Data
    std::vector<std::pair<CfObject*, CfObject*>> members;  // Dictionary: owned key, value
    std::vector<CfObject*> elements;                       // Array: owned
    int service = -1;         // AvService: index into Machine::services
    uint64_t generation = 0;  // AvService: machine it was created on
};

// Registry handles: entry i is kEntryHandleBase + i; iterators are numbered
// from kIteratorHandleBase.
constexpr io_object_t kEntryHandleBase = 0x1000;
constexpr io_object_t kIteratorHandleBase = 0x80000000;
// Entries a notification hands out after they left the registry (or after
// the registry they came from was replaced): objects the caller can only
// release.
constexpr io_object_t kGoneHandleBase = 0x40000000;

// An iterator holds exactly one reference: releasing it destroys it.
struct Iterator {
    uint32_t base = 0;        // the entry it was created on
    uint64_t generation = 0;  // the machine it was created on
    uint32_t next = 0;        // entry index returned next
    uint32_t end = 0;         // stop when next reaches end (children and descendants)
    bool recursive = false;
    bool parents = false;  // walk towards the root instead
    bool done = false;
    bool valid = true;  // false once the registry changed under it
};

// A matching notification: the entries it collected and has not handed out
// yet, and whether it fires when more come. It is armed once its iterator
// has been drained; firing disarms it until the next drain.
struct PendingEntry {
    uint64_t generation = 0;  // the machine on which `index` names the entry
    uint32_t index = 0;
};
struct Notification {
    IONotificationPort* port = nullptr;  // null once the port is destroyed
    bool terminated = false;             // kIOTerminatedNotification; else first match
    std::string className;
    IOServiceMatchingCallback callback = nullptr;
    void* refcon = nullptr;
    std::deque<PendingEntry> pending;
    bool armed = false;
};

// What identifies one version of a scenario file without reading it.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// The scenario file the machine was loaded from, read again at a discovery
// when it changed. A file modified shortly before it was read may change
// again within the same timestamp tick; until it has aged, its content is
// compared as well (`racy`).
struct ScenarioWatch {
    std::string path;  // empty: the machine did not come from a file
    FileStamp stamp;
    size_t contentHash = 0;
    bool racy = false;
    std::string failure;  // why the file at `stamp` could not be read; empty when it was
};

struct State {
    State();  // starts with an empty machine: a root named "Root" and nothing else

    Machine machine;
    uint64_t generation = 0;  // incremented by every machine load
    // The entries' names packed end to end in entry order, entry i's from
    // nameStart[i] to nameStart[i + 1]: a walk over a large registry then
    // reads them as one stream instead of one scattered heap string each.
    std::vector<char> names;
    std::vector<uint32_t> nameStart;

    // Registry references: one count per entry, and the live iterators.
    std::vector<uint32_t> entryRefs;
    std::unordered_map<io_object_t, Iterator> iterators;
    io_object_t nextIteratorHandle = kIteratorHandleBase;
    int outstandingReferences = 0;
    int badReleases = 0;
    bool iteratorCreationFails = false;
    uint64_t registryOperations = 0;

    // Discoveries (root entry requests) since the machine was loaded, and the
    // file to look at again from the second one on.
    uint64_t rootRequests = 0;
    ScenarioWatch watch;
    // When a waiting run loop last looked at the scenario file.
    std::chrono::steady_clock::time_point lastScenarioCheck;
    // Test hook: after `changeAfterNext` more IOIteratorNext calls, the
    // registry changes to `changeScenario`, `changesLeft` times.
    uint64_t changeAfterNext = 0;
    uint64_t nextCallsSinceChange = 0;
    int changesLeft = 0;
    std::string changeScenario;

    // Registry notifications: the ports, the notifications by iterator
    // handle (numbered with the iterators), and the entries they handed out
    // that are no longer in the registry.
    std::vector<std::unique_ptr<IONotificationPort>> ports;
    std::map<io_iterator_t, Notification> notifications;
    std::unordered_set<io_object_t> goneObjects;
    io_object_t nextGoneHandle = kGoneHandleBase;
    bool portCreationFails = false;

    // Core Foundation objects alive in the process (not per machine).
    std::unordered_set<const CfObject*> liveObjects;
    int liveAvServices = 0;
    uint64_t cfObjectsCreated = 0;

    std::vector<std::string> trace;

    // PANOCTL_SIM_PANEL: the file of presses of the monitors' own buttons,
    // its whole lines read so far (the file is only appended to), the bytes
    // they took, and how many were checked for the `panel <n> skipped` line.
    std::string panelPath;
    int panelFd = -1;  // kept open: each operation asks only its size
    std::vector<std::string> panelLines;
    uint64_t panelBytes = 0;
    size_t panelChecked = 0;
};

State& state();

// Held by every registry, Core Foundation and AV service function for its
// whole call, and by a reload of the scenario file while a run loop waits:
// a library's watch thread may reload the machine while other threads
// discover or make transfers, which the real system's calls allow. Each
// call is short (pauses are not taken under it), so displays driven at once
// still go on at once.
std::recursive_mutex& machineGuard();

// A root named "Root" and nothing else.
Machine emptyMachine();

// Makes `machine` the simulated machine: drops registry references and
// iterators of the previous one, resets the counters and the trace. Live CF
// objects stay; AV service handles of an earlier machine stop answering.
void installMachine(Machine machine);

// Makes `machine` the simulated machine while the process goes on, as when
// displays are plugged in or unplugged: monitors whose key remains keep their
// current values (and their services' operation counts); new ones start from
// their description. Counters, trace and the root's references carry over;
// every iterator becomes invalid and AV service handles of the previous
// machine stop answering.
void replaceMachine(Machine machine);
// Gives the matching notifications the entries that `after` added to
// `before` (first match) and those it removed (terminated), by class. An
// entry is the same in both when its path of names from the root and its
// place among same-named siblings are.
void queueRegistryNotifications(const Machine& before, const Machine& after);
// Calls back the armed notifications of scheduled ports that have entries
// waiting; true when one was called.
bool deliverNotifications();
bool notificationsDue();
bool anyPortScheduled();
// IOIteratorNext and IOObjectRelease on a notification's iterator and on
// what it handed out; false when `object` is neither.
bool nextNotified(io_iterator_t iterator, io_object_t* object);
bool releaseNotificationObject(io_object_t object);
// While a notification port exists, a process watches the registry: a
// scenario rewrite that cannot be loaded is reported and survived.
bool watchingRegistry();
// Keeps the state file's bookkeeping in step with a replaced machine.
void rebaseMonitorState(const Machine& previous);

// Parses a scenario into a machine without installing it; *error as
// loadScenarioText's.
bool buildMachine(std::string_view text, Machine* machine, std::string* error);
// Reads a file whole, at most 64 MiB, with the stamp of what was read. On
// failure *error says why ("cannot open (<reason>)", "larger than 64 MiB", ...).
bool readTextFile(const std::string& path, std::string* text, FileStamp* stamp, std::string* error);
// Remembers the file the machine was just loaded from, as read.
void watchScenario(const std::string& path, const FileStamp& stamp, std::string_view text);
// At the second and later discoveries: loads the scenario file again if it
// changed. A file that no longer loads ends the process as a broken scenario
// does at start-up (one line on standard error, status 2), unless the
// process watches the registry: then the line is written once for that
// version of the file and the last good machine stays.
void reloadScenarioIfChanged();
// For a waiting run loop: reloads the scenario file as above when it
// changed, looking at it at most once per kScenarioCheckInterval. Returns
// when the run loop should look next (time_point::max() for never).
std::chrono::steady_clock::time_point checkScenarioWhileWaiting();
constexpr std::chrono::milliseconds kScenarioCheckInterval{100};

// A new reference to entry `index` of the current machine.
io_object_t handOutEntry(uint32_t index);
// The entry index behind a registry handle the caller holds a reference to.
bool lookupEntry(io_object_t handle, uint32_t* index);

// Core Foundation internals.
CfObject* newCfObject(CfKind kind);
CfObject* newCfString(std::string text);
CfObject* cfFromValue(const Value& value);
// The live object behind `cf`; aborts the process (as Core Foundation does)
// for NULL, for a pointer that is not a live object, and, when `expected` is
// given, for an object of another kind.
CfObject* requireCf(CFTypeRef cf, const char* function);
CfObject* requireCf(CFTypeRef cf, CfKind expected, const char* function);
void releaseCf(CfObject* object);

// Applies the presses of the panel file that `monitor` has not had yet.
void applyPanelPresses(Monitor& monitor);

// DDC/CI behaviour of a monitor at chip 0x37.
void monitorWrite(Monitor& monitor, uint32_t dataAddress, const uint8_t* bytes, size_t count);
void monitorRead(Monitor& monitor, uint8_t* out, size_t count);
// Copies `reply` into `count` bytes of `out`, cut or padded with zeros.
void copyReply(const std::vector<uint8_t>& reply, uint8_t* out, size_t count);

// Parsing shared by the scenario and the monitor state file: a VCP code key
// ("0x10" or "16", 0 to 255; -1 if not one), and the message for a JSON
// syntax error at `byte` (as nlohmann::json reports it) of `text`.
int parseVcpCode(const std::string& key);
std::string parseErrorMessage(std::string_view text, size_t byte);

// strerror(error) in lower case, for one-line error messages.
std::string describeError(int error);

// Trace.
void appendTrace(std::string line);
bool openTraceFile(const std::string& path, std::string* error);

}  // namespace sim
