#include "dshow/frame_source.h"

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
            std::fprintf(stderr, "quorin platform: %s: stopped delivering (%s)\n", source.c_str(), describeFailure(hr));
            std::fflush(stderr);
        }
    });
}

} // namespace platform
