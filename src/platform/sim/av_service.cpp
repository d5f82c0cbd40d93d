// The AV service: handles for registry entries that carry one, and the I2C
// write and read that reach the connected monitor, with the scenario's
// injected faults, the flaky bus and one trace line per operation.
#include <cstdio>

#include "sim_control.h"
#include "sim_state.h"

namespace sim {
namespace {

constexpr uint32_t kDdcChip = 0x37;

std::string hexByte(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

std::string statusText(IOReturn status)
{
    if (status == kIOReturnSuccess) return "0";
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<uint32_t>(status));
    return text;
}

void appendBytes(std::string& line, const uint8_t* bytes, size_t count)
{
    char text[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, " %02x", bytes[i]);
        line += text;
    }
}

// The service behind a handle, or null with the status to return: a null
// handle is a bad argument, a handle from an earlier machine has nothing
// connected any more. A pointer that is not a live handle aborts.
Service* serviceOf(IOAVServiceRef handle, const char* function, IOReturn* status)
{
    if (handle == nullptr) {
        *status = kStatusBadArgument;
        return nullptr;
    }
    const CfObject* object = requireCf(handle, CfKind::AvService, function);
    State& s = state();
    if (object->generation != s.generation) {
        *status = kStatusNoDevice;
        return nullptr;
    }
    return &s.machine.services[static_cast<size_t>(object->service)];
}

Monitor* monitorOf(const Service& service)
{
    if (service.monitor < 0) return nullptr;
    return &state().machine.monitors[static_cast<size_t>(service.monitor)];
}

IOReturn serviceWrite(IOAVServiceRef handle, uint32_t chip, uint32_t dataAddress,
                      const uint8_t* bytes, uint32_t count)
{
    IOReturn status = kIOReturnSuccess;
    Service* service = serviceOf(handle, "IOAVServiceWriteI2C", &status);
    if (service == nullptr) return status;
    if (bytes == nullptr && count > 0) return kStatusBadArgument;
    uint64_t index = service->writes++;
    Monitor* monitor = monitorOf(*service);
    if (monitor == nullptr) return kStatusNoDevice;
    applyPanelPresses(*monitor);
    if (monitor->faults.failWrites.count(index)) return kStatusError;
    if (chip != kDdcChip) return kStatusNoDevice;
    if (!flakyWriteAccepted(*monitor)) return kStatusError;
    monitorWrite(*monitor, dataAddress, bytes, count);
    return kIOReturnSuccess;
}

// An index listed both in failReads and in replies fails: the failure is
// the stronger fault. A scripted reply replaces the monitor's answer at any
// chip address, since the index counts every read on the service.
IOReturn serviceRead(IOAVServiceRef handle, uint32_t chip, uint8_t* out, uint32_t count)
{
    IOReturn status = kIOReturnSuccess;
    Service* service = serviceOf(handle, "IOAVServiceReadI2C", &status);
    if (service == nullptr) return status;
    if (out == nullptr && count > 0) return kStatusBadArgument;
    uint64_t index = service->reads++;
    Monitor* monitor = monitorOf(*service);
    if (monitor == nullptr) return kStatusNoDevice;
    applyPanelPresses(*monitor);
    if (monitor->faults.failReads.count(index)) return kStatusError;
    auto reply = monitor->faults.replies.find(index);
    if (reply != monitor->faults.replies.end()) {
        copyReply(reply->second, out, count);
        return kIOReturnSuccess;
    }
    if (chip != kDdcChip) return kStatusNoDevice;
    return flakyRead(*monitor, out, count) ? kIOReturnSuccess : kStatusError;
}

}  // namespace
}  // namespace sim

using sim::state;

IOAVServiceRef IOAVServiceCreateWithService(CFAllocatorRef, io_service_t service)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    ++state().registryOperations;
    uint32_t index;
    if (!sim::lookupEntry(service, &index)) return nullptr;
    const sim::Entry& entry = state().machine.entries[index];
    if (entry.service < 0) return nullptr;
    sim::CfObject* handle = sim::newCfObject(sim::CfKind::AvService);
    handle->service = entry.service;
    handle->generation = state().generation;
    return handle;
}

IOReturn IOAVServiceWriteI2C(IOAVServiceRef service, uint32_t chipAddress, uint32_t dataAddress,
                             void* inputBuffer, uint32_t inputBufferSize)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    const auto* bytes = static_cast<const uint8_t*>(inputBuffer);
    IOReturn status = sim::serviceWrite(service, chipAddress, dataAddress, bytes, inputBufferSize);
    std::string line = "write " + sim::hexByte(chipAddress) + " " + sim::hexByte(dataAddress);
    if (bytes != nullptr) sim::appendBytes(line, bytes, inputBufferSize);
    sim::appendTrace(line + " -> " + sim::statusText(status));
    return status;
}

IOReturn IOAVServiceReadI2C(IOAVServiceRef service, uint32_t chipAddress, uint32_t dataAddress,
                            void* outputBuffer, uint32_t outputBufferSize)
{
    const std::lock_guard<std::recursive_mutex> hold(sim::machineGuard());
    auto* bytes = static_cast<uint8_t*>(outputBuffer);
    IOReturn status = sim::serviceRead(service, chipAddress, bytes, outputBufferSize);
    std::string line = "read " + sim::hexByte(chipAddress) + " " + sim::hexByte(dataAddress) + " " +
                       std::to_string(outputBufferSize) + " -> " + sim::statusText(status);
    if (status == kIOReturnSuccess) sim::appendBytes(line, bytes, outputBufferSize);
    sim::appendTrace(line);
    return status;
}
