// Variant: an owning VARIANT. Copies deep-copy (VariantCopy), destruction
// clears (VariantClear). The factory functions build the automation types the
// component passes to other components.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/comptr.h"
#include "platform/strings.h"

namespace platform {

// The automation Boolean, 16 bits: True is -1 and False 0. A value that
// arrives from a caller keeps its bits (any value other than 0 counts as
// True), so that what is stored or passed on unchanged stays unchanged.
struct Boolean {
    VARIANT_BOOL bits = VARIANT_FALSE;

    constexpr Boolean() noexcept = default;
    constexpr explicit Boolean(bool value) noexcept : bits(value ? VARIANT_TRUE : VARIANT_FALSE) {}
    static constexpr Boolean fromBits(VARIANT_BOOL value) noexcept {
        Boolean b;
        b.bits = value;
        return b;
    }
    constexpr explicit operator bool() const noexcept { return bits != VARIANT_FALSE; }
};

class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(const Variant& other) : Variant() { copyFrom(&other.v_); }
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    // Clearing releases an object the variant holds: a fault there is kept
    // for the component to raise, as for any release in a destructor.
    ~Variant() {
        try {
            VariantClear(&v_);
        } catch (...) {
            keepReleaseFault(std::current_exception());
        }
    }
    // Assignments clear what was held; a fault in that release is thrown.
    Variant& operator=(const Variant& other) {
        if (this != &other) {
            Variant copy(other);
            swap(copy);
            copy.clear();
        }
        return *this;
    }
    Variant& operator=(Variant&& other) {
        if (this != &other) {
            Variant moved(std::move(other));
            swap(moved);
            moved.clear();
        }
        return *this;
    }

    // A deep copy of any VARIANT, looking through VT_BYREF.
    static Variant copyOf(const VARIANT& v) {
        Variant r;
        r.copyFrom(&v, true);
        return r;
    }
    // Takes over a VARIANT the caller owns; the source is left empty.
    static Variant attach(VARIANT& v) noexcept {
        Variant r;
        r.v_ = v;
        VariantInit(&v);
        return r;
    }

    static Variant text(TextView t) {
        Variant r;
        r.v_.bstrVal = allocBstr(t);
        r.v_.vt = VT_BSTR;
        return r;
    }
    static Variant i2(std::int16_t value) noexcept {
        Variant r;
        r.v_.vt = VT_I2;
        r.v_.iVal = value;
        return r;
    }
    static Variant i4(std::int32_t value) noexcept {
        Variant r;
        r.v_.vt = VT_I4;
        r.v_.lVal = value;
        return r;
    }
    static Variant r8(double value) noexcept {
        Variant r;
        r.v_.vt = VT_R8;
        r.v_.dblVal = value;
        return r;
    }
    static Variant boolean(bool value) noexcept {
        Variant r;
        r.v_.vt = VT_BOOL;
        r.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return r;
    }
    static Variant boolean(Boolean value) noexcept {
        Variant r;
        r.v_.vt = VT_BOOL;
        r.v_.boolVal = value.bits;
        return r;
    }
    static Variant boolean(VARIANT_BOOL value) noexcept = delete;
    static Variant dispatch(IDispatch* object) {
        Variant r;
        r.v_.vt = VT_DISPATCH;
        r.v_.pdispVal = object;
        if (object != nullptr) object->AddRef();
        return r;
    }
    static Variant unknown(IUnknown* object) {
        Variant r;
        r.v_.vt = VT_UNKNOWN;
        r.v_.punkVal = object;
        if (object != nullptr) object->AddRef();
        return r;
    }
    static Variant error(SCODE code) noexcept {
        Variant r;
        r.v_.vt = VT_ERROR;
        r.v_.scode = code;
        return r;
    }
    // A reference to a caller's variable (VT_BYREF), as automation passes
    // ByRef arguments; the variable must outlive the variant.
    static Variant reference(std::int32_t* variable) noexcept {
        Variant r;
        r.v_.vt = VT_BYREF | VT_I4;
        r.v_.plVal = reinterpret_cast<LONG*>(variable);
        return r;
    }
    static Variant reference(BSTR* variable) noexcept {
        Variant r;
        r.v_.vt = VT_BYREF | VT_BSTR;
        r.v_.pbstrVal = variable;
        return r;
    }
    // An omitted optional argument, as automation callers pass it.
    static Variant missing() noexcept { return error(DISP_E_PARAMNOTFOUND); }
    static Variant null() noexcept {
        Variant r;
        r.v_.vt = VT_NULL;
        return r;
    }
    // Takes over a SAFEARRAY of element type element.
    static Variant array(VARTYPE element, SAFEARRAY* owned) noexcept {
        Variant r;
        r.v_.vt = static_cast<VARTYPE>(VT_ARRAY | element);
        r.v_.parray = owned;
        return r;
    }

    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    const VARIANT& operator*() const noexcept { return v_; }
    VARIANT* put() {
        clear();
        return &v_;
    }
    void clear() { VariantClear(&v_); }
    VARIANT detach() noexcept {
        VARIANT out = v_;
        VariantInit(&v_);
        return out;
    }
    VARTYPE type() const noexcept { return v_.vt; }
    bool empty() const noexcept { return v_.vt == VT_EMPTY; }
    void swap(Variant& other) noexcept { std::swap(v_, other.v_); }

private:
    void copyFrom(const VARIANT* src, bool indirect = false) {
        // mingw-w64 declares the sources without const.
        auto* source = const_cast<VARIANT*>(src);
        const HRESULT hr = indirect ? VariantCopyInd(&v_, source) : VariantCopy(&v_, source);
        if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
        if (FAILED(hr)) VariantInit(&v_);
    }

    VARIANT v_;
};

// The VARIANT behind any number of VT_BYREF | VT_VARIANT layers.
inline const VARIANT& throughVariantRefs(const VARIANT& v) noexcept {
    const VARIANT* p = &v;
    while (p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal != nullptr) p = p->pvarVal;
    return *p;
}

}  // namespace platform
