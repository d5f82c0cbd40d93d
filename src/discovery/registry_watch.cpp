#include "discovery/registry_watch.h"

#include <cstdio>
#include <initializer_list>

#include "discovery/walk.h"

namespace {

// The longest the run loop sleeps while nothing happens before the stop
// flag is looked at again.
constexpr CFTimeInterval kIdleWakeSeconds = 1.0;

// Every object the iterator holds is handed out and given back: an iterator
// left undrained never fires again.
void drain(io_iterator_t iterator)
{
    for (io_object_t service = IOIteratorNext(iterator); service != IO_OBJECT_NULL;
         service = IOIteratorNext(iterator)) {
        IOObjectRelease(service);
    }
}

// Runs inside CFRunLoopRunInMode, on the watching thread.
void onProxiesChanged(void* refcon, io_iterator_t iterator)
{
    drain(iterator);
    static_cast<RegistryWatch*>(refcon)->notified = true;
}

bool addNotification(RegistryWatch* watch, const char* type, io_iterator_t* iterator,
                     std::span<char> reason)
{
    // The dictionary is consumed by the request, whatever it answers.
    CFMutableDictionaryRef matching = IOServiceMatching(kProxyClassName);
    if (matching == nullptr) {
        std::snprintf(reason.data(), reason.size(), "no matching dictionary for %s",
                      kProxyClassName);
        return false;
    }
    kern_return_t result = IOServiceAddMatchingNotification(watch->port, type, matching,
                                                            onProxiesChanged, watch, iterator);
    if (result != KERN_SUCCESS) {
        *iterator = IO_OBJECT_NULL;
        std::snprintf(reason.data(), reason.size(), "%s notification refused (0x%08x)", type,
                      static_cast<unsigned>(result));
        return false;
    }
    drain(*iterator);
    return true;
}

}  // namespace

bool startRegistryWatch(RegistryWatch* watch, std::span<char> reason)
{
    *watch = RegistryWatch{};
    watch->port = IONotificationPortCreate(kIOMainPortDefault);
    if (watch->port == nullptr) {
        std::snprintf(reason.data(), reason.size(), "no notification port");
        return false;
    }
    CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(watch->port),
                       kCFRunLoopDefaultMode);
    if (!addNotification(watch, kIOFirstMatchNotification, &watch->arrived, reason) ||
        !addNotification(watch, kIOTerminatedNotification, &watch->departed, reason)) {
        stopRegistryWatch(watch);
        return false;
    }
    watch->notified = false;
    return true;
}

void stopRegistryWatch(RegistryWatch* watch)
{
    for (io_iterator_t* iterator : {&watch->arrived, &watch->departed}) {
        if (*iterator != IO_OBJECT_NULL) {
            IOObjectRelease(*iterator);
            *iterator = IO_OBJECT_NULL;
        }
    }
    // Disposes of its run loop source too.
    if (watch->port != nullptr) {
        IONotificationPortDestroy(watch->port);
        watch->port = nullptr;
    }
}

RegistryWait waitForRegistryChange(RegistryWatch* watch, const std::atomic<int>& stop)
{
    bool burst = false;
    while (stop == 0) {
        watch->notified = false;
        SInt32 result =
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, burst ? kQuietSeconds : kIdleWakeSeconds, 1);
        if (watch->notified) {
            burst = true;
        } else if (burst && result == kCFRunLoopRunTimedOut) {
            return RegistryWait::changed;
        } else if (result == kCFRunLoopRunFinished) {
            return RegistryWait::lost;
        }
    }
    return RegistryWait::stopped;
}
