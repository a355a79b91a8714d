// DS_ComRef: the holder of one COM interface pointer (texture, buffer,
// surface, effect).  Copying adds a reference, destruction releases it.
#pragma once

#include <utility>

#include "platform/com/unknwn.h"

// Releases a bare interface pointer when it is not null, then nulls it.
template <class T>
void SafeRelease(T*& p) {
    if (p) {
        T* q = p;
        p = nullptr;
        q->Release();
    }
}

template <class T>
class DS_ComRef {
public:
    DS_ComRef() = default;
    // Takes over a reference the caller already holds (a creation result).
    explicit DS_ComRef(T* p) : p_(p) {}
    DS_ComRef(const DS_ComRef& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    DS_ComRef(DS_ComRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    // Safe against self-assignment: the new pointer is referenced before the
    // old one is released.
    DS_ComRef& operator=(const DS_ComRef& other) {
        Set(other.p_);
        return *this;
    }
    DS_ComRef& operator=(DS_ComRef&& other) noexcept {
        if (this != &other) {
            Release();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    ~DS_ComRef() { Release(); }

    // Holds `p` with a reference of its own (added here).
    void Set(T* p) {
        if (p) p->AddRef();
        T* old = p_;
        p_ = p;
        if (old) old->Release();
    }
    // Holds `p`, taking over the caller's reference.
    void Attach(T* p) {
        T* old = p_;
        p_ = p;
        if (old) old->Release();
    }
    // Gives the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }
    void Release() { SafeRelease(p_); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For creation calls: the old pointer is released first.
    T** Out() {
        Release();
        return &p_;
    }
    // The address of the held pointer itself (for readers that take the
    // pointer at the moment they draw).
    T* const* Address() const { return &p_; }

private:
    T* p_ = nullptr;
};
