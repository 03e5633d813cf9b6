// Type information that knows only the type's name, on Windows: a dispatch
// type made in a throw-away type library, so every ITypeInfo member answers
// as OLE Automation's own.
#include "standins/dispatchobject.h"

namespace standins {

ComPtr<ITypeInfo> makeTypeInfo(Text typeName) {
    ComPtr<ITypeInfo> info;
    ICreateTypeLib2* library = nullptr;
    if (FAILED(CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, L"standins.tlb", &library))) return info;
    ICreateTypeInfo* created = nullptr;
    if (SUCCEEDED(library->CreateTypeInfo(const_cast<LPOLESTR>(platform::ole(typeName)), TKIND_DISPATCH, &created))) {
        created->LayOut();
        created->QueryInterface(IID_ITypeInfo, info.putVoid());
        created->Release();
    }
    library->Release();
    return info;
}

}  // namespace standins
