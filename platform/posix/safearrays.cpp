// SAFEARRAY: elements stored with the first dimension varying fastest, bounds
// kept from the last dimension to the first, as Windows keeps them. Arrays of
// BSTR, VARIANT and interface pointers own their elements.
#include <cstdlib>
#include <cstring>

#include "platform/com.h"

namespace {

ULONG elementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: return 1;
        case VT_I2: case VT_UI2: case VT_BOOL: return 2;
        case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
        case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
        case VT_BSTR: return sizeof(BSTR);
        case VT_DISPATCH: case VT_UNKNOWN: return sizeof(IUnknown*);
        case VT_DECIMAL: return sizeof(DECIMAL);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

USHORT featuresFor(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR: return FADF_BSTR;
        case VT_UNKNOWN: return FADF_UNKNOWN;
        case VT_DISPATCH: return FADF_DISPATCH;
        case VT_VARIANT: return FADF_VARIANT;
        default: return 0;
    }
}

// Bound of dimension dim (1-based, first dimension = 1).
SAFEARRAYBOUND& boundOf(SAFEARRAY* a, UINT dim) { return a->rgsabound[a->cDims - dim]; }

std::size_t cellCount(const SAFEARRAY* a) {
    std::size_t n = 1;
    for (USHORT i = 0; i < a->cDims; ++i) n *= a->rgsabound[i].cElements;
    return n;
}

bool cellOffset(SAFEARRAY* a, const LONG* indices, std::size_t& cell) {
    cell = 0;
    std::size_t stride = 1;
    for (UINT d = 1; d <= a->cDims; ++d) {
        const SAFEARRAYBOUND& b = boundOf(a, d);
        const long long rel = static_cast<long long>(indices[d - 1]) - b.lLbound;
        if (rel < 0 || rel >= static_cast<long long>(b.cElements)) return false;
        cell += static_cast<std::size_t>(rel) * stride;
        stride *= b.cElements;
    }
    return true;
}

void* cellAt(SAFEARRAY* a, std::size_t cell) { return static_cast<char*>(a->pvData) + cell * a->cbElements; }

void releaseCell(SAFEARRAY* a, void* p) {
    if (a->fFeatures & FADF_BSTR) {
        SysFreeString(*static_cast<BSTR*>(p));
    } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        if (auto* u = *static_cast<IUnknown**>(p)) u->Release();
    } else if (a->fFeatures & FADF_VARIANT) {
        VariantClear(static_cast<VARIANT*>(p));
    }
}

HRESULT copyIntoCell(SAFEARRAY* a, void* cell, const void* value) {
    if (a->fFeatures & FADF_BSTR) {
        BSTR src = *static_cast<const BSTR*>(value);
        BSTR copy = nullptr;
        if (src != nullptr) {
            copy = SysAllocStringLen(src, SysStringLen(src));
            if (copy == nullptr) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(cell) = copy;
    } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* u = *static_cast<IUnknown* const*>(value);
        if (u != nullptr) u->AddRef();
        *static_cast<IUnknown**>(cell) = u;
    } else if (a->fFeatures & FADF_VARIANT) {
        auto* v = static_cast<VARIANT*>(cell);
        VariantInit(v);
        return VariantCopy(v, static_cast<const VARIANT*>(value));
    } else {
        std::memcpy(cell, value, a->cbElements);
    }
    return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
    const ULONG size = elementSize(vt);
    if (dims == 0 || bounds == nullptr || size == 0) return nullptr;
    const std::size_t headerBytes = sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
    auto* a = static_cast<SAFEARRAY*>(std::calloc(1, headerBytes + sizeof(VARTYPE)));
    if (a == nullptr) return nullptr;
    a->cDims = static_cast<USHORT>(dims);
    a->fFeatures = featuresFor(vt);
    a->cbElements = size;
    for (UINT d = 1; d <= dims; ++d) boundOf(a, d) = bounds[d - 1];
    std::memcpy(reinterpret_cast<char*>(a) + headerBytes, &vt, sizeof vt);
    const std::size_t cells = cellCount(a);
    a->pvData = std::calloc(cells == 0 ? 1 : cells, size);
    if (a->pvData == nullptr) {
        std::free(a);
        return nullptr;
    }
    return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt) {
    if (a == nullptr || vt == nullptr) return E_INVALIDARG;
    const std::size_t headerBytes = sizeof(SAFEARRAY) + (a->cDims - 1) * sizeof(SAFEARRAYBOUND);
    std::memcpy(vt, reinterpret_cast<char*>(a) + headerBytes, sizeof *vt);
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
    if (a == nullptr) return S_OK;
    if (a->cLocks > 0) return static_cast<HRESULT>(0x8002000Du);  // DISP_E_ARRAYISLOCKED
    const std::size_t cells = cellCount(a);
    for (std::size_t i = 0; i < cells; ++i) releaseCell(a, cellAt(a, i));
    std::free(a->pvData);
    std::free(a);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* a) { return a == nullptr ? 0 : a->cDims; }
