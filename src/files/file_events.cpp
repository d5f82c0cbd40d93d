#include "files/file_events.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstdint>

#if defined(__linux__)
#include <sys/inotify.h>
#elif defined(__APPLE__)
#include <sys/event.h>
#include <sys/time.h>
#endif

#if defined(__linux__)

bool startFileEvents(FileEvents* events, const char* path, int /*folderFd*/)
{
    *events = FileEvents{};
    events->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (events->fd < 0) {
        return false;
    }
    events->watch = inotify_add_watch(
        events->fd, path,
        IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_ONLYDIR | IN_DONT_FOLLOW);
    if (events->watch < 0) {
        stopFileEvents(events);
        return false;
    }
    return true;
}

void watchFileWrites(FileEvents* /*events*/, int /*fileFd*/) {}

namespace {

bool takeEvents(const FileEvents& events)
{
    // Aligned as the events it receives.
    alignas(struct inotify_event) std::array<char, 4096> buffer{};
    bool any = false;
    while (read(events.fd, buffer.data(), buffer.size()) > 0) {
        any = true;
    }
    return any;
}

}  // namespace

#elif defined(__APPLE__)

namespace {

bool addVnode(const FileEvents& events, int fd, unsigned int notes)
{
    struct kevent change {};
    EV_SET(&change, static_cast<uintptr_t>(fd), EVFILT_VNODE,
           static_cast<uint16_t>(EV_ADD | EV_CLEAR), notes, 0, nullptr);
    return kevent(events.fd, &change, 1, nullptr, 0, nullptr) == 0;
}

bool takeEvents(const FileEvents& events)
{
    std::array<struct kevent, 16> received{};
    struct timespec none {};
    bool any = false;
    while (kevent(events.fd, nullptr, 0, received.data(), static_cast<int>(received.size()),
                  &none) > 0) {
        any = true;
    }
    return any;
}

}  // namespace

bool startFileEvents(FileEvents* events, const char* /*path*/, int folderFd)
{
    *events = FileEvents{};
    events->fd = kqueue();
    if (events->fd < 0) {
        return false;
    }
    if (!addVnode(*events, folderFd, NOTE_WRITE)) {
        stopFileEvents(events);
        return false;
    }
    return true;
}

void watchFileWrites(FileEvents* events, int fileFd)
{
    addVnode(*events, fileFd, NOTE_WRITE | NOTE_EXTEND | NOTE_DELETE | NOTE_RENAME);
}

#endif

bool waitForFileEvents(FileEvents* events, int timeoutMillis)
{
    struct pollfd ready {};
    ready.fd = events->fd;
    ready.events = POLLIN;
    if (poll(&ready, 1, timeoutMillis) <= 0) {
        return false;
    }
    return takeEvents(*events);
}

void stopFileEvents(FileEvents* events)
{
    // Closing the instance drops its watches.
    if (events->fd >= 0) {
        close(events->fd);
    }
    *events = FileEvents{};
}
