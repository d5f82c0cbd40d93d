#include <cstdio>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/quirked_feature.h"
#include "config/display_selector.h"
#include "ops/capabilities_read.h"
#include "ops/documents.h"

int commandFeatures(Session* session, CommandWords words)
{
    // A document is one monitor's.
    if (!refuseSeveralDisplays(session, words)) {
        return kStatusUsage;
    }
    std::FILE* out = session->out;
    const DisplayRecord* display = lookupDisplayOrAnswer(session, words[1]);
    if (display == nullptr) {
        return kStatusNoSuchDisplay;
    }
    CapabilitiesText text;
    size_t length = quirkedCapabilities(*session, sessionLink(session, *display), *display, &text);
    if (length == 0) {
        std::fprintf(out, "{\"error\":\"no_capabilities\"}\n");
        return documentStatus(*session, true);
    }
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);
    DocumentText document;
    TextOut written{document};
    // Without a file, the table's names alone, as always.
    FeatureNaming naming;
    if (session->config.fromFile) {
        naming = FeatureNaming{&session->config, displayKeyOf(*display)};
    }
    writeFeaturesDocument(&written, capabilities, naming);
    std::fprintf(out, "%s\n", document.data());
    return 0;
}
