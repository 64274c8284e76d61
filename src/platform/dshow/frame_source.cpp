#include "dshow/frame_source.h"

#include "com/guard.h"

#include <cstdio>

namespace platform {

void reportStop(const std::string &source, HRESULT hr) {
    std::fprintf(stderr, "quorin platform: %s: stopped delivering (%s)\n", source.c_str(), describeFailure(hr));
    std::fflush(stderr);
}

} // namespace platform
