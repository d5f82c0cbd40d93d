// Reading registry properties into the fixed buffers of the display table.
// Every Core Foundation object made or copied here is released before the
// function returns.
#pragma once

#include <cstdint>
#include <span>

#include "platform/platform.h"

// Ownership of Core Foundation objects, spelled out for clang's static
// analyzer: a function that hands the caller a reference to release, and a
// parameter whose reference the function releases.
#if defined(__clang__)
#define PANOCTL_CF_RETURNS_RETAINED __attribute__((cf_returns_retained))
#define PANOCTL_CF_CONSUMED __attribute__((cf_consumed))
#else
#define PANOCTL_CF_RETURNS_RETAINED
#define PANOCTL_CF_CONSUMED
#endif

// The string value of `key` on `entry` or, failing that, on its descendants
// in the IOService plane, as UTF-8 in `out`. False when there is none, when it
// is not a string, or when it does not fit; `out` is then left as it was.
bool cfStringProp(io_registry_entry_t entry, const char* key, std::span<char> out);

// The dictionary's "SerialNumber" as a 64-bit integer. False for a null or
// non-dictionary `dict` and for a missing or non-numeric value.
bool dictNumber(CFTypeRef dict, int64_t* out);

// `value` as UTF-8 text in `out`, if it is a string that fits; otherwise false
// with `out` untouched.
bool copyStringValue(CFTypeRef value, std::span<char> out);

// Property `key` of `entry`: on the entry alone (copyOwnProperty) or on the
// entry and then its descendants (searchProperty). The caller releases the
// result, which may be null.
PANOCTL_CF_RETURNS_RETAINED CFTypeRef copyOwnProperty(io_registry_entry_t entry, const char* key);
PANOCTL_CF_RETURNS_RETAINED CFTypeRef searchProperty(io_registry_entry_t entry, const char* key);

// The value of `key` in `dict` if `dict` is a dictionary; not retained, so
// never released by the caller. Null when absent.
CFTypeRef dictValue(CFTypeRef dict, const char* key);

bool isDictionary(CFTypeRef value);

// Releases `object` if there is one.
void releaseIfAny(PANOCTL_CF_CONSUMED CFTypeRef object);
