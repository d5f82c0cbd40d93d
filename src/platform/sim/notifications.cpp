// Registry notifications and the run loop that delivers them. A change of
// the simulated machine (the scenario file rewritten, seen while a run loop
// waits or at a discovery) gives each matching notification the entries of
// its class that came or went; a run loop waiting in CFRunLoopRunInMode calls
// back the armed ones. Nothing here touches a monitor.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim_control.h"
#include "sim_state.h"

namespace {

// The one run loop: a process's notifications are served on the thread that
// waits in CFRunLoopRunInMode.
char g_runLoop;

// kCFRunLoopDefaultMode: a string no caller creates or releases.
sim::CfObject makeDefaultMode()
{
    sim::CfObject mode{};
    mode.kind = sim::CfKind::String;
    mode.text = "kCFRunLoopDefaultMode";
    return mode;
}
sim::CfObject g_defaultMode = makeDefaultMode();

}  // namespace

extern "C" const CFStringRef kCFRunLoopDefaultMode = reinterpret_cast<CFStringRef>(&g_defaultMode);

namespace sim {
namespace {

constexpr const char* kProviderClassKey = "IOProviderClass";
// A day: longer waits are cut to it, so the deadline cannot overflow.
constexpr double kLongestWait = 86400.0;

// Each entry's identity across machines: the names on its path from the
// root, each with its place among same-named siblings.
std::vector<std::string> entryPaths(const Machine& machine)
{
    std::vector<std::string> paths(machine.entries.size());
    std::map<std::pair<uint32_t, std::string>, int> siblings;
    for (uint32_t i = 1; i < machine.entries.size(); ++i) {
        const Entry& entry = machine.entries[i];
        int place = siblings[{entry.parent, entry.name}]++;
        paths[i] = paths[entry.parent];
        paths[i] += '\0';
        paths[i] += entry.name;
        paths[i] += '\0';
        paths[i] += std::to_string(place);
    }
    return paths;
}

// Each path with its entry's index, sorted by path.
std::vector<std::pair<std::string, uint32_t>> indexByPath(const std::vector<std::string>& paths)
{
    std::vector<std::pair<std::string, uint32_t>> index;
    index.reserve(paths.size());
    for (uint32_t i = 1; i < paths.size(); ++i) index.emplace_back(paths[i], i);
    std::sort(index.begin(), index.end());
    return index;
}

// The index of the entry at `path`, or -1.
int64_t findPath(const std::vector<std::pair<std::string, uint32_t>>& index,
                 const std::string& path)
{
    auto found = std::lower_bound(index.begin(), index.end(), std::make_pair(path, uint32_t{0}));
    return found != index.end() && found->first == path ? static_cast<int64_t>(found->second) : -1;
}

io_object_t handOutGone()
{
    State& s = state();
    io_object_t handle = s.nextGoneHandle++;
    s.goneObjects.insert(handle);
    ++s.outstandingReferences;
    return handle;
}

IONotificationPort* findPort(const IONotificationPort* port)
{
    for (const auto& owned : state().ports) {
        if (owned.get() == port) return owned.get();
    }
    return nullptr;
}

bool isDue(const Notification& notification)
{
    return notification.port != nullptr && notification.port->scheduled && notification.armed &&
           !notification.pending.empty();
}

// Waits until `wake`; false when a signal ended the wait early.
bool sleepUntil(std::chrono::steady_clock::time_point wake)
{
    auto left = wake - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
    pause.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return nanosleep(&pause, nullptr) == 0 || errno != EINTR;
}

}  // namespace

void queueRegistryNotifications(const Machine& before, const Machine& after)
{
    State& s = state();
    if (s.notifications.empty()) return;
    std::vector<std::string> beforePaths = entryPaths(before);
    std::vector<std::string> afterPaths = entryPaths(after);
    auto beforeIndex = indexByPath(beforePaths);
    auto afterIndex = indexByPath(afterPaths);
    for (auto& [handle, notification] : s.notifications) {
        // Entries collected before the change and still there stay the
        // registry's own: their index moves to the new machine.
        for (PendingEntry& entry : notification.pending) {
            if (notification.terminated || entry.generation + 1 != s.generation) continue;
            int64_t now = findPath(afterIndex, beforePaths[entry.index]);
            if (now >= 0) entry = PendingEntry{s.generation, static_cast<uint32_t>(now)};
        }
        const Machine& machine = notification.terminated ? before : after;
        const std::vector<std::string>& paths = notification.terminated ? beforePaths : afterPaths;
        const auto& other = notification.terminated ? afterIndex : beforeIndex;
        for (uint32_t i = 1; i < paths.size(); ++i) {
            if (machine.entries[i].name == notification.className &&
                findPath(other, paths[i]) < 0) {
                notification.pending.push_back(PendingEntry{s.generation, i});
            }
        }
    }
}

bool notificationsDue()
{
    const State& s = state();
    return std::any_of(s.notifications.begin(), s.notifications.end(),
                       [](const auto& item) { return isDue(item.second); });
}

bool deliverNotifications()
{
    State& s = state();
    std::vector<io_iterator_t> due;
    for (const auto& [handle, notification] : s.notifications) {
        if (isDue(notification)) due.push_back(handle);
    }
    bool called = false;
    for (io_iterator_t handle : due) {
        // An earlier callback may have released this notification.
        auto found = s.notifications.find(handle);
        if (found == s.notifications.end() || !isDue(found->second)) continue;
        found->second.armed = false;
        found->second.callback(found->second.refcon, handle);
        called = true;
    }
    return called;
}

bool anyPortScheduled()
{
    const State& s = state();
    return std::any_of(s.ports.begin(), s.ports.end(),
                       [](const auto& port) { return port->scheduled; });
}

bool watchingRegistry()
{
    return !state().ports.empty();
}

// The next object a notification's iterator hands out, or 0 once it is
// drained, which arms it.
bool nextNotified(io_iterator_t iterator, io_object_t* object)
{
    State& s = state();
    auto found = s.notifications.find(iterator);
    if (found == s.notifications.end()) return false;
    Notification& notification = found->second;
    if (notification.pending.empty()) {
        notification.armed = true;
        *object = IO_OBJECT_NULL;
        return true;
    }
    PendingEntry entry = notification.pending.front();
    notification.pending.pop_front();
    // An entry that arrived is the registry's own while its machine stays.
    bool present = !notification.terminated && entry.generation == s.generation;
    *object = present ? handOutEntry(entry.index) : handOutGone();
    return true;
}

bool releaseNotificationObject(io_object_t object)
{
    State& s = state();
    if (s.goneObjects.erase(object) > 0 || s.notifications.erase(object) > 0) {
        --s.outstandingReferences;
        return true;
    }
    return false;
}

void setNotificationPortCreationFails(bool fails)
{
    state().portCreationFails = fails;
}

int liveNotificationPorts()
{
    return static_cast<int>(state().ports.size());
}

}  // namespace sim

