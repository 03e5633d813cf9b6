// Type information that knows only the type's name, on the project's own
// COM layer (whose ITypeInfo has only GetDocumentation).
#include "standins/dispatchobject.h"

namespace standins {

namespace {

class TypeInfo final : public ITypeInfo, public Counted {
public:
    explicit TypeInfo(Text name) : name_(std::move(name)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
            *ppv = static_cast<ITypeInfo*>(this);
            addRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* help,
                                               BSTR* helpFile) override {
        if (memid != MEMBERID_NIL) return TYPE_E_ELEMENTNOTFOUND;
        if (name != nullptr) *name = platform::allocBstr(name_);
        if (doc != nullptr) *doc = nullptr;
        if (help != nullptr) *help = 0;
        if (helpFile != nullptr) *helpFile = nullptr;
        return S_OK;
    }

private:
    Text name_;
};

}  // namespace

ComPtr<ITypeInfo> makeTypeInfo(Text typeName) {
    return ComPtr<ITypeInfo>::attach(new TypeInfo(std::move(typeName)));
}

}  // namespace standins
