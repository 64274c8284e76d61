#include "com/instrumentation.h"

#include <chrono>
#include <thread>

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    platform::enterOperation("Sleep");
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