using sim::state;

IONotificationPortRef IONotificationPortCreate(mach_port_t mainPort)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    if (mainPort != kIOMainPortDefault || s.portCreationFails) return nullptr;
    // A process that watches the registry may wait for hours and makes no
    // I2C operation: the monitor state file, locked since start-up and
    // unchanged, is let go now, so runs that share it do not wait for the
    // watch to end.
    std::string unused;
    sim::saveMonitorState(&unused);
    s.ports.push_back(std::make_unique<IONotificationPort>());
    return s.ports.back().get();
}

void IONotificationPortDestroy(IONotificationPortRef notify)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    // Its notifications stay until released, but never fire again.
    for (auto& [handle, notification] : s.notifications) {
        if (notification.port == notify) notification.port = nullptr;
    }
    s.ports.erase(std::remove_if(s.ports.begin(), s.ports.end(),
                                 [notify](const auto& port) { return port.get() == notify; }),
                  s.ports.end());
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return reinterpret_cast<CFRunLoopSourceRef>(sim::findPort(notify));
}

CFMutableDictionaryRef IOServiceMatching(const char* name)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    if (name == nullptr) return nullptr;
    sim::CfObject* matching = sim::newCfObject(sim::CfKind::Dictionary);
    matching->members.emplace_back(sim::newCfString(sim::kProviderClassKey),
                                   sim::newCfString(name));
    return reinterpret_cast<CFMutableDictionaryRef>(matching);
}

