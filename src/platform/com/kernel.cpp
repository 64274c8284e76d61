// The kernel's clock and sleep.
#include "com/instrumentation.h"

#include <chrono>
#include <thread>

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    platform::enterOperation("Sleep");
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

extern "C" DWORD WINAPI GetTickCount(void) {
    platform::enterOperation("GetTickCount");
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}
