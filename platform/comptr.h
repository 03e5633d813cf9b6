// ComPtr<T>: the one owning smart pointer for COM references, on every
// platform. Construction never guesses ownership: attach() takes over a
// reference, share() adds one.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/com.h"
#include "platform/faults.h"

namespace platform {

// Releases one reference where a fault may be thrown through (an explicit
// release is a step of its procedure).
inline void release(IUnknown* p) {
    if (p != nullptr) p->Release();
}
// Releases one reference in a destructor, which must not throw: a fault is
// kept for the component to raise at its next catch point.
inline void releaseQuietly(IUnknown* p) noexcept {
    if (p == nullptr) return;
    try {
        p->Release();
    } catch (...) {
        keepReleaseFault(std::current_exception());
    }
}

// The IID of an interface type, specialised next to each interface.
template <class T>
struct InterfaceId;

#define KW_INTERFACE_ID(Type, iidValue)                                \
    template <>                                                        \
    struct platform::InterfaceId<Type> {                               \
        static const IID& get() { return iidValue; }                   \
    }

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_ != nullptr) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& other) : p_(other.get()) {
        if (p_ != nullptr) p_->AddRef();
    }
    ~ComPtr() { releaseQuietly(p_); }

    // Assignments release what was held; a fault in that release is thrown.
    ComPtr& operator=(const ComPtr& other) {
        if (other.p_ != nullptr) other.p_->AddRef();
        release(std::exchange(p_, other.p_));
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) {
        if (this != &other) release(std::exchange(p_, std::exchange(other.p_, nullptr)));
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) {
        reset();
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr attach(T* p) noexcept {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own.
    static ComPtr share(T* p) {
        ComPtr r;
        r.p_ = p;
        if (p != nullptr) p->AddRef();
        return r;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For out-parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() { release(std::exchange(p_, nullptr)); }
    void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    // QueryInterface; an empty pointer when the interface is not there.
    template <class U>
    ComPtr<U> query() const {
        ComPtr<U> r;
        if (p_ != nullptr) p_->QueryInterface(InterfaceId<U>::get(), r.putVoid());
        return r;
    }
    template <class U>
    HRESULT query(ComPtr<U>& out) const {
        if (p_ == nullptr) return E_POINTER;
        return p_->QueryInterface(InterfaceId<U>::get(), out.putVoid());
    }

private:
    T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) noexcept {
    return static_cast<const void*>(a.get()) == static_cast<const void*>(b.get());
}

}  // namespace platform

KW_INTERFACE_ID(IUnknown, IID_IUnknown);
KW_INTERFACE_ID(IDispatch, IID_IDispatch);
KW_INTERFACE_ID(IEnumVARIANT, IID_IEnumVARIANT);
KW_INTERFACE_ID(ITypeInfo, IID_ITypeInfo);
KW_INTERFACE_ID(IErrorInfo, IID_IErrorInfo);
KW_INTERFACE_ID(ICreateErrorInfo, IID_ICreateErrorInfo);
KW_INTERFACE_ID(ISupportErrorInfo, IID_ISupportErrorInfo);
KW_INTERFACE_ID(IClassFactory, IID_IClassFactory);
KW_INTERFACE_ID(IRecordInfo, IID_IRecordInfo);
