#include "lib/watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <shared_mutex>

#include "lib/lib_session.h"

namespace {

constexpr size_t kWatchStackBytes = size_t{512} * 1024;

panoctl_watch_event eventOf(panoctl_watch_kind kind, int position, const KnownDisplay* display)
{
    panoctl_watch_event event{};
    event.kind = kind;
    event.position = position;
    if (display != nullptr) {
        std::memcpy(event.id, display->id.data(), sizeof event.id);
        std::memcpy(event.name, display->name.data(), sizeof event.name);
        std::memcpy(event.serial, display->serial.data(), sizeof event.serial);
    }
    return event;
}

// Queues the event and makes the descriptor readable; the guard is held.
void queueEvent(SessionWatch* watch, const panoctl_watch_event& event)
{
    WatchQueue& queue = watch->queue;
    if (queue.count == queue.events.size()) {
        queue.lost = true;
        return;
    }
    queue.events[(queue.first + queue.count) % queue.events.size()] = event;
    queue.count++;
    char byte = 1;
    // A full pipe is readable already: the byte is not needed.
    [[maybe_unused]] ssize_t written = write(watch->writeFd, &byte, 1);
}

// Discovers again and queues what changed since the displays last told.
void queueChanges(panoctl_session* session)
{
    SessionWatch& watch = session->watch;
    KnownDisplays before = watch.known;
    {
        std::unique_lock<std::shared_mutex> whole(session->tableGuard);
        discoverSessionDisplays(session);
        watch.known = knownDisplaysOf(session->displays);
    }
    DisplayChanges changes = diffDisplays(before.view(), watch.known.view());
    std::lock_guard<std::mutex> hold(watch.guard);
    for (const DisplayChange& change : changes.view()) {
        auto index = static_cast<size_t>(change.index);
        queueEvent(&watch,
                   change.kind == DisplayChangeKind::removed
                       ? eventOf(PANOCTL_WATCH_REMOVED, 0, &before.items[index])
                       : eventOf(PANOCTL_WATCH_ADDED, change.index + 1, &watch.known.items[index]));
    }
}

void runWatch(panoctl_session* session)
{
    SessionWatch& watch = session->watch;
    for (;;) {
        switch (waitForRegistryChange(&watch.registry, watch.stopFlag)) {
            case RegistryWait::changed: queueChanges(session); break;
            case RegistryWait::stopped: return;
            case RegistryWait::lost: {
                std::lock_guard<std::mutex> hold(watch.guard);
                queueEvent(&watch, eventOf(PANOCTL_WATCH_LOST, 0, nullptr));
                return;
            }
        }
    }
}

void* watchThread(void* argument)
{
    auto* session = static_cast<panoctl_session*>(argument);
    // The notification port is served by the run loop of the thread that
    // waits on it.
    std::array<char, 160> reason{};
    if (startRegistryWatch(&session->watch.registry, reason)) {
        runWatch(session);
        stopRegistryWatch(&session->watch.registry);
    } else {
        std::lock_guard<std::mutex> hold(session->watch.guard);
        queueEvent(&session->watch, eventOf(PANOCTL_WATCH_LOST, 0, nullptr));
    }
    return nullptr;
}

bool openPipe(SessionWatch* watch)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    for (int fd : fds) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    watch->readFd = fds[0];
    watch->writeFd = fds[1];
    return true;
}

void closePipe(SessionWatch* watch)
{
    for (int* fd : {&watch->readFd, &watch->writeFd}) {
        if (*fd >= 0) {
            close(*fd);
        }
        *fd = -1;
    }
}

// The displays present, in list order, then READY; the guard is held.
void queueStart(panoctl_session* session)
{
    SessionWatch& watch = session->watch;
    std::span<const KnownDisplay> displays = watch.known.view();
    for (size_t i = 0; i < displays.size(); i++) {
        queueEvent(&watch, eventOf(PANOCTL_WATCH_ADDED, static_cast<int>(i + 1), &displays[i]));
    }
    queueEvent(&watch, eventOf(PANOCTL_WATCH_READY, 0, nullptr));
}

bool startThread(panoctl_session* session)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    pthread_attr_setstacksize(&attributes, kWatchStackBytes);
    bool started = pthread_create(&session->watch.thread, &attributes, watchThread, session) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

}  // namespace

void stopSessionWatch(panoctl_session* session)
{
    SessionWatch& watch = session->watch;
    {
        std::lock_guard<std::mutex> hold(watch.guard);
        if (!watch.running) {
            return;
        }
        watch.running = false;
    }
    watch.stopFlag = 1;
    pthread_join(watch.thread, nullptr);
    closePipe(&watch);
    watch.queue = WatchQueue{};
}

extern "C" {

panoctl_status panoctl_watch_start(panoctl_session* session, int* fd)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    if (fd == nullptr) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    SessionWatch& watch = session->watch;
    std::lock_guard<std::mutex> hold(watch.guard);
    if (watch.running || !openPipe(&watch)) {
        return PANOCTL_NO_RESOURCES;
    }
    // The displays as they are now: a display that arrives meanwhile is
    // seen by the discovery after the first notification.
    {
        std::unique_lock<std::shared_mutex> whole(session->tableGuard);
        discoverSessionDisplays(session);
        watch.known = knownDisplaysOf(session->displays);
    }
    watch.stopFlag = 0;
    watch.queue = WatchQueue{};
    queueStart(session);
    if (!startThread(session)) {
        closePipe(&watch);
        return PANOCTL_NO_RESOURCES;
    }
    watch.running = true;
    *fd = watch.readFd;
    return PANOCTL_OK;
}

panoctl_status panoctl_watch_read(panoctl_session* session, panoctl_watch_event* events,
                                  size_t capacity, size_t* count)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    if (count == nullptr || (events == nullptr && capacity > 0)) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    SessionWatch& watch = session->watch;
    std::lock_guard<std::mutex> hold(watch.guard);
    if (watch.readFd < 0) {
        return PANOCTL_INVALID_ARGUMENT;
    }
    WatchQueue& queue = watch.queue;
    size_t taken = 0;
    while (taken < capacity && (queue.count > 0 || queue.lost)) {
        if (queue.count == 0) {
            events[taken++] = eventOf(PANOCTL_WATCH_LOST, 0, nullptr);
            queue.lost = false;
            break;
        }
        events[taken++] = queue.events[queue.first];
        queue.first = (queue.first + 1) % queue.events.size();
        queue.count--;
    }
    if (queue.count == 0 && !queue.lost) {
        char bytes[64];
        while (read(watch.readFd, bytes, sizeof bytes) > 0) {
        }
    }
    *count = taken;
    return PANOCTL_OK;
}

panoctl_status panoctl_watch_stop(panoctl_session* session)
{
    if (session == nullptr) {
        return PANOCTL_CLOSED;
    }
    stopSessionWatch(session);
    return PANOCTL_OK;
}

}  // extern "C"
