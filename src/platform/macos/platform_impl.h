// macOS: the registry and Core Foundation come from the system headers. The
// three AV service functions are exported by IOKit on Apple silicon but are
// not in its public headers, so they are declared here.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

extern "C" {
typedef CFTypeRef IOAVServiceRef;
IOAVServiceRef IOAVServiceCreateWithService(CFAllocatorRef allocator, io_service_t service);
IOReturn IOAVServiceWriteI2C(IOAVServiceRef service, uint32_t chipAddress, uint32_t dataAddress,
                             void* inputBuffer, uint32_t inputBufferSize);
IOReturn IOAVServiceReadI2C(IOAVServiceRef service, uint32_t chipAddress, uint32_t dataAddress,
                            void* outputBuffer, uint32_t outputBufferSize);
}
