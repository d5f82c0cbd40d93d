// Generated simulated machines for the discovery benchmarks: registries of a
// chosen size and display count, laid out as Apple-silicon machines lay them.
#pragma once

#include <string>

namespace bench {

// A scenario (JSON text) whose registry has exactly `entries` entries,
// `displays` of them display branches (1 to 16).
//
// Root → platform → AppleARMPE → arm-io → AppleT8199IO, and below that:
// - device branches (bus, driver, ports, devices, interfaces, a user
//   client), three or four small properties each, filling the registry;
// - spread evenly among them, one branch per external display: its panel
//   node (AppleCLCD2 with EDID UUID, EDID and DisplayAttributes) and, in a
//   sibling branch two levels further down, its DCPAVServiceProxy. Odd
//   displays carry the EDID UUID again under the proxy; even ones do not,
//   so their proxy climbs three ancestors to find it next to the panel.
//
// Fails (returns "") when `entries` is too small to hold the displays.
std::string generateScenario(int entries, int displays);

// The EDID UUID generateScenario gives display `index`.
std::string displayUuid(int index);

}  // namespace bench