kern_return_t IOServiceAddMatchingNotification(IONotificationPortRef notifyPort,
                                               const io_name_t notificationType,
                                               CFDictionaryRef matching,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    sim::State& s = state();
    ++s.registryOperations;
    // The dictionary is the callee's whatever happens, as on the system.
    std::string className;
    if (matching != nullptr) {
        sim::CfObject* dictionary =
            sim::requireCf(matching, sim::CfKind::Dictionary, "IOServiceAddMatchingNotification");
        for (const auto& [key, value] : dictionary->members) {
            if (key->text == sim::kProviderClassKey && value->kind == sim::CfKind::String) {
                className = value->text;
            }
        }
        sim::releaseCf(dictionary);
    }
    bool firstMatch = notificationType != nullptr &&
                      std::string_view(notificationType) == kIOFirstMatchNotification;
    bool terminated = notificationType != nullptr &&
                      std::string_view(notificationType) == kIOTerminatedNotification;
    IONotificationPort* port = sim::findPort(notifyPort);
    if (port == nullptr || matching == nullptr || callback == nullptr || notification == nullptr ||
        (!firstMatch && !terminated)) {
        return sim::kStatusBadArgument;
    }
    sim::Notification added;
    added.port = port;
    added.terminated = terminated;
    added.className = className;
    added.callback = callback;
    added.refcon = refCon;
    // A first-match notification starts with every entry already there.
    if (firstMatch) {
        for (uint32_t i = 1; i < s.machine.entries.size(); ++i) {
            if (s.machine.entries[i].name == className) {
                added.pending.push_back(sim::PendingEntry{s.generation, i});
            }
        }
    }
    io_iterator_t handle = s.nextIteratorHandle++;
    s.notifications.emplace(handle, std::move(added));
    ++s.outstandingReferences;
    *notification = handle;
    return KERN_SUCCESS;
}

CFRunLoopRef CFRunLoopGetCurrent(void)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    return reinterpret_cast<CFRunLoopRef>(&g_runLoop);
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    auto* port = sim::findPort(reinterpret_cast<IONotificationPort*>(source));
    if (rl == CFRunLoopGetCurrent() && port != nullptr && mode == kCFRunLoopDefaultMode) {
        port->scheduled = true;
    }
}

// Runs until a notification was delivered (when asked to return then) or the
// time is up. A signal ends the wait early, so that a caller can look at the
// flags its handlers set: the system's run loop would wait on.
SInt32 CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds,
                          Boolean returnAfterSourceHandled)
{
    if (mode != kCFRunLoopDefaultMode || !sim::anyPortScheduled()) return kCFRunLoopRunFinished;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(std::clamp(seconds, 0.0, sim::kLongestWait)));
    for (;;) {
        if (sim::deliverNotifications() && returnAfterSourceHandled != 0) {
            return kCFRunLoopRunHandledSource;
        }
        auto nextCheck = sim::checkScenarioWhileWaiting();
        if (sim::notificationsDue()) continue;
        if (std::chrono::steady_clock::now() >= deadline) return kCFRunLoopRunTimedOut;
        if (!sim::sleepUntil(std::min(deadline, nextCheck))) return kCFRunLoopRunStopped;
    }
}
