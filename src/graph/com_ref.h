// Holds one counted reference to a COM interface for the length of a scope,
// so that every early return gives it back exactly once.
#pragma once

#include "graph/platform.h"

template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;
    ~ComRef() { reset(); }

    T *get() const { return p_; }
    T *operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For an out parameter: gives back what is held first.
    T **out() {
        reset();
        return &p_;
    }
    void **voidOut() { return reinterpret_cast<void **>(out()); }

    // Takes over a reference that a call delivered outside an out parameter.
    void adopt(T *p) {
        reset();
        p_ = p;
    }
    void reset() {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    // Hands the reference over to the caller.
    T *detach() {
        T *p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T *p_ = nullptr;
};
