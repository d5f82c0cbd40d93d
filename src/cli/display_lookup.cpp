#include "cli/display_lookup.h"

#include <array>
#include <cstdio>

#include "cli/diagnostics.h"
#include "cli/usage.h"
#include "config/display_quirks.h"
#include "config/display_selector.h"
#include "discovery/walk.h"

void discoverDisplays(Session* session)
{
    // Warnings left by the table about to be emptied are still owed.
    showLockWarnings(session);
    showWalkCounters(*session, enumerateDisplays(&session->displays));
    applyPauseFactors(session->config, &session->displays);
    for (const DisplayRecord& display : session->displays.displays()) {
        PauseFactor factor = pauseFactorOf(session->config, displayKeyOf(display));
        if (factor.quirk != nullptr) {
            std::array<char, 48> what{};
            std::snprintf(what.data(), what.size(), "pauses times %u.%03u", factor.permille / 1000U,
                          factor.permille % 1000U);
            showQuirk(*session, *factor.quirk, display.id.data(), what.data());
        }
    }
}

const DisplayRecord* lookupDisplay(Session* session, const char* selector)
{
    const DisplayRecord* display = findSelected(session->config, session->displays, selector);
    if (display == nullptr && session->rediscoverOnMiss) {
        discoverDisplays(session);
        display = findSelected(session->config, session->displays, selector);
    }
    if (display == nullptr && !session->batch) {
        // The document keeps its old form for the programs that read it;
        // the person who typed the selector is told why. A batch's caller
        // is a program, which has the document.
        tellUser(&session->refusals, "panoctl: no display %s (panoctl list shows them)", selector);
    }
    return display;
}

const DisplayRecord* lookupDisplayOrAnswer(Session* session, const char* selector)
{
    const DisplayRecord* display = lookupDisplay(session, selector);
    if (display == nullptr) {
        std::fprintf(session->out, "{\"error\":\"no_such_display\"}\n");
    }
    return display;
}
