#include "cli/capabilities_read.h"

size_t readUsableCapabilities(const DdcLink& link, const DisplayRecord& display,
                              CapabilitiesText* text)
{
    return asReadCapabilities(link, display, text);
}
