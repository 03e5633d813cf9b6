// The run time's automation helpers: coercions of VARIANTs to the types the
// procedures work with, object creation, and the check of an outward call's
// HRESULT. Every failure becomes a RuntimeError carrying the caller's line.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"
#include "platform/comptr.h"
#include "platform/variant.h"

namespace kw {

using platform::Bstr;
using platform::ComPtr;
using platform::Variant;

// Coercions with the run time's rules: a value "taken as text" is the
// standard variant-to-text conversion (Booleans as True/False, an object
// through its default member). Failures raise 13 (type mismatch),
// 6 (overflow) or, for text taken from Null, 94 (invalid use of Null).
Text asText(const VARIANT& v, Site at = Site::here());
std::int32_t asLong(const VARIANT& v, Site at = Site::here());
double asDouble(const VARIANT& v, Site at = Site::here());
bool asBoolean(const VARIANT& v, Site at = Site::here());
// An object reference: Nothing gives an empty pointer, a non-object raises
// 424 (object required).
ComPtr<IDispatch> asObject(const VARIANT& v, Site at = Site::here());

// Raises the error for a failing HRESULT of a call through interface I.
template <class I>
void check(HRESULT hr, const ComPtr<I>& callee, Site at = Site::here()) {
    if (FAILED(hr)) raiseFromHResult(hr, callee.get(), platform::InterfaceId<I>::get(), at);
}

// The object behind p, or run-time error 91 when p is empty.
template <class I>
I* need(const ComPtr<I>& p, Site at = Site::here()) {
    if (!p) raise(err::ObjectNotSet, at);
    return p.get();
}

// A new object of class clsid, as the interface iid (one reference).
void* createInstance(const CLSID& clsid, const IID& iid, Site at);
CLSID classFromProgId(const Text& progId, Site at);

// A new object of class clsid (or the class registered under progId), asked
// for interface I.
template <class I>
ComPtr<I> createObject(const CLSID& clsid, Site at = Site::here()) {
    return ComPtr<I>::attach(static_cast<I*>(createInstance(clsid, platform::InterfaceId<I>::get(), at)));
}
template <class I>
ComPtr<I> createObject(const Text& progId, Site at = Site::here()) {
    return createObject<I>(classFromProgId(progId, at), at);
}

}  // namespace kw