UINT SafeArrayGetElemsize(SAFEARRAY* a) { return a == nullptr ? 0 : a->cbElements; }

HRESULT SafeArrayGetLBound(SAFEARRAY* a, UINT dim, LONG* bound) {
    if (a == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
    *bound = boundOf(a, dim).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, UINT dim, LONG* bound) {
    if (a == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = boundOf(a, dim);
    *bound = static_cast<LONG>(b.lLbound + static_cast<long long>(b.cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* a, LONG* indices, void* value) {
    if (a == nullptr || indices == nullptr || value == nullptr) return E_INVALIDARG;
    std::size_t cell = 0;
    if (!cellOffset(a, indices, cell)) return DISP_E_BADINDEX;
    return copyIntoCell(a, value, cellAt(a, cell));
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, LONG* indices, void* value) {
    if (a == nullptr || indices == nullptr) return E_INVALIDARG;
    std::size_t cell = 0;
    if (!cellOffset(a, indices, cell)) return DISP_E_BADINDEX;
    void* target = cellAt(a, cell);
    // Interface and BSTR cells take what value points to; BSTR arrays receive
    // the string itself, as on Windows.
    const void* source = value;
    BSTR bstr = nullptr;
    IUnknown* unk = nullptr;
    if (a->fFeatures & FADF_BSTR) {
        bstr = static_cast<BSTR>(value);
        source = &bstr;
    } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        unk = static_cast<IUnknown*>(value);
        source = &unk;
    }
    if (source == nullptr) return E_INVALIDARG;
    // Copy first, so that an element put into its own cell stays alive.
    alignas(VARIANT) unsigned char fresh[sizeof(VARIANT)];
    const HRESULT hr = copyIntoCell(a, fresh, source);
    if (FAILED(hr)) return hr;
    releaseCell(a, target);
    std::memcpy(target, fresh, a->cbElements);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* a, SAFEARRAY** copy) {
    if (copy == nullptr) return E_INVALIDARG;
    *copy = nullptr;
    if (a == nullptr) return S_OK;
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(a, &vt);
    SAFEARRAYBOUND bounds[64];
    if (a->cDims > 64) return E_INVALIDARG;
    for (UINT d = 1; d <= a->cDims; ++d) bounds[d - 1] = boundOf(a, d);
    SAFEARRAY* out = SafeArrayCreate(vt, a->cDims, bounds);
    if (out == nullptr) return E_OUTOFMEMORY;
    const std::size_t cells = cellCount(a);
    for (std::size_t i = 0; i < cells; ++i) {
        const HRESULT hr = copyIntoCell(out, cellAt(out, i), cellAt(a, i));
        if (FAILED(hr)) {
            SafeArrayDestroy(out);
            return hr;
        }
    }
    *copy = out;
    return S_OK;
}
