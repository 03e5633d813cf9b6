#include "core/automation.h"

namespace kw {

namespace {

std::int32_t conversionError(HRESULT hr) {
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_BADVARTYPE) return err::TypeMismatch;
    if (hr == DISP_E_OVERFLOW) return err::Overflow;
    if (hr == E_OUTOFMEMORY) return err::OutOfMemory;
    if (hr == E_INVALIDARG) return err::InvalidCall;  // a value outside its type's range, such as a date
    return errorNumberFromHResult(hr);
}

Variant coerce(const VARIANT& v, VARTYPE vt, Site at) {
    Variant out;
    const HRESULT hr = VariantChangeTypeEx(out.put(), const_cast<VARIANT*>(&v), LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, vt);
    if (FAILED(hr)) raise(conversionError(hr), at);
    return out;
}

}  // namespace

// Null has no text: the run time raises "Invalid use of Null" for it, where
// the system's conversion answers a type mismatch.
Text asText(const VARIANT& v, Site at) {
    if (platform::throughVariantRefs(v).vt == VT_NULL) raise(err::InvalidUseOfNull, at);
    return platform::textOf(coerce(v, VT_BSTR, at).get()->bstrVal);
}
std::int32_t asLong(const VARIANT& v, Site at) { return coerce(v, VT_I4, at).get()->lVal; }
double asDouble(const VARIANT& v, Site at) { return coerce(v, VT_R8, at).get()->dblVal; }
bool asBoolean(const VARIANT& v, Site at) { return coerce(v, VT_BOOL, at).get()->boolVal != VARIANT_FALSE; }

ComPtr<IDispatch> asObject(const VARIANT& value, Site at) {
    const VARIANT& v = platform::throughVariantRefs(value);
    IUnknown* unknown = nullptr;
    if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) unknown = v.punkVal;
    else if (v.vt == (VT_BYREF | VT_DISPATCH) || v.vt == (VT_BYREF | VT_UNKNOWN)) unknown = *v.ppunkVal;
    else raise(err::ObjectRequired, at);
    ComPtr<IDispatch> object;
    if (unknown != nullptr && FAILED(unknown->QueryInterface(IID_IDispatch, object.putVoid())))
        raise(err::TypeMismatch, at);
    return object;
}

void* createInstance(const CLSID& clsid, const IID& iid, Site at) {
    void* object = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, iid, &object);
    if (FAILED(hr)) raiseFromHResult(hr, nullptr, IID_NULL, at);
    if (object == nullptr) raise(err::ObjectNotSet, at);
    return object;
}

CLSID classFromProgId(const Text& progId, Site at) {
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(platform::ole(progId), &clsid);
    if (FAILED(hr)) raiseFromHResult(hr, nullptr, IID_NULL, at);
    return clsid;
}

}  // namespace kw
