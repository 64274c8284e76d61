// State of the caller's thread: one thread at a time, never a delivery
// thread; debug builds end the process on either fault.
#include "dshow/caller_thread.h"
#include "dshow/frame_source.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

TEST(CallerThreadDeathTest, ADeliveryThreadOrASecondThreadAtOnceEndsTheProcessWithWhy) {
#ifdef NDEBUG
    GTEST_SKIP() << "checked in debug builds";
#endif
    using platform::CallerThread;
    // GoogleTest 1.10 (Debian 11, where the arm64 suite is built) has no
    // GTEST_FLAG_SET; the flag itself is the same in every version.
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            CallerThread owner;
            platform::startDelivery("test", [&] { CallerThread::Scope inside(owner); }).join();
        },
        "quorin platform: a delivery thread used state of the caller's thread");
    EXPECT_DEATH(
        {
            CallerThread owner;
            CallerThread::Scope outer(owner);
            std::thread([&] { CallerThread::Scope inner(owner); }).join();
        },
        "quorin platform: two threads used state of the caller's thread at once");
    // One thread after another, and a thread within its own call, are fine.
    CallerThread owner;
    {
        CallerThread::Scope outer(owner);
        CallerThread::Scope inner(owner);
    }
    std::thread([&] { CallerThread::Scope later(owner); }).join();
    EXPECT_FALSE(platform::onDeliveryThread());
}

TEST(CallerThreadDeathTest, ATeardownOnTheThreadItMustWaitForEndsTheProcessWithWhyInEveryBuild) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            std::thread self;
            std::promise<void> assigned;
            std::future<void> ready = assigned.get_future();
            self = std::thread([&] {
                ready.wait();
                platform::joinOtherThread(self, "test");
            });
            assigned.set_value();
            self.join();
        },
        "quorin platform: a teardown ran on the thread it had to wait for \\(test\\)");
}
