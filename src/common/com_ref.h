// Holds one counted reference to a COM interface, so that every early return
// gives it back exactly once. Needs nothing of the interface but AddRef and
// Release, so the platform library uses it too.
#pragma once

template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller owns.
    explicit ComRef(T *adopted) : p_(adopted) {}
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;
    ComRef(ComRef &&other) noexcept : p_(other.detach()) {}
    ComRef &operator=(ComRef &&other) noexcept {
        if (this != &other)
            adopt(other.detach());
        return *this;
    }
    ~ComRef() { reset(); }

    // A new reference of its own to p.
    static ComRef share(T *p) {
        if (p)
            p->AddRef();
        return ComRef(p);
    }

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
