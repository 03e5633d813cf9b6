// The IUnknown part of the tests' own COM objects: the one interface the
// object implements, and reference counting through the stand-ins' Counted,
// so the fixtures' check that every stand-in is released covers them too.
#pragma once

#include "platform/comptr.h"
#include "standins/dispatchobject.h"

namespace kwtest {

template <class Interface>
class Fake : public Interface, public standins::Counted {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == platform::InterfaceId<Interface>::get()) {
            addRef();
            *ppv = static_cast<Interface*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
};

}  // namespace kwtest
