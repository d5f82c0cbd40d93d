#include "cli/capabilities_read.h"

size_t readUsableCapabilities(const DisplayRecord& display, CapabilitiesText* text)
{
    return asReadCapabilities(display, text);
}
