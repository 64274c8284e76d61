#include "com/process_state.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <pthread.h>

namespace platform {

namespace {

// Without a lock: the child's handler runs where a parent's thread may have
// held one. Each slot is written before the count that shows it.
constexpr int maxRenewals = 32;
std::atomic<void (*)()> renewals[maxRenewals];
std::atomic<int> registered{0};

void renewAll() {
    int count = registered.load();
    for (int i = 0; i < count && i < maxRenewals; ++i) {
        if (void (*renew)() = renewals[i].load())
            renew();
    }
}

} // namespace

void renewInForkChild(void (*renew)()) {
    static const bool handled = pthread_atfork(nullptr, nullptr, renewAll) == 0;
    (void)handled;
    int index = registered.fetch_add(1);
    if (index >= maxRenewals) {
        std::fprintf(stderr, "quorin platform: more process-wide records than a fork can renew\n");
        std::abort();
    }
    renewals[index].store(renew);
}

} // namespace platform
