// The base of stand-ins called by vtable slot: IUnknown for the interface I
// (and the interfaces it derives from), an IDispatch that no caller of ours
// uses, error information, logging and failures on demand.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "standins/dispatchobject.h"

namespace standins {

template <class I>
class VtableObject : public I, public ISupportErrorInfo, public Counted {
public:
    VtableObject(std::string component, std::initializer_list<IID> iids) : component_(std::move(component)), iids_(iids) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_ISupportErrorInfo) {
            *ppv = static_cast<ISupportErrorInfo*>(this);
        } else if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<I*>(this);
        } else {
            for (const IID& iid : iids_)
                if (iid == riid) *ppv = static_cast<I*>(this);
            if (*ppv == nullptr) return E_NOINTERFACE;
        }
        addRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        for (const IID& iid : iids_)
            if (iid == riid) return S_OK;
        return S_FALSE;
    }

    // Called by name, these objects answer only what every dual object
    // answers: their type's name, and no to the evaluate probe.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        *info = makeTypeInfo(Text(component_.begin(), component_.end())).detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return unexpected("GetIDsOfNames");
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id != DISPID_EVALUATE) return unexpected("Invoke");
        log().enter(component_ + ".[evaluate]", {}, "");
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    // Logs the call; a planned failure is returned (with its error
    // information published), otherwise S_OK.
    HRESULT enter(const char* member, const std::string& args = {}) {
        const Failure* failure = log().enter(component_ + "." + member, {}, args);
        if (failure == nullptr) return S_OK;
        publishErrorInfo(*failure, iids_.empty() ? IID_IDispatch : iids_.back());
        return failure->hr;
    }
    HRESULT unexpected(const std::string& what) {
        log().enter("UNEXPECTED " + component_ + "." + what, {}, "");
        return E_UNEXPECTED;
    }

private:
    std::string component_;
    std::vector<IID> iids_;
};

#define KW_STANDIN_UNUSED(n) \
    HRESULT STDMETHODCALLTYPE unusedSlot##n() override { return unexpected("slot " #n); }

}  // namespace standins
