#include "cli/capabilities_read.h"

size_t readUsableCapabilities(const DdcLink& link, const DisplayRecord& display,
                              CapabilitiesText* text)
{
    size_t length = asReadCapabilities(link, display, text);
    if (length == 0 || (*text)[0] != '(') {
        return 0;
    }
    return length;
}
