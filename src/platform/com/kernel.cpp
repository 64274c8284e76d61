// The kernel's clock, sleep and events.
#include "com/instrumentation.h"

#include "com/process_state.h"
#include "common/locking.h"

#include <chrono>
#include <condition_variable>
#include <new>
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

namespace {

// One lock and one condition for every event: a wait on several sees any of
// them set, and events are few (one or two a device). Neither is ever
// destroyed, since a delivery thread may set an event as the process ends.
quorin::Mutex eventsLock;

std::condition_variable &eventsChanged() {
    static auto *changed = new std::condition_variable;
    return *changed;
}

// A child of fork() starts with the lock free and no thread waiting (the
// events themselves are the child's copies).
const bool renewedInForkChild = (platform::renewInForkChild([] {
                                     new (&eventsLock) quorin::Mutex;
                                     new (&eventsChanged()) std::condition_variable;
                                 }),
                                 true);

struct Event {
    const bool manualReset;
    bool signalled GUARDED_BY(eventsLock);
};

Event *eventOf(HANDLE handle) { return static_cast<Event *>(handle); }

// The first of handles that is signalled (taking it, if it resets itself),
// or -1.
long takeSignalled(DWORD count, const HANDLE *handles) REQUIRES(eventsLock) {
    for (DWORD i = 0; i < count; ++i) {
        Event *event = eventOf(handles[i]);
        if (event->signalled) {
            if (!event->manualReset)
                event->signalled = false;
            return static_cast<long>(i);
        }
    }
    return -1;
}

// Sets or resets an event; a set wakes every wait, which looks again.
BOOL setSignalled(HANDLE handle, bool signalled) {
    if (!handle)
        return FALSE;
    {
        quorin::Lock guard(eventsLock);
        eventOf(handle)->signalled = signalled;
    }
    if (signalled)
        eventsChanged().notify_all();
    return TRUE;
}

} // namespace

extern "C" {

HANDLE WINAPI CreateEventW(SECURITY_ATTRIBUTES *, BOOL bManualReset, BOOL bInitialState, LPCWSTR) {
    platform::enterOperation("CreateEventW");
    Event *event = new (std::nothrow) Event{bManualReset != FALSE, bInitialState != FALSE};
    if (event)
        ++platform::openHandles;
    return event;
}

BOOL WINAPI SetEvent(HANDLE hEvent) { return setSignalled(hEvent, true); }

BOOL WINAPI ResetEvent(HANDLE hEvent) { return setSignalled(hEvent, false); }

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (!hObject)
        return FALSE;
    delete eventOf(hObject);
    --platform::openHandles;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    platform::enterOperation("WaitForMultipleObjects");
    if (nCount == 0 || !lpHandles || bWaitAll)
        return WAIT_FAILED;
    for (DWORD i = 0; i < nCount; ++i)
        if (!lpHandles[i])
            return WAIT_FAILED;
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(dwMilliseconds);
    quorin::UniqueLock guard(eventsLock);
    for (;;) {
        long found = takeSignalled(nCount, lpHandles);
        if (found >= 0)
            return WAIT_OBJECT_0 + static_cast<DWORD>(found);
        if (dwMilliseconds == INFINITE) {
            guard.wait(eventsChanged());
        } else if (guard.waitUntil(eventsChanged(), deadline) == std::cv_status::timeout) {
            found = takeSignalled(nCount, lpHandles);
            return found >= 0 ? WAIT_OBJECT_0 + static_cast<DWORD>(found) : WAIT_TIMEOUT;
        }
    }
}

} // extern "C"
