// The single simulated machine and the switch from one machine to the next.
#include "sim_state.h"

#include <cctype>
#include <cstring>
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
    s.nextIteratorHandle = kIteratorHandleBase;
    s.outstandingReferences = 0;
    s.badReleases = 0;
    s.registryOperations = 0;
    s.cfObjectsCreated = 0;
    s.trace.clear();
}

std::string describeError(int error)
{
    std::string text = std::strerror(error);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace sim
