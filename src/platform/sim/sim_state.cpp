// The single simulated machine and the switch from one machine to the next.
#include "sim_state.h"

#include <cctype>
#include <cstring>
#include <map>
#include <utility>

namespace sim {

Machine emptyMachine()
{
    Machine machine;
    machine.entries.push_back(Entry{"Root", {}, 0, 1, -1});
    return machine;
}

namespace {

void packNames(State& s)
{
    s.names.clear();
    s.nameStart.clear();
    s.nameStart.reserve(s.machine.entries.size() + 1);
    for (const Entry& entry : s.machine.entries) {
        s.nameStart.push_back(static_cast<uint32_t>(s.names.size()));
        s.names.insert(s.names.end(), entry.name.begin(), entry.name.end());
    }
    s.nameStart.push_back(static_cast<uint32_t>(s.names.size()));
}

}  // namespace

State::State() : machine(emptyMachine()), entryRefs(machine.entries.size(), 0)
{
    packNames(*this);
}

std::recursive_mutex& machineGuard()
{
    static std::recursive_mutex guard;
    return guard;
}

State& state()
{
    static State instance;
    return instance;
}

void installMachine(Machine machine)
{
    State& s = state();
    s.machine = std::move(machine);
    packNames(s);
    ++s.generation;
    s.entryRefs.assign(s.machine.entries.size(), 0);
    s.iterators.clear();
    s.notifications.clear();
    s.goneObjects.clear();
    s.ports.clear();
    s.nextIteratorHandle = kIteratorHandleBase;
    s.outstandingReferences = 0;
    s.badReleases = 0;
    s.registryOperations = 0;
    s.cfObjectsCreated = 0;
    s.trace.clear();
    s.rootRequests = 0;
    s.watch = ScenarioWatch{};
}

namespace {

// What remaining monitors bring from the machine being replaced.
void carryMonitors(const Machine& previous, Machine& next)
{
    std::map<std::string, size_t> previousIndex;
    for (size_t i = 0; i < previous.monitors.size(); ++i)
        previousIndex[previous.monitors[i].key] = i;
    for (Monitor& monitor : next.monitors) {
        auto found = previousIndex.find(monitor.key);
        if (found == previousIndex.end()) continue;
        const Monitor& before = previous.monitors[found->second];
        for (auto& [code, value] : monitor.vcp) {
            auto kept = before.vcp.find(code);
            if (kept != before.vcp.end()) value.current = kept->second.current;
        }
        monitor.pending = before.pending;
        monitor.pressed = before.pressed;
        monitor.panelLines = before.panelLines;
    }
    for (Service& service : next.services) {
        if (service.monitor < 0) continue;
        auto found = previousIndex.find(next.monitors[static_cast<size_t>(service.monitor)].key);
        if (found == previousIndex.end()) continue;
        for (const Service& before : previous.services) {
            if (before.monitor == static_cast<int>(found->second)) {
                service.writes = before.writes;
                service.reads = before.reads;
            }
        }
    }
}

}  // namespace

void replaceMachine(Machine machine)
{
    State& s = state();
    carryMonitors(s.machine, machine);
    uint32_t rootReferences = s.entryRefs.empty() ? 0 : s.entryRefs[0];
    Machine previous = std::move(s.machine);
    s.machine = std::move(machine);
    packNames(s);
    ++s.generation;
    queueRegistryNotifications(previous, s.machine);
    // References to other entries of the previous machine stay counted as
    // outstanding: they name entries that are gone.
    s.entryRefs.assign(s.machine.entries.size(), 0);
    s.entryRefs[0] = rootReferences;
    for (auto& [handle, iterator] : s.iterators) iterator.valid = false;
    rebaseMonitorState(previous);
}

std::string describeError(int error)
{
    std::string text = std::strerror(error);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace sim
