#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/display_list.h"
#include "cli/display_lookup.h"
#include "cli/quirked_feature.h"
#include "cli/serve_displays.h"
#include "config/display_selector.h"
#include "ddc/vcp.h"
#include "ops/setting_change.h"

namespace {

struct Reading {
    VcpRead outcome = VcpRead::failed;
    int32_t current = 0;
    int32_t maximum = 0;
    const Calibration* calibration = nullptr;  // the display's range of the code, if any
};

// Why there is no value: the monitor said it has no such code, or no
// answer came.
const char* readError(VcpRead outcome)
{
    return outcome == VcpRead::unsupported ? "unsupported" : "read_failed";
}

// `,"percent":P`, in the display's range; null when there is no value or
// the range is empty.
void printPercent(std::FILE* out, const Reading& reading)
{
    std::optional<int32_t> percent;
    if (reading.outcome == VcpRead::value) {
        percent =
            percentInRange(reading.current, percentRange(reading.maximum, reading.calibration));
    }
    if (percent) {
        std::fprintf(out, ",\"percent\":%d", *percent);
    } else {
        std::fputs(",\"percent\":null", out);
    }
}

Reading readSetting(const Session& session, const DdcLink& link, const DisplayRecord& display,
                    uint8_t vcp)
{
    Reading reading;
    QuirkedFeature quirked = quirkFeature(session, link, display, vcp);
    reading.outcome =
        readVCPFeature(quirked.link, quirked.code, &reading.current, &reading.maximum);
    reading.calibration = calibrationOf(session.config, displayKeyOf(display), vcp);
    return reading;
}

// `[{"display":1,"id":"…","value":V,"max":M},…]`; a display whose read
// failed gives null for both and "error":"read_failed".
int getSeveral(Session* session, const char* selector, uint8_t vcp)
{
    bool showPercent = session->options.showPercent;
    return commandOverDisplays<Reading>(
        session, selector,
        [session, vcp](const DdcLink& link, const DisplayRecord& display) {
            return readSetting(*session, link, display, vcp);
        },
        [showPercent](std::FILE* out, const Reading& reading) {
            bool ok = reading.outcome == VcpRead::value;
            if (ok) {
                std::fprintf(out, ",\"value\":%d,\"max\":%d", reading.current, reading.maximum);
            } else {
                std::fputs(",\"value\":null,\"max\":null", out);
            }
            if (showPercent) {
                printPercent(out, reading);
            }
            if (!ok) {
                std::fprintf(out, ",\"error\":\"%s\"", readError(reading.outcome));
            }
            std::fputc('}', out);
            return !ok;
        });
}

}  // namespace

int commandGet(Session* session, CommandWords words)
{
    std::optional<uint8_t> vcp =
        parseFeatureArgument(&session->refusals, session->config, words[2]);
    if (!vcp) {
        return kStatusUsage;
    }
    if (namesSeveralDisplays(*session, words[1])) {
        return getSeveral(session, words[1], *vcp);
    }
    const DisplayRecord* display = lookupDisplay(session, words[1]);
    // An unknown display reads like a display that did not answer.
    Reading reading;
    if (display != nullptr) {
        reading = readSetting(*session, sessionLink(session, *display), *display, *vcp);
    }
    bool read = reading.outcome == VcpRead::value;
    std::FILE* out = session->out;
    if (read) {
        std::fprintf(out, "{\"value\":%d", reading.current);
    } else {
        std::fputs("{\"value\":null", out);
    }
    if (session->options.showMax && read) {
        std::fprintf(out, ",\"max\":%d", reading.maximum);
    } else if (session->options.showMax) {
        std::fputs(",\"max\":null", out);
    }
    if (session->options.showPercent) {
        printPercent(out, reading);
    }
    if (!read) {
        std::fprintf(out, ",\"error\":\"%s\"", readError(reading.outcome));
    }
    std::fputs("}\n", out);
    return documentStatus(*session, !read);
}
