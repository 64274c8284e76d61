// Call counting and failure injection for every operation that the platform
// exports. Each operation first refuses a null out parameter and nulls what
// the others point to, then says PLATFORM_ENTER, then checks the rest of its
// arguments: an injected failure leaves the out parameters as a real failure
// would, and a call counts whatever its inputs.
#pragma once

#include <quorin_platform/dshow.h>

#include <atomic>
#include <optional>
#include <string>

namespace platform {

// Counts the call and returns the injected result, if this call has one.
std::optional<HRESULT> enterOperation(const char *operation);

// Name of an interface for "QueryInterface:IName" operation names: the one
// the class table's layer gave it, or its identifier in braces.
std::string interfaceName(REFIID riid);

void resetInstrumentation();

// Makes the nth call of operation from now return result.
void injectFailure(const char *operation, int nth, HRESULT result);
long callCount(const char *operation);

// Resources that can run out: "memory" (picture memory), "object" (a new COM
// object), "thread" (a delivery thread). injectResourceFailure makes the nth
// request of kind from now fail as running out would: failResource, called
// where the resource is taken, throws what the C++ runtime would.
void injectResourceFailure(const char *kind, int nth);
void failResource(const char *kind);

// Counters that tests read: objects alive, blocks of task memory not freed,
// renderer windows shown, samples a capture filter delivered, V4L2
// pictures turned into samples (converted, or copied for B, G, R), and V4L2
// pictures copied out of the driver's buffers before being converted.
extern std::atomic<long> liveObjects;
extern std::atomic<long> taskMemoryBlocks;
extern std::atomic<long> openHandles; // events not yet closed
extern std::atomic<long> windowsShown;
extern std::atomic<long> samplesDelivered;
extern std::atomic<long> picturesConverted;
extern std::atomic<long> picturesCopied;

} // namespace platform

#define PLATFORM_ENTER(operation)                                                                                      \
    do {                                                                                                               \
        if (std::optional<HRESULT> injected_ = ::platform::enterOperation(operation))                                  \
            return *injected_;                                                                                         \
    } while (0)
