#include "lib/display_call.h"

#include <strings.h>

#include <cstring>

#include "config/display_quirks.h"
#include "config/display_selector.h"
#include "ddc/change_journal.h"
#include "discovery/walk.h"

void discoverSessionDisplays(panoctl_session* session)
{
    enumerateDisplays(&session->displays);
    applyPauseFactors(session->config, &session->displays);
    SeenIds& seen = session->seen;
    for (const DisplayRecord& record : session->displays.displays()) {
        if (!seenBefore(*session, record.id.data()) && seen.count < seen.ids.size()) {
            copyText(seen.ids[seen.count++], record.id.data());
        }
    }
}

bool seenBefore(const panoctl_session& session, const char* selector)
{
    for (size_t i = 0; i < session.seen.count; i++) {
        if (strcasecmp(session.seen.ids[i].data(), selector) == 0) {
            return true;
        }
    }
    return false;
}

DisplayCall::DisplayCall(panoctl_session* session, const char* selector)
    : session_(session), table_(session->tableGuard)
{
    display_ = findSelected(session->config, session->displays, selector);
    if (display_ == nullptr) {
        // Plugged in since the last discovery, perhaps: look once more.
        table_.unlock();
        {
            std::unique_lock<std::shared_mutex> whole(session->tableGuard);
            if (findSelected(session->config, session->displays, selector) == nullptr) {
                discoverSessionDisplays(session);
            }
        }
        table_.lock();
        display_ = findSelected(session->config, session->displays, selector);
    }
    if (display_ == nullptr) {
        status_ = seenBefore(*session, selector) ? PANOCTL_DISPLAY_GONE : PANOCTL_NO_SUCH_DISPLAY;
        return;
    }
    status_ = PANOCTL_OK;
    auto place = static_cast<size_t>(display_ - session->displays.records.data());
    turn_ = std::unique_lock<std::mutex>(session->turns[place]);
}

DisplayCall::~DisplayCall()
{
    // A library program keeps no state file: what the monitor took is kept,
    // and the watches of any process may hear of it now, while this call
    // still has the display's turn.
    if (display_ != nullptr && turn_.owns_lock()) {
        TransferCounters unused;
        publishChanges(link(&unused));
    }
}

DdcLink DisplayCall::link(TransferCounters* counters) const
{
    return displayLink(&session_->displays, *display_, session_->options.retries, counters);
}

DdcLink DisplayCall::featureLink(TransferCounters* counters, uint8_t feature, uint8_t* code) const
{
    DdcLink quirked = link(counters);
    FeatureRoute route = routeFeature(session_->config, displayKeyOf(*display_), feature);
    quirked.sourceAddress = route.sourceAddress;
    *code = route.code;
    return quirked;
}
