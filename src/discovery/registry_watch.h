// Registry notifications for the AV service proxies: word that a display's
// service appeared or went away, from the registry itself, so a watcher
// needs neither to poll nor to touch a display's bus.
#pragma once

#include <atomic>
#include <span>

#include "platform/platform.h"

struct RegistryWatch {
    IONotificationPortRef port = nullptr;
    io_iterator_t arrived = IO_OBJECT_NULL;   // first-match notification
    io_iterator_t departed = IO_OBJECT_NULL;  // terminated notification
    bool notified = false;                    // set by either callback
};

// How long the registry must stay quiet after a notification before the
// burst it belongs to is taken as over.
inline constexpr CFTimeInterval kQuietSeconds = 0.2;

// Asks for both notifications on a new port served by the current thread's
// run loop, and drains them so they fire. On failure releases what it made,
// writes the reason into `reason` and returns false.
bool startRegistryWatch(RegistryWatch* watch, std::span<char> reason);

// Gives back the notifications and the port.
void stopRegistryWatch(RegistryWatch* watch);

enum class RegistryWait {
    changed,  // notifications came, then kQuietSeconds of quiet
    stopped,  // `stop` was set
    lost,     // the run loop has nothing left to wait for
};

// Sleeps in the run loop until a burst of notifications is over or `stop`
// is set (by a signal handler, or by another thread: a lock-free atomic is
// safe for both). The run loop is woken now and then while
// idle, so that a signal the system's run loop waits through is still seen.
RegistryWait waitForRegistryChange(RegistryWatch* watch, const std::atomic<int>& stop);
