// `save <display>`: the monitor's restorable settings as one document that
// `restore` takes back.
#include <cstdio>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "ops/capabilities_read.h"
#include "ops/documents.h"

int commandSave(Session* session, CommandWords words)
{
    // A document is one monitor's settings.
    if (!refuseSeveralDisplays(session, words)) {
        return kStatusUsage;
    }
    std::FILE* out = session->out;
    const DisplayRecord* display = lookupDisplayOrAnswer(session, words[1]);
    if (display == nullptr) {
        return kStatusNoSuchDisplay;
    }
    DdcLink link = sessionLink(session, *display);
    CapabilitiesText text;
    size_t length = readCachedCapabilities(link, *display, session->options.refresh, &text);
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);

    // Everything is read before anything is printed: the document is
    // printed whole or not at all.
    SavedValues saved = readSavedValues(link, capabilities);
    if (!saved.usable()) {
        std::fprintf(out, "{\"error\":\"read_failed\"}\n");
        return 1;
    }
    DocumentText document;
    TextOut written{document};
    writeSavedDocument(&written, *display, capabilities, saved);
    std::fprintf(out, "%s\n", document.data());
    return 0;
}
