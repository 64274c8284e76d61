// Mutexes whose use Clang checks (-Wthread-safety): each lock says what it
// guards (GUARDED_BY), each function what it must hold (REQUIRES) or must not
// (EXCLUDES), and a build with Clang proves every access holds the lock it
// names. Other compilers see plain std::mutex and std::lock_guard.
#pragma once

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define QUORIN_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define QUORIN_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) QUORIN_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY QUORIN_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) QUORIN_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) QUORIN_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define REQUIRES(...) QUORIN_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QUORIN_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QUORIN_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUORIN_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) QUORIN_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) QUORIN_THREAD_ATTRIBUTE(lock_returned(x))
// For the few functions whose locking the analysis cannot follow (a lock
// taken in one call and let go in another); each says why.
#define NO_THREAD_SAFETY_ANALYSIS QUORIN_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace quorin {

class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    friend class UniqueLock;
    std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY Lock {
public:
    explicit Lock(Mutex &mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~Lock() RELEASE() { mutex_.unlock(); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

private:
    Mutex &mutex_;
};

// Holds a Mutex for its scope, and lets a condition variable wait on it (the
// lock is let go during the wait, and held again after it, as the analysis
// assumes across the call). Waits are written as loops over the condition,
// which the analysis checks where a predicate's lambda would escape it.
class SCOPED_CAPABILITY UniqueLock {
public:
    explicit UniqueLock(Mutex &mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~UniqueLock() RELEASE() {}
    UniqueLock(const UniqueLock &) = delete;
    UniqueLock &operator=(const UniqueLock &) = delete;

    void wait(std::condition_variable &condition) { condition.wait(lock_); }
    template <class Clock, class Duration>
    std::cv_status waitUntil(std::condition_variable &condition,
                             const std::chrono::time_point<Clock, Duration> &deadline) {
        return condition.wait_until(lock_, deadline);
    }
    template <class Rep, class Period>
    std::cv_status waitFor(std::condition_variable &condition, const std::chrono::duration<Rep, Period> &timeout) {
        return condition.wait_for(lock_, timeout);
    }

private:
    std::unique_lock<std::mutex> lock_;
};

} // namespace quorin
