#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/diagnostics.h"
#include "cli/dispatch.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/quirked_feature.h"
#include "cli/serve_displays.h"
#include "config/config_lookup.h"
#include "config/display_quirks.h"
#include "config/display_selector.h"
#include "ddc/vcp.h"
#include "ops/settings.h"

namespace {

// What `set` writes: the value, and the word it came from when that was a
// name, which a display's quirks may give another value.
struct PlainValue {
    uint16_t value;
    const char* name;  // null for a number
};

// The value for one display: a name as that display's quirks and the
// configuration read it; nothing when the display has no value of that name.
std::optional<uint16_t> valueFor(const Session& session, const DisplayRecord& display, uint8_t vcp,
                                 const PlainValue& plain)
{
    if (plain.name == nullptr) {
        return plain.value;
    }
    return valueForDisplay(session.config, displayKeyOf(display), vcp, plain.name);
}

// One display's write, its quirks applied; false, with nothing sent, for a
// name the display has no value of.
bool writeOne(const Session& session, const DdcLink& link, const DisplayRecord& display,
              uint8_t vcp, const PlainValue& plain)
{
    std::optional<uint16_t> value = valueFor(session, display, vcp, plain);
    if (!value) {
        return false;
    }
    if (plain.name != nullptr) {
        if (const Quirk* quirk =
                quirkNamingValue(session.config, displayKeyOf(display), vcp, plain.name)) {
            std::array<char, 32> what{};
            // The word itself is the user's and stays out of the line.
            std::snprintf(what.data(), what.size(), "value named as 0x%04X",
                          static_cast<unsigned>(*value));
            showQuirk(session, *quirk, display.id.data(), what.data());
        }
    }
    QuirkedFeature quirked = quirkFeature(session, link, display, vcp);
    return writeSetting(quirked.link, session.options.verify, quirked.code, *value,
                        actsOnce(session.config, vcp));
}

// `[{"display":1,"id":"…","ok":B},…]`.
int setSeveral(Session* session, const char* selector, uint8_t vcp, const PlainValue& plain)
{
    return commandOverDisplays<bool>(
        session, selector,
        [session, vcp, &plain](const DdcLink& link, const DisplayRecord& display) {
            return writeOne(*session, link, display, vcp, plain);
        },
        [](std::FILE* out, bool ok) {
            std::fprintf(out, ",\"ok\":%s}", ok ? "true" : "false");
            return !ok;
        });
}

bool isNumberWord(const char* word)
{
    return *word >= '0' && *word <= '9';
}

}  // namespace

int commandSet(Session* session, CommandWords words)
{
    std::optional<uint8_t> vcp =
        parseFeatureArgument(&session->refusals, session->config, words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    std::optional<SettingChange> change =
        parseSettingChange(&session->refusals, session->config, *vcp, words.subspan(3));
    if (!change) {
        return kStatusUsage;
    }
    // A step's sign may stand alone, its amount in the next word.
    size_t taken = 3 + (std::strcmp(words[3], "+") == 0 || std::strcmp(words[3], "-") == 0 ? 2 : 1);
    if (words.size() > taken) {
        refuseUnexpectedWord(&session->refusals, words[taken]);
        return kStatusUsage;
    }
    if (change->needsCurrentValue()) {
        return commandSetFromCurrent(session, words[1], *vcp, *change);
    }
    PlainValue plain{change->target(0, 0), isNumberWord(words[3]) ? nullptr : words[3]};
    if (namesSeveralDisplays(*session, words[1])) {
        return setSeveral(session, words[1], *vcp, plain);
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    if (display != nullptr && !valueFor(*session, *display, *vcp, plain)) {
        // A name that only another model's quirk gives a value: nothing is sent.
        refuseCommandLine(&session->refusals, "panoctl: unknown value for this display: %s",
                          words[3]);
        return kStatusUsage;
    }
    bool ok = display != nullptr &&
              writeOne(*session, sessionLink(session, *display), *display, *vcp, plain);
    std::fprintf(session->out, "{\"ok\":%s}\n", ok ? "true" : "false");
    return documentStatus(*session, !ok);
}
