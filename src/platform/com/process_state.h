// The platform's process-wide records (the call ledger, the devices'
// registries, the kernel's events, ...): each made at first use and never
// destroyed, since a delivery thread may use one as the process ends.
//
// A child made by fork() has only the thread that forked. A lock that another
// thread of the parent held at that moment never comes free in the child,
// and what that thread was changing is half changed; the registries also
// still mark devices as held by the parent's filters, which the child does
// not have. So the child starts each record anew: the parent's copy is left
// as it is, untouched (and its memory to the child's end).
#pragma once

namespace platform {

// Registers renew, run in the child after each fork() (at most 32 of them;
// registered once each, as its record is first made).
void renewInForkChild(void (*renew)());

template <class T>
class ProcessState {
public:
    static T &get() { return *slot(); }

private:
    static T *&slot() {
        static T *instance = make();
        return instance;
    }
    static T *make() {
        renewInForkChild([] { slot() = new T; });
        return new T;
    }
};

} // namespace platform
