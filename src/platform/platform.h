// The one header the core includes for everything it needs from the system:
// the I/O registry, Core Foundation, the AV service's I2C operations and a
// pause. CMake puts either platform/macos or platform/sim on the include path,
// and that directory's platform_impl.h supplies the declarations, so the core
// compiles unchanged against the real system and against the simulation.
#pragma once

#include <cstdint>

#include "platform_impl.h"

// Opaque handle of one display's AV service; null means none.
using AvService = IOAVServiceRef;

// Blocks the calling thread for the given time. Used only for the pacing
// between I2C operations that DDC/CI monitors need.
void pauseMicroseconds(uint32_t microseconds);
