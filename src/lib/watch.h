// The session's watch: a thread of the library's that sleeps on the
// registry's notifications, discovers again after each burst and queues
// what changed, and a pipe whose read end the program polls.
#pragma once

#include <pthread.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

#include "discovery/display_diff.h"
#include "discovery/registry_watch.h"
#include "panoctl/panoctl.h"

struct WatchQueue {
    static constexpr size_t kCapacity = 64;
    std::array<panoctl_watch_event, kCapacity> events{};
    size_t first = 0;
    size_t count = 0;
    bool lost = false;  // an event was dropped: a LOST event is owed
};

struct SessionWatch {
    std::mutex guard;  // the queue and `running`
    WatchQueue queue;
    bool running = false;
    RegistryWatch registry;
    KnownDisplays known;  // the displays as last told
    int readFd = -1;
    int writeFd = -1;
    pthread_t thread{};
    std::atomic<int> stopFlag{0};  // set by panoctl_watch_stop's thread
};

// Stops the watch if one runs; panoctl_watch_stop and panoctl_close.
void stopSessionWatch(panoctl_session* session);
