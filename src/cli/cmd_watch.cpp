// `watch`: one line per display present, then "ready", then one line per
// display that comes or goes, for as long as the run lasts. Changes come
// from the registry's notifications; each burst of them is followed by one
// discovery, and the events are the difference from the table before it.
// Nothing here makes an I2C transfer, so no sleeping monitor is woken.
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "cli/commands.h"
#include "cli/display_json.h"
#include "cli/display_lookup.h"
#include "cli/output.h"
#include "cli/watch.h"
#include "cli/watch_values.h"
#include "discovery/display_diff.h"
#include "discovery/registry_watch.h"
#include "ops/json_escape.h"

namespace {

// Set by SIGINT and SIGTERM: the line being written is finished, then the
// watch ends with status 0.
std::atomic<int> g_stopSignalFlag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void onStopSignal(int /*signal*/)
{
    g_stopSignalFlag = 1;
}

}  // namespace

bool watchStopAsked()
{
    return g_stopSignalFlag != 0;
}

bool countChange(const Session& session, WatchProgress* progress)
{
    progress->events++;
    if ((session.options.count > 0 && progress->events >= session.options.count) ||
        watchStopAsked()) {
        progress->done = true;
    }
    return progress->done;
}

// SIGINT and SIGTERM ask the watch to end. The handlers stay until the
// process exits: a second signal that arrives while the run is ending (as
// when `timeout` signals both the process and its group) must not kill it
// with a status other than 0. SIGPIPE is already ignored for every run, so a
// reader that goes away ends the watch with status 3. The flag is never
// cleared: a signal that came before the watch began still ends it.
void catchWatchStopSignals()
{
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    // A write to a slow reader is carried on, not cut, by the signal.
    stop.sa_flags = SA_RESTART;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    // Started with them blocked (a supervisor may start children so), the
    // watch could not be stopped; a signal that came meanwhile arrives now.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
}

namespace {

// One event line, flushed; the status finishOutput gives.
int printAdded(Session* session, const KnownDisplay& display, int32_t position)
{
    std::fprintf(session->out, "{\"event\":\"added\",\"display\":%d,", position);
    printDisplayMembers(session->out, session->config, display.id.data(), display.name.data(),
                        display.serial.data());
    std::fprintf(session->out, ",\"isBuiltin\":false,\"supportsDdc\":true}\n");
    return finishOutput(session, 0);
}

int printRemoved(Session* session, const KnownDisplay& display)
{
    std::fprintf(session->out, "{\"event\":\"removed\",");
    printDisplayMembers(session->out, session->config, display.id.data(), display.name.data(),
                        display.serial.data());
    std::fprintf(session->out, "}\n");
    return finishOutput(session, 0);
}

// The displays present now, in list's order, their values when they are
// watched, then "ready".
int printStart(Session* session, ValueWatch* values)
{
    std::span<const KnownDisplay> displays = session->watched.view();
    for (size_t i = 0; i < displays.size(); i++) {
        if (int status = printAdded(session, displays[i], static_cast<int32_t>(i + 1))) {
            return status;
        }
    }
    if (values != nullptr) {
        if (int status = startValues(session, values)) {
            return status;
        }
    }
    std::fprintf(session->out, "{\"event\":\"ready\"}\n");
    return finishOutput(session, 0);
}

}  // namespace

int printDisplayChanges(Session* session, WatchProgress* progress, ValueWatch* values)
{
    discoverDisplays(session);
    KnownDisplays before = session->watched;
    session->watched = knownDisplaysOf(session->displays);
    DisplayChanges changes = diffDisplays(before.view(), session->watched.view());
    if (values != nullptr) {
        followDisplayChanges(values, changes);
    }
    for (const DisplayChange& change : changes.view()) {
        auto index = static_cast<size_t>(change.index);
        bool added = change.kind == DisplayChangeKind::added;
        int status = added ? printAdded(session, session->watched.items[index], change.index + 1)
                           : printRemoved(session, before.items[index]);
        if (status == 0 && added && values != nullptr) {
            status = startDisplayValues(session, values, index);
        }
        if (status != 0) {
            return status;
        }
        if (countChange(*session, progress)) {
            break;
        }
    }
    return 0;
}

namespace {

int watchDisplays(Session* session, RegistryWatch* watch)
{
    discoverDisplays(session);
    session->discovered = true;
    session->watched = knownDisplaysOf(session->displays);
    WatchProgress progress;
    if (session->options.values.count > 0) {
        // Its state is this run's, kept here for the watch's life.
        static_assert(sizeof(ValueWatch) < size_t{256} * 1024, "the value watch fits on the stack");
        ValueWatch values;
        int status = printStart(session, &values);
        if (status == 0) {
            status = watchValues(session, watch, &values, &progress);
        }
        stopValues(&values);
        return status;
    }
    int status = printStart(session, nullptr);
    while (status == 0 && !progress.done) {
        switch (waitForRegistryChange(watch, g_stopSignalFlag)) {
            case RegistryWait::changed:
                status = printDisplayChanges(session, &progress, nullptr);
                break;
            case RegistryWait::stopped: return 0;
            case RegistryWait::lost:
                std::fprintf(session->err,
                             "panoctl: cannot watch displays: no notification source left\n");
                return kStatusUsage;
        }
    }
    return status;
}

}  // namespace

int commandWatch(Session* session, CommandWords /*words*/)
{
    catchWatchStopSignals();
    // The notifications come first: a display that arrives during the first
    // discovery is then seen by the next one.
    RegistryWatch watch;
    std::array<char, 160> reason{};
    int status = 0;
    if (!startRegistryWatch(&watch, reason)) {
        std::array<char, escapedCapacity(sizeof reason)> line{};
        makeLineSafe(reason.data(), line.data(), line.size());
        std::fprintf(session->err, "panoctl: cannot watch displays: %s\n", line.data());
        status = kStatusUsage;
    } else {
        status = watchDisplays(session, &watch);
        stopRegistryWatch(&watch);
    }
    return status;
}
