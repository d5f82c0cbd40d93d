// Simulated platform: the same names, types and signatures as the macOS
// declarations the core uses, implemented in platform/sim against a scenario
// file instead of a kernel. Only what the core calls is declared here.
#pragma once

#include <cstdint>

// The result is a new reference the caller releases; compilers that know the
// attribute check callers against it, as they do against the system's header.
#if defined(__has_attribute)
#if __has_attribute(cf_returns_retained)
#define CF_RETURNS_RETAINED __attribute__((cf_returns_retained))
#endif
#endif
#ifndef CF_RETURNS_RETAINED
#define CF_RETURNS_RETAINED
#endif
// The function takes over the caller's reference to that argument.
#if defined(__has_attribute)
#if __has_attribute(cf_consumed)
#define CF_RELEASES_ARGUMENT __attribute__((cf_consumed))
#endif
#endif
#ifndef CF_RELEASES_ARGUMENT
#define CF_RELEASES_ARGUMENT
#endif

extern "C" {

typedef unsigned int mach_port_t;
typedef mach_port_t io_object_t;
typedef io_object_t io_registry_entry_t;
typedef io_object_t io_iterator_t;
typedef io_object_t io_service_t;
typedef int kern_return_t;
typedef kern_return_t IOReturn;
typedef uint32_t IOOptionBits;
typedef char io_name_t[128];
typedef char io_string_t[512];
typedef int boolean_t;

typedef const void* CFTypeRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef const struct __CFData* CFDataRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct __CFRunLoopSource* CFRunLoopSourceRef;
typedef double CFTimeInterval;
typedef int32_t SInt32;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef uint32_t CFStringEncoding;

enum : CFStringEncoding {
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
};
// An enum with CFIndex underneath, as the system declares it: code that
// passes a plain integer where a CFNumberType is wanted does not compile on
// a Mac, so it must not compile here either.
enum CFNumberType : CFIndex {
    kCFNumberSInt64Type = 4,
    kCFNumberLongLongType = 11,
};
// Plain int enumerators, as in the system's header.
enum {
    kIORegistryIterateRecursively = 0x00000001,
    kIORegistryIterateParents = 0x00000002,
};
enum : kern_return_t {
    KERN_SUCCESS = 0,
    kIOReturnSuccess = 0,
};
#define IO_OBJECT_NULL ((io_object_t)0)
#define kIOServicePlane "IOService"
#define kIOFirstMatchNotification "IOServiceFirstMatch"
#define kIOTerminatedNotification "IOServiceTerminate"
// What CFRunLoopRunInMode returns.
enum {
    kCFRunLoopRunFinished = 1,
    kCFRunLoopRunStopped = 2,
    kCFRunLoopRunTimedOut = 3,
    kCFRunLoopRunHandledSource = 4,
};

extern const mach_port_t kIOMainPortDefault;
extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFStringRef kCFRunLoopDefaultMode;

// I/O registry
io_registry_entry_t IORegistryGetRootEntry(mach_port_t mainPort);
kern_return_t IORegistryEntryCreateIterator(io_registry_entry_t entry, const io_name_t plane,
                                            IOOptionBits options, io_iterator_t* iterator);
io_object_t IOIteratorNext(io_iterator_t iterator);
boolean_t IOIteratorIsValid(io_iterator_t iterator);
void IOIteratorReset(io_iterator_t iterator);
kern_return_t IORegistryEntryGetName(io_registry_entry_t entry, io_name_t name);
kern_return_t IORegistryEntryGetParentEntry(io_registry_entry_t entry, const io_name_t plane,
                                            io_registry_entry_t* parent);
// "IOService:/<name>/<name>/..." from the root's child down to the entry; a
// name shared with earlier siblings gets "@<n>", n counting those siblings,
// so the path tells entries apart as the real location suffix does. The
// root's path is "IOService:/". Fails when it does not fit.
kern_return_t IORegistryEntryGetPath(io_registry_entry_t entry, const io_name_t plane,
                                     io_string_t path);
CFTypeRef IORegistryEntrySearchCFProperty(io_registry_entry_t entry, const io_name_t plane,
                                          CFStringRef key, CFAllocatorRef allocator,
                                          IOOptionBits options) CF_RETURNS_RETAINED;
CFTypeRef IORegistryEntryCreateCFProperty(io_registry_entry_t entry, CFStringRef key,
                                          CFAllocatorRef allocator, IOOptionBits options);
kern_return_t IOObjectRelease(io_object_t object);

// Registry notifications, delivered on a run loop
typedef struct IONotificationPort* IONotificationPortRef;
typedef void (*IOServiceMatchingCallback)(void* refcon, io_iterator_t iterator);
IONotificationPortRef IONotificationPortCreate(mach_port_t mainPort);
void IONotificationPortDestroy(IONotificationPortRef notify);
CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify);
CFMutableDictionaryRef IOServiceMatching(const char* name) CF_RETURNS_RETAINED;
kern_return_t IOServiceAddMatchingNotification(IONotificationPortRef notifyPort,
                                               const io_name_t notificationType,
                                               CFDictionaryRef matching CF_RELEASES_ARGUMENT,
                                               IOServiceMatchingCallback callback, void* refCon,
                                               io_iterator_t* notification);
CFRunLoopRef CFRunLoopGetCurrent(void);
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
SInt32 CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds,
                          Boolean returnAfterSourceHandled);

// Core Foundation
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding);
Boolean CFStringGetCString(CFStringRef s, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
CFTypeID CFGetTypeID(CFTypeRef cf);
CFTypeID CFStringGetTypeID(void);
CFTypeID CFDictionaryGetTypeID(void);
CFTypeID CFDataGetTypeID(void);
CFTypeID CFNumberGetTypeID(void);
CFTypeID CFBooleanGetTypeID(void);
CFTypeID CFNullGetTypeID(void);
CFTypeID CFArrayGetTypeID(void);
const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);
CFIndex CFDataGetLength(CFDataRef data);
const UInt8* CFDataGetBytePtr(CFDataRef data);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);
void CFRelease(CFTypeRef cf);

// AV service
typedef CFTypeRef IOAVServiceRef;
IOAVServiceRef IOAVServiceCreateWithService(CFAllocatorRef allocator, io_service_t service);
IOReturn IOAVServiceWriteI2C(IOAVServiceRef service, uint32_t chipAddress, uint32_t dataAddress,
                             void* inputBuffer, uint32_t inputBufferSize);
IOReturn IOAVServiceReadI2C(IOAVServiceRef service, uint32_t chipAddress, uint32_t dataAddress,
                            void* outputBuffer, uint32_t outputBufferSize);

}  // extern "C"
