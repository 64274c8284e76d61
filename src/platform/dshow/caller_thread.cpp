#include "dshow/caller_thread.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

thread_local bool delivering = false;

[[noreturn]] void broken(const char *rule) {
    std::fprintf(stderr, "quorin platform: %s\n", rule);
    std::fflush(stderr);
    std::abort();
}

} // namespace

void joinOtherThread(std::thread &thread, const char *what) {
    if (thread.get_id() == std::this_thread::get_id()) {
        std::string rule = std::string("a teardown ran on the thread it had to wait for (") + what + ")";
        broken(rule.c_str());
    }
    thread.join();
}

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
