// The one header the core includes for everything it needs from the system:
// the I/O registry, Core Foundation, the AV service's I2C operations, a pause,
// the folder for lock files and the folder for cached files. CMake puts either platform/macos or
// platform/sim on the include path, and that directory's platform_impl.h
// supplies the declarations, so the core compiles unchanged against the real
// system and against the simulation.
#pragma once

#include <cstdint>
#include <span>

#include "platform_impl.h"

// Opaque handle of one display's AV service; null means none.
using AvService = IOAVServiceRef;

// Blocks the calling thread for the given time. Used only for the pacing
// between I2C operations that DDC/CI monitors need.
void pauseMicroseconds(uint32_t microseconds);

// Writes the NUL-terminated path of the directory that holds the per-display
// lock files into `path`: a folder private to the user, which need not exist
// yet. Returns false when no such path can be named or it does not fit.
bool lockDirectoryPath(std::span<char> path);

// Writes the NUL-terminated path of panoctl's folder in the user's cache
// folder into `path`; it need not exist yet. Returns false when the user has
// no home folder (no cache then) or the path does not fit.
bool cacheDirectoryPath(std::span<char> path);

// Readies the platform for a program that links the library rather than
// running the command: nothing on macOS; the simulation, when nothing has
// set its machine up yet, sets it up from its own environment as the sim
// build's entry point does (without the monitor state file). Safe to call
// from several threads and more than once.
void startPlatformForLibrary();
