// No exception leaves the platform: an entry point runs the part of its work
// that can run out of memory or threads inside guarded(), which gives the
// COM code for what the C++ runtime threw.
#pragma once

#include <quorin_platform/com.h>

#include <new>
#include <system_error>

namespace platform {

template <class Body>
HRESULT guarded(Body &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    } catch (const std::system_error &) { // no thread or lock to be had
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// What a failure of guarded() says in a line on stderr.
const char *describeFailure(HRESULT hr);

} // namespace platform
