#include <cstdio>

#include "cli/commands.h"
#include "cli/display_lookup.h"
#include "ops/capabilities_read.h"
#include "ops/documents.h"

int commandFeatures(Session* session, CommandWords words)
{
    std::FILE* out = session->out;
    const DisplayRecord* display = lookupDisplayOrAnswer(session, words[1]);
    if (display == nullptr) {
        return kStatusNoSuchDisplay;
    }
    CapabilitiesText text;
    size_t length = readCachedCapabilities(sessionLink(session, *display), *display,
                                           session->options.refresh, &text);
    if (length == 0) {
        std::fprintf(out, "{\"error\":\"no_capabilities\"}\n");
        return documentStatus(*session, true);
    }
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);
    DocumentText document;
    TextOut written{document};
    writeFeaturesDocument(&written, capabilities);
    std::fprintf(out, "%s\n", document.data());
    return 0;
}
