#include "cli/watch_values.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "cli/diagnostics.h"
#include "cli/display_json.h"
#include "cli/output.h"
#include "cli/watch.h"
#include "config/config_lookup.h"
#include "ddc/change_journal.h"
#include "ddc/display_lock.h"
#include "ddc/vcp.h"
#include "mccs/capabilities_parse.h"
#include "mccs/feature_names.h"
#include "ops/capabilities_read.h"
#include "ops/json_escape.h"

namespace {

constexpr uint8_t kNewControlValue = 0x02;
constexpr uint8_t kActiveControl = 0x52;
constexpr uint8_t kPowerMode = 0xD6;
constexpr int32_t kPowerOn = 1;
constexpr int32_t kNewValuesPresent = 2;
// A sleeping display's power mode is looked at no more often than this.
constexpr int64_t kSleepingLookMillis = int64_t{60} * 1000;
// While 0x02 is trusted, every this many looks one watched feature is read
// instead, to find out whether 0x02 tells all that changes.
constexpr uint32_t kCheckEvery = 8;
// 0x52 lists the controls changed, one a read; no monitor has more.
constexpr int kMostActiveControls = 32;
// The longest the watch sleeps before it looks at the registry's
// notifications and its stop flag again: a display plugged in is told a
// little later than without --values, for fewer wake-ups while idle.
constexpr int kSliceMillis = 250;

enum class Source : uint8_t { initial, panoctl, monitor };

const char* sourceText(Source source)
{
    switch (source) {
        case Source::initial: return "initial";
        case Source::panoctl: return "panoctl";
        case Source::monitor: break;
    }
    return "monitor";
}

int64_t nowMillis()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::span<const uint8_t> watchedCodes(const Session& session)
{
    return std::span(session.options.values.codes).first(session.options.values.count);
}

bool isWatched(const Session& session, uint8_t code)
{
    std::span<const uint8_t> codes = watchedCodes(session);
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// What a value line is about.
struct ValueSite {
    Session* session;
    ValueWatch* values;
    size_t index;             // in the table
    WatchProgress* progress;  // null while the initial lines are written
};

DisplayValues& displayOf(const ValueSite& site)
{
    return site.values->displays[site.index];
}

DdcLink linkOf(const ValueSite& site)
{
    return sessionLink(site.session, site.session->displays.records[site.index]);
}

int printValue(const ValueSite& site, uint8_t code, const WatchedValue& value, Source source)
{
    Session* session = site.session;
    const DisplayRecord& display = session->displays.records[site.index];
    std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id{};
    json_escape(display.id.data(), id.data(), id.size());
    std::fprintf(session->out, "{\"event\":\"changed\",\"display\":%zu,\"id\":\"%s\"",
                 site.index + 1, id.data());
    printAliasMember(session->out, session->config, display.id.data(), display.name.data(),
                     display.serial.data());
    std::fprintf(session->out, ",\"code\":%u,", static_cast<unsigned>(code));
    // A feature of one's own is called by its name in the file.
    const ConfigFeature* own = configFeatureByCode(session->config, code, display.name.data());
    const FeatureName* feature = featureByCode(code);
    if (own != nullptr) {
        std::array<char, escapedCapacity(kConfigNameCapacity)> ownName{};
        json_escape(own->name.data(), ownName.data(), ownName.size());
        std::fprintf(session->out, "\"name\":\"%s\",", ownName.data());
    } else if (feature != nullptr) {
        std::fprintf(session->out, "\"name\":\"%.*s\",", static_cast<int>(feature->name.size()),
                     feature->name.data());
    } else {
        std::fprintf(session->out, "\"name\":null,");
    }
    std::fprintf(session->out, "\"value\":%u,", static_cast<unsigned>(value.value));
    if (value.maximumKnown) {
        std::fprintf(session->out, "\"max\":%u,", static_cast<unsigned>(value.maximum));
    } else {
        std::fprintf(session->out, "\"max\":null,");
    }
    std::fprintf(session->out, "\"source\":\"%s\"}\n", sourceText(source));
    int status = finishOutput(session, 0);
    if (status == 0 && source != Source::initial && site.progress != nullptr) {
        countChange(*session, site.progress);
    }
    return status;
}

// Takes a value the watch read or found in a journal entry, and writes its
// line when it is new: the first of the code is "initial", a change
// afterwards comes from `source`. A value above the maximum the monitor
// gave is one it capped.
int takeValue(const ValueSite& site, uint8_t code, uint16_t value, const uint16_t* maximum,
              Source source)
{
    WatchedValue& watched = displayOf(site).codes[code];
    if (watched.unsupported) {
        return 0;
    }
    if (maximum != nullptr) {
        watched.maximum = *maximum;
        watched.maximumKnown = true;
    }
    if (watched.maximumKnown) {
        value = std::min(value, watched.maximum);
    }
    if (watched.known && watched.value == value) {
        return 0;
    }
    Source said = watched.known ? source : Source::initial;
    watched.known = true;
    watched.value = value;
    return printValue(site, code, watched, said);
}

// One read of a watched code, with the checks and retries of every read;
// only a value that passed them is taken. `changed` tells whether it made a
// line.
int readWatched(const ValueSite& site, uint8_t code, Source source, bool* changed = nullptr)
{
    int32_t current = 0;
    int32_t maximum = 0;
    VcpRead read = readVCPFeature(linkOf(site), code, &current, &maximum);
    if (read == VcpRead::unsupported) {
        displayOf(site).codes[code].unsupported = true;
    }
    if (read != VcpRead::value) {
        return 0;
    }
    WatchedValue before = displayOf(site).codes[code];
    auto top = static_cast<uint16_t>(maximum);
    int status = takeValue(site, code, static_cast<uint16_t>(current), &top, source);
    if (changed != nullptr) {
        *changed = !before.known || before.value != displayOf(site).codes[code].value;
    }
    return status;
}

void closeJournal(DisplayValues* display)
{
    if (display->journalFd >= 0) {
        close(display->journalFd);
    }
    display->journalFd = -1;
}

void reopenJournal(const ValueSite& site);

// The journal's entries for the watched codes newer than those taken; with
// `report` false they are only noted, as at the start, where the reads that
// follow give the values.
int takeJournal(const ValueSite& site, bool report)
{
    JournalEntries entries;
    if (readJournal(linkOf(site), &entries) != JournalRead::read) {
        return 0;
    }
    DisplayValues& display = displayOf(site);
    if (entries.device != display.journalDevice || entries.inode != display.journalInode) {
        // A journal made anew: its entries are all news, and kqueue is to
        // follow this file now.
        display.journalDevice = entries.device;
        display.journalInode = entries.inode;
        for (WatchedValue& value : display.codes) {
            value.journalSequence = 0;
        }
        reopenJournal(site);
    }
    for (uint8_t code : watchedCodes(*site.session)) {
        const JournalEntry& entry = entries.codes[code];
        WatchedValue& watched = displayOf(site).codes[code];
        if (entry.sequence == 0 || entry.sequence == watched.journalSequence) {
            continue;
        }
        watched.journalSequence = entry.sequence;
        if (!report) {
            continue;
        }
        const uint16_t* maximum = entry.maximumKnown ? &entry.maximum : nullptr;
        if (int status = takeValue(site, code, entry.value, maximum, Source::panoctl)) {
            return status;
        }
    }
    return 0;
}

void fallBack(const ValueSite& site, const char* why)
{
    DisplayValues& display = displayOf(site);
    if (display.reports == ChangeReports::polled) {
        return;
    }
    display.reports = ChangeReports::polled;
    if (debugLinesWanted()) {
        std::array<char, escapedCapacity(sizeof(DisplayRecord::id))> id{};
        makeLineSafe(site.session->displays.records[site.index].id.data(), id.data(), id.size());
        std::fprintf(site.session->err, "[dbg] watch: display %zu %s: %s; polling from now on\n",
                     site.index + 1, id.data(), why);
    }
}

// The journal file kept open for kqueue, which tells writes to a file only
// to those who hold it open.
void keepJournalOpen(const ValueSite& site)
{
    DisplayValues& display = displayOf(site);
    LockFolder* folder = &site.session->displays.lockFolder;
    int folderFd = lockFolderDescriptor(folder);
    DisplayFileName name{};
    const DisplayRecord& record = site.session->displays.records[site.index];
    if (display.journalFd >= 0 || folderFd < 0 || !journalFileName(record.id.data(), &name)) {
        return;
    }
    display.journalFd =
        openat(folderFd, name.data(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (display.journalFd >= 0 && site.values->eventsStarted) {
        watchFileWrites(&site.values->events, display.journalFd);
    }
}

void reopenJournal(const ValueSite& site)
{
    closeJournal(&displayOf(site));
    keepJournalOpen(site);
}

// Whether the display is awake, from one read of 0xD6; a display without
// it is always awake.
bool awake(const ValueSite& site)
{
    DisplayValues& display = displayOf(site);
    if (!display.hasPower) {
        return true;
    }
    int32_t mode = 0;
    int32_t maximum = 0;
    switch (readVCPFeature(linkOf(site), kPowerMode, &mode, &maximum)) {
        case VcpRead::unsupported: display.hasPower = false; return true;
        case VcpRead::failed: return false;  // not known: nothing else is risked this time
        case VcpRead::value: break;
    }
    display.asleep = mode != kPowerOn;
    if (display.asleep) {
        display.nextPowerLook = nowMillis() + kSleepingLookMillis;
    }
    return !display.asleep;
}

// Every watched code, read in turn; the first values make the initial lines.
int readAll(const ValueSite& site, Source source)
{
    for (uint8_t code : watchedCodes(*site.session)) {
        if (int status = readWatched(site, code, source)) {
            return status;
        }
    }
    return 0;
}

// Where the monitor keeps 0x02 (its capabilities say so), its changes are
// asked for there; otherwise the features are polled.
void chooseReports(const ValueSite& site)
{
    DisplayValues& display = displayOf(site);
    CapabilitiesText text{};
    size_t length = readCachedCapabilities(linkOf(site), site.session->displays.records[site.index],
                                           false, &text);
    static_assert(sizeof(Capabilities) < size_t{16} * 1024,
                  "decoded capabilities fit on the stack");
    Capabilities capabilities{};
    parseCapabilities(std::string_view(text.data(), length), &capabilities);
    auto codes = std::span(capabilities.vcp).first(capabilities.vcpCount);
    bool listed = std::any_of(codes.begin(), codes.end(), [](const CapabilitiesVcpCode& code) {
        return code.code == kNewControlValue;
    });
    display.reports = listed ? ChangeReports::trusted : ChangeReports::polled;
}

// The platform's hold around the bus work of one look (the simulated
// monitors' state file); false when it failed, after saying why.
bool takeHold(Session* session)
{
    return session->hold.take == nullptr || session->hold.take();
}

bool giveHold(Session* session)
{
    return session->hold.give == nullptr || session->hold.give();
}

// A display's first look: its power, how its changes are found, and every
// watched value, unless it sleeps; then it is started when it wakes.
int startDisplay(const ValueSite& site)
{
    DisplayValues& display = displayOf(site);
    display.hasPower = true;
    if (!awake(site)) {
        return 0;
    }
    chooseReports(site);
    display.started = true;
    return readAll(site, Source::initial);
}

int startHeld(const ValueSite& site)
{
    keepJournalOpen(site);
    if (int status = takeJournal(site, false)) {
        return status;
    }
    if (!takeHold(site.session)) {
        return kStatusUsage;
    }
    int status = startDisplay(site);
    showLockWarnings(site.session);
    return giveHold(site.session) ? status : kStatusUsage;
}

// 0x02 said new values are present: 0x52 names each changed control until
// it answers 0; those watched are read; then 0x02 is reset, as MCCS says.
int readActiveControls(const ValueSite& site)
{
    DdcLink link = linkOf(site);
    int named = 0;
    int status = 0;
    for (int i = 0; i < kMostActiveControls && status == 0; i++) {
        int32_t code = 0;
        int32_t maximum = 0;
        if (readVCPFeature(link, kActiveControl, &code, &maximum) != VcpRead::value || code == 0 ||
            code > 0xFF) {
            break;
        }
        named++;
        if (isWatched(*site.session, static_cast<uint8_t>(code))) {
            status = readWatched(site, static_cast<uint8_t>(code), Source::monitor);
        }
    }
    asWriteVCP(link, kNewControlValue, 1);
    if (named == 0) {
        fallBack(site, "0x02 reports new values and 0x52 names none");
    }
    return status;
}

// The next watched feature, in turn; while 0x02 is trusted, a change found
// so is one 0x02 did not report.
int pollNext(const ValueSite& site)
{
    DisplayValues& display = displayOf(site);
    std::span<const uint8_t> codes = watchedCodes(*site.session);
    uint8_t code = codes[display.nextPolled % codes.size()];
    display.nextPolled = (display.nextPolled + 1) % codes.size();
    bool knownBefore = display.codes[code].known;
    bool changed = false;
    if (display.reports == ChangeReports::trusted && knownBefore) {
        // Said before the line it explains.
        int32_t current = 0;
        int32_t maximum = 0;
        if (readVCPFeature(linkOf(site), code, &current, &maximum) == VcpRead::value &&
            static_cast<uint16_t>(current) != display.codes[code].value) {
            fallBack(site, "0x02 did not report a change that polling found");
        }
        if (display.reports == ChangeReports::trusted) {
            return 0;
        }
        auto top = static_cast<uint16_t>(maximum);
        return takeValue(site, code, static_cast<uint16_t>(current), &top, Source::monitor);
    }
    return readWatched(site, code, Source::monitor, &changed);
}

// One look at a display, one locked transaction: at most one read besides
// the power mode's, unless it reports changes, whose reads follow.
int lookAt(const ValueSite& site)
{
    DisplayValues& display = displayOf(site);
    if (display.asleep && nowMillis() < display.nextPowerLook) {
        return 0;
    }
    bool wasAsleep = display.asleep;
    if (!awake(site)) {
        return 0;
    }
    if (!display.started) {
        return startDisplay(site);
    }
    if (wasAsleep) {
        // Whatever changed while it slept is read once now.
        return readAll(site, Source::monitor);
    }
    display.ticks++;
    if (display.reports == ChangeReports::polled || display.ticks % kCheckEvery == 0) {
        return pollNext(site);
    }
    int32_t report = 0;
    int32_t maximum = 0;
    switch (readVCPFeature(linkOf(site), kNewControlValue, &report, &maximum)) {
        case VcpRead::unsupported: fallBack(site, "0x02 is unsupported"); return 0;
        case VcpRead::failed: return 0;
        case VcpRead::value: break;
    }
    return report == kNewValuesPresent ? readActiveControls(site) : 0;
}

int lookAtAll(Session* session, ValueWatch* values, WatchProgress* progress)
{
    if (!takeHold(session)) {
        return kStatusUsage;
    }
    int status = 0;
    for (size_t i = 0; i < static_cast<size_t>(session->displays.count) && status == 0; i++) {
        ValueSite site{session, values, i, progress};
        // One hold of the display's lock for the whole look: no other run's
        // request (a power off, say) falls between the power mode's read
        // and the read it allows.
        DisplayLockGuard look(linkOf(site));
        // What panoctl wrote before this hold is in the journal now: taken
        // first, so that a read finding it is not told as the monitor's.
        status = takeJournal(site, true);
        if (status == 0) {
            status = lookAt(site);
        }
    }
    showLockWarnings(session);
    return giveHold(session) ? status : kStatusUsage;
}

int takeJournals(Session* session, ValueWatch* values, WatchProgress* progress)
{
    int status = 0;
    for (size_t i = 0; i < static_cast<size_t>(session->displays.count) && status == 0; i++) {
        ValueSite site{session, values, i, progress};
        keepJournalOpen(site);
        status = takeJournal(site, true);
    }
    showLockWarnings(session);
    return status;
}

void startEvents(Session* session, ValueWatch* values)
{
    LockFolder* folder = &session->displays.lockFolder;
    int folderFd = lockFolderDescriptor(folder);
    values->eventsStarted =
        folderFd >= 0 && startFileEvents(&values->events, folder->path.data(), folderFd);
    if (!values->eventsStarted && debugLinesWanted()) {
        std::fprintf(session->err,
                     "[dbg] watch: no file events for the journals; they are read each tick\n");
    }
}

}  // namespace

int startValues(Session* session, ValueWatch* values)
{
    startEvents(session, values);
    for (size_t i = 0; i < static_cast<size_t>(session->displays.count); i++) {
        if (int status = startHeld({session, values, i, nullptr})) {
            return status;
        }
    }
    return 0;
}

void followDisplayChanges(ValueWatch* values, const DisplayChanges& changes)
{
    auto& displays = values->displays;
    std::span<const DisplayChange> all = changes.view();
    // Removals are in the old order: taken out from the last, so that the
    // places of the others stay right.
    for (size_t i = all.size(); i > 0; i--) {
        const DisplayChange& change = all[i - 1];
        if (change.kind != DisplayChangeKind::removed) {
            continue;
        }
        auto at = static_cast<size_t>(change.index);
        closeJournal(&displays[at]);
        std::move(displays.begin() + static_cast<long>(at) + 1, displays.end(),
                  displays.begin() + static_cast<long>(at));
        displays.back() = DisplayValues{};
    }
    for (const DisplayChange& change : all) {
        if (change.kind != DisplayChangeKind::added) {
            continue;
        }
        auto at = static_cast<size_t>(change.index);
        closeJournal(&displays.back());
        std::move_backward(displays.begin() + static_cast<long>(at), displays.end() - 1,
                           displays.end());
        displays[at] = DisplayValues{};
    }
}

int startDisplayValues(Session* session, ValueWatch* values, size_t index)
{
    return startHeld({session, values, index, nullptr});
}

int watchValues(Session* session, RegistryWatch* watch, ValueWatch* values, WatchProgress* progress)
{
    int64_t tick = session->options.tickMillis;
    int64_t nextLook = nowMillis() + tick;
    int64_t burstEnds = -1;  // the registry's burst of notifications is over then
    int status = 0;
    while (status == 0 && !progress->done && !watchStopAsked()) {
        int64_t now = nowMillis();
        int64_t until = std::min(nextLook, burstEnds >= 0 ? burstEnds : now + kSliceMillis);
        if (waitForFileEvents(&values->events,
                              static_cast<int>(std::max<int64_t>(until - now, 0)))) {
            status = takeJournals(session, values, progress);
        }
        if (status != 0 || progress->done || watchStopAsked()) {
            break;
        }
        watch->notified = false;
        if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, 1) == kCFRunLoopRunFinished) {
            std::fprintf(session->err,
                         "panoctl: cannot watch displays: no notification source left\n");
            return kStatusUsage;
        }
        now = nowMillis();
        if (watch->notified) {
            burstEnds = now + static_cast<int64_t>(kQuietSeconds * 1000);
        } else if (burstEnds >= 0 && now >= burstEnds) {
            burstEnds = -1;
            status = printDisplayChanges(session, progress, values);
        }
        if (status == 0 && !progress->done && now >= nextLook) {
            nextLook = std::max(nextLook + tick, now + 1);
            // Each look takes the display's journal first, so one whose file
            // events were missed (a rebuilt file that kqueue no longer
            // follows) is caught up each tick too.
            status = lookAtAll(session, values, progress);
        }
    }
    return status;
}

void stopValues(ValueWatch* values)
{
    for (DisplayValues& display : values->displays) {
        closeJournal(&display);
    }
    if (values->eventsStarted) {
        stopFileEvents(&values->events);
    }
    values->eventsStarted = false;
}
