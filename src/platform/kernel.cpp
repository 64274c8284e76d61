#include <quorin_platform/com.h>

#include <chrono>
#include <thread>

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
