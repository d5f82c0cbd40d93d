// panoctl_set_latest and panoctl_flush. A lane sends one value at a time;
// values asked for meanwhile replace each other, so a slider's 60 moves a
// second reach the monitor as the few that its set transactions have time
// for, the last one always among them.
#include "lib/latest.h"

#include <chrono>
#include <cstring>
#include <shared_mutex>

#include "config/display_selector.h"
#include "lib/display_call.h"
#include "ops/settings.h"

namespace {

// A lane's work: little besides a transaction's buffers.
constexpr size_t kLaneStackBytes = size_t{512} * 1024;

panoctl_status sendValue(panoctl_session* session, const char* id, uint8_t code, uint16_t value)
{
    DisplayCall call(session, id);
    if (call.status() != PANOCTL_OK) {
        return call.status();
    }
    TransferCounters counters;
    return writeSetting(call.link(&counters), call.options().verify != 0, code, value)
               ? PANOCTL_OK
               : PANOCTL_WRITE_FAILED;
}

// The next code with a value waiting, from where the lane left off; the
// guard is held and one is pending.
size_t takePending(LatestLane* lane)
{
    for (size_t i = 0; i < kCodes; i++) {
        size_t code = (lane->nextCode + i) % kCodes;
        if (lane->codes[code].pending) {
            lane->nextCode = (code + 1) % kCodes;
            return code;
        }
    }
    return kCodes;
}

void runLane(LatestLane* lane)
{
    LatestValues& latest = lane->session->latest;
    std::unique_lock<std::mutex> hold(latest.guard);
    for (;;) {
        latest.changed.wait(hold, [&] { return latest.stopping || lane->pending > 0; });
        size_t code = lane->pending > 0 ? takePending(lane) : kCodes;
        if (code == kCodes) {
            return;  // stopping, with nothing left to send
        }
        LatestCode& entry = lane->codes[code];
        entry.pending = false;
        entry.inFlight = true;
        lane->pending--;
        uint16_t value = entry.value;
        hold.unlock();
        panoctl_status status =
            sendValue(lane->session, lane->id.data(), static_cast<uint8_t>(code), value);
        hold.lock();
        entry.inFlight = false;
        entry.sent++;
        entry.sentValue = value;
        entry.status = status;
        latest.changed.notify_all();
    }
}

void* laneThread(void* argument)
{
    runLane(static_cast<LatestLane*>(argument));
    return nullptr;
}

bool startLane(LatestLane* lane)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_attr_setstacksize(&attributes, kLaneStackBytes);
    lane->started = pthread_create(&lane->thread, &attributes, laneThread, lane) == 0;
    pthread_attr_destroy(&attributes);
    return lane->started;
}

// The lane of the display with `id`, taking a free one for a new display;
// null when all are taken by others.
LatestLane* laneFor(LatestValues* latest, const char* id)
{
    LatestLane* free = nullptr;
    for (LatestLane& lane : latest->lanes) {
        if (lane.used && std::strcmp(lane.id.data(), id) == 0) {
            return &lane;
        }
        if (!lane.used && free == nullptr) {
            free = &lane;
        }
    }
    return free;
}

bool settled(const LatestValues& latest)
{
    for (const LatestLane& lane : latest.lanes) {
        if (lane.pending > 0) {
            return false;
        }
        for (const LatestCode& code : lane.codes) {
            if (code.inFlight) {
                return false;
            }
        }
    }
    return true;
}

// Finds the display's id now, as a lane keeps sending to the same display
// whatever positions later discoveries give it.
panoctl_status resolveId(panoctl_session* session, const char* selector,
                         std::array<char, sizeof(DisplayRecord::id)>* id)
{
    std::shared_lock<std::shared_mutex> table(session->tableGuard);
    const DisplayRecord* display = findSelected(session->config, session->displays, selector);
    if (display == nullptr) {
        return seenBefore(*session, selector) ? PANOCTL_DISPLAY_GONE : PANOCTL_NO_SUCH_DISPLAY;
    }
    *id = display->id;
    return PANOCTL_OK;
}

void report(LatestLane* lane, size_t code, panoctl_flush_entry* entry)
{
    LatestCode& values = lane->codes[code];
    std::memcpy(entry->id, lane->id.data(), sizeof entry->id);
    entry->code = static_cast<unsigned>(code);
    entry->value = values.sentValue;
    entry->calls = values.calls;
    entry->sent = values.sent;
    entry->status = values.status;
    values.touched = false;
    values.calls = 0;
    values.sent = 0;
}

}  // namespace

panoctl_status stopLatestValues(LatestValues* latest)
{
    bool dropped = false;
    {
        std::unique_lock<std::mutex> hold(latest->guard);
        latest->changed.wait_for(hold, std::chrono::milliseconds(kCloseFlushMillis),
                                 [&] { return settled(*latest); });
        latest->stopping = true;
        for (LatestLane& lane : latest->lanes) {
            for (LatestCode& code : lane.codes) {
                dropped = dropped || code.pending;
                code.pending = false;
            }
            lane.pending = 0;
        }
        latest->changed.notify_all();
    }
    for (LatestLane& lane : latest->lanes) {
        if (lane.started) {
            pthread_join(lane.thread, nullptr);
            lane.started = false;
        }
    }
    return dropped ? PANOCTL_NOT_SENT : PANOCTL_OK;
}

extern "C" {

panoctl_status panoctl_set_latest(panoctl_session* session, const char* display, unsigned code,
                                  unsigned value)
{
    panoctl_status status = checkCall(session, display);
    if (status != PANOCTL_OK) {
        return status;
    }
    if (code > kMaxCode || value > kMaxValue) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    std::array<char, sizeof(DisplayRecord::id)> id{};
    if ((status = resolveId(session, display, &id)) != PANOCTL_OK) {
        return status;
    }
    LatestValues& latest = session->latest;
    std::lock_guard<std::mutex> hold(latest.guard);
    LatestLane* lane = laneFor(&latest, id.data());
    if (lane == nullptr || latest.stopping) {
        return PANOCTL_NO_RESOURCES;
    }
    if (!lane->used) {
        lane->used = true;
        lane->id = id;
        lane->session = session;
    }
    if (!lane->started && !startLane(lane)) {
        return PANOCTL_NO_RESOURCES;
    }
    LatestCode& entry = lane->codes[code];
    if (!entry.pending) {
        entry.pending = true;
        lane->pending++;
    }
    entry.value = static_cast<uint16_t>(value);
    entry.touched = true;
    entry.calls++;
    latest.changed.notify_all();
    return PANOCTL_OK;
}

panoctl_status panoctl_flush(panoctl_session* session, unsigned timeout_ms,
                             panoctl_flush_entry* entries, size_t capacity, size_t* count)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    if (entries == nullptr && capacity > 0) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    LatestValues& latest = session->latest;
    std::unique_lock<std::mutex> hold(latest.guard);
    bool landed = latest.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                          [&] { return settled(latest); });
    size_t found = 0;
    for (LatestLane& lane : latest.lanes) {
        for (size_t code = 0; code < kCodes; code++) {
            const LatestCode& values = lane.codes[code];
            // One still on its way is reported once it has landed.
            if (!values.touched || values.pending || values.inFlight) {
                continue;
            }
            if (found < capacity) {
                report(&lane, code, &entries[found]);
            }
            found++;
        }
    }
    if (count != nullptr) {
        *count = found;
    }
    if (!landed) {
        return PANOCTL_TIMED_OUT;
    }
    return found > capacity ? PANOCTL_BUFFER_TOO_SMALL : PANOCTL_OK;
}

}  // extern "C"
