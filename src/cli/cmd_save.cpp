// `save <display> [file]`: the monitor's restorable settings as one
// document that `restore` takes back, printed, and written whole into the
// file when one is named.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/output.h"
#include "cli/quirked_feature.h"
#include "cli/whole_file.h"
#include "config/config_lookup.h"
#include "ops/capabilities_read.h"
#include "ops/documents.h"

int commandSave(Session* session, CommandWords words)
{
    // A document is one monitor's settings. The file, when given, is only
    // replaced by a good document.
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
    size_t length = quirkedCapabilities(*session, link, *display, &text);
    Capabilities capabilities;
    decodeCapabilities(text, length, &capabilities);

    // Everything is read before anything is printed: the document is
    // printed whole or not at all.
    OwnRestorable own = ownRestorable(session->config, display->name.data());
    SavedValues saved = readSavedValues(link, capabilities, own);
    if (!saved.usable()) {
        std::fprintf(out, "{\"error\":\"read_failed\"}\n");
        return 1;
    }
    DocumentText document;
    TextOut written{document};
    writeSavedDocument(&written, *display, capabilities, saved, own);
    appendText(&written, "\n");
    std::string_view whole(document.data());
    int error = 0;
    if (words.size() > 2 && !replaceFileWhole(words[2], whole, &error)) {
        refuseCommandLine(&session->refusals, "panoctl: cannot write %s: %s", words[2],
                          std::strerror(error));
        return kStatusOutputFailed;
    }
    std::fputs(document.data(), out);
    return 0;
}
