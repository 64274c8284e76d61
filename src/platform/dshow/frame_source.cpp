#include "dshow/frame_source.h"
#include "com/diagnostics.h"

#include "com/guard.h"
#include "com/instrumentation.h"
#include "dshow/caller_thread.h"

#include <cstdio>

namespace platform {

std::thread startDelivery(const std::string &source, std::function<void()> deliver) {
    failResource("thread");
    return std::thread([source, deliver = std::move(deliver)] {
        markDeliveryThread();
        HRESULT hr = guarded([&] {
            deliver();
            return S_OK;
        });
        if (FAILED(hr)) {
            say(source + ": stopped delivering (" + describeFailure(hr) + ")");
        }
    });
}

} // namespace platform
