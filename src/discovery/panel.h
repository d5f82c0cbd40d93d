// The panel side of discovery: panel nodes carry a display's EDID UUID,
// product name and serial, which the proxy nodes met later in the walk use.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

struct SerialMapEntry {
    std::array<char, 40> uuid;
    std::array<char, 24> serial;  // possibly empty
};

inline constexpr int32_t kMaxSerialMapEntries = 16;

// What the panel nodes met so far in one pass of the walk left for the proxy
// nodes after them.
struct PanelWalkState {
    std::array<char, 40> lastPanelUuid;   // most recent panel with an EDID UUID
    std::array<char, 128> lastPanelName;  // that panel's product name, or empty
    std::array<SerialMapEntry, kMaxSerialMapEntries> serials;  // by EDID UUID
    int32_t serialCount;
};

// True when `name` is the registry name of a panel node.
bool isPanelNodeName(const char* name);

// Records one panel node in `state`, its serial among the state's serials.
// Returns whether the node had an EDID UUID.
bool recordPanelNode(io_registry_entry_t entry, PanelWalkState* state);

// The serial stored for `uuid`, or null when the state has none.
const char* serialForUuid(const PanelWalkState& state, const char* uuid);
