// State that belongs to the caller's thread: a graph's filters and run
// state, a renderer's window. The caller's thread is whichever thread calls
// into the graph at the moment (a caller lets one call at a time into it);
// a delivery thread never is one. Debug builds check both at each entry
// into such state, and end the process with a line that says which rule
// was broken; release builds check nothing.
#pragma once

#include <atomic>
#include <thread>

namespace platform {

// Joins a thread the platform started (a delivery thread, a window's
// thread). A teardown reached on that very thread would wait for itself
// (std::thread throws, from a destructor: the process ends with no word of
// why): in every build, the process ends instead with a line that names
// the thread and the fault.
void joinOtherThread(std::thread &thread, const char *what);

// Said by each delivery thread as it starts.
void markDeliveryThread();
bool onDeliveryThread();

class CallerThread {
public:
    // Held for the length of a call that uses the owner's state.
    class Scope {
    public:
#ifdef NDEBUG
        explicit Scope(const CallerThread &) {}
#else
        explicit Scope(const CallerThread &owner);
        ~Scope();

    private:
        const CallerThread &owner_;
        bool outermost_ = false;
#endif
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };

#ifndef NDEBUG
private:
    mutable std::atomic<std::thread::id> inside_{};
#endif
};

} // namespace platform
