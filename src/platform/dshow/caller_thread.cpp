#include "dshow/caller_thread.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

thread_local bool delivering = false;

#ifndef NDEBUG
[[noreturn]] void broken(const char *rule) {
    std::fprintf(stderr, "quorin platform: %s\n", rule);
    std::fflush(stderr);
    std::abort();
}
#endif

} // namespace

void markDeliveryThread() { delivering = true; }

bool onDeliveryThread() { return delivering; }

#ifndef NDEBUG
CallerThread::Scope::Scope(const CallerThread &owner) : owner_(owner) {
    if (delivering)
        broken("a delivery thread used state of the caller's thread");
    std::thread::id none{};
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.inside_.compare_exchange_strong(none, self))
        outermost_ = true;
    else if (none != self)
        broken("two threads used state of the caller's thread at once");
}

CallerThread::Scope::~Scope() {
    if (outermost_)
        owner_.inside_.store(std::thread::id{});
}
#endif

} // namespace platform
