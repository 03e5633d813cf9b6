// A C++ client of the registered KWOLFunc.dll under Wine, as the add-in is:
//   client_checks KWOLFunc.dll outlook9.tlb
// registers the stand-in of the mail client's object library and the DLL,
// creates Functions by ProgID and by CLSID, reads its type information
// member by member (DISPID, vtable offset, parameter names, directions and
// types, the mail client's types resolved in their own library) and holds
// it against the C++ interface and the object's own name table, calls the
// properties through the vtable and by DISPID, and at the end unregisters
// both and finds the DLL ready to unload.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "functions/FunctionsObject.h"
#include "platform/guid.h"
#include "tests/support/slots.h"
#include "tests/wine/check.h"
#include "tests/wine/process.h"
#include "tests/wine/registered.h"

namespace {

using wine_check::fullPath;
using wine_check::run;

using platform::Text;
using wine_check::expect;
using wine_check::hex;
namespace identity = kw::identity;

std::string utf8(const wchar_t* w) { return w == nullptr ? "" : platform::toUtf8(reinterpret_cast<const char16_t*>(w)); }
template <class F>
F exported(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// One member of _Functions as the add-in knows it.
struct Expected {
    const char* name;
    INVOKEKIND kind;
    DISPID id;
    std::size_t slot;
    std::size_t offset;  // of the C++ interface's member
    std::vector<const char*> params;  // "name: flags type"
};

template <class M>
std::size_t at(M member) {
    return kwtest::slotOffsetOf(member);
}

std::vector<Expected> expectedMembers() {
    const auto get = INVOKE_PROPERTYGET, put = INVOKE_PROPERTYPUT, call = INVOKE_FUNC;
    return {
        {"DisableVoting", get, 0x40030016, 7, at(&_Functions::get_DisableVoting), {"out retval VARIANT_BOOL*"}},
        {"DisableVoting", put, 0x40030016, 8, at(&_Functions::put_DisableVoting), {"in VARIANT_BOOL"}},
        {"ProfileName", get, 0x40030017, 9, at(&_Functions::get_ProfileName), {"out retval BSTR*"}},
        {"ProfileName", put, 0x40030017, 10, at(&_Functions::put_ProfileName), {"in BSTR"}},
        {"RecheckFolder", get, 0x40030018, 11, at(&_Functions::get_RecheckFolder), {"out retval VARIANT_BOOL*"}},
        {"RecheckFolder", put, 0x40030018, 12, at(&_Functions::put_RecheckFolder), {"in VARIANT_BOOL"}},
        {"CheckMail", call, 0x60030018, 13, at(&_Functions::CheckMail),
         {"OutlookNS: in _NameSpace*", "OutlookMail: in out _MailItem**", "OutlookVersionValue: in out double*",
          "Newmail: in out VARIANT_BOOL*"}},
        {"BlockMail", call, 0x60030019, 14, at(&_Functions::BlockMail),
         {"OutlookNS: in _NameSpace*", "OutlookMail: in out _MailItem**", "OutlookVersionValue: in out double*"}},
        {"UnBlockMail", call, 0x6003001A, 15, at(&_Functions::UnBlockMail),
         {"OutlookNS: in _NameSpace*", "OutlookMail: in out _MailItem**", "OutlookVersionValue: in out double*"}},
        {"PickFolder", call, 0x6003001B, 16, at(&_Functions::PickFolder),
         {"FolderID: in out BSTR*", "SPAMfolder: in out VARIANT_BOOL*", "out retval BSTR*"}},
        {"GetFolderName", call, 0x6003001C, 17, at(&_Functions::GetFolderName),
         {"FolderID: in out BSTR*", "out retval BSTR*"}},
        {"CreateFolder", call, 0x6003001D, 18, at(&_Functions::CreateFolder), {"OutlookNS: in opt _NameSpace*"}},
        {"GetFolderPath", call, 0x6003001E, 19, at(&_Functions::GetFolderPath),
         {"FolderID: in out BSTR*", "out retval BSTR*"}},
        {"GetContactlist", call, 0x6003001F, 20, at(&_Functions::GetContactlist),
         {"withName: in out opt VARIANT_BOOL*", "out retval BSTR*"}},
        {"GetProfileName", call, 0x60030021, 21, at(&_Functions::GetProfileName), {"out retval BSTR*"}},
    };
}

// A type as the add-in's declarations spell it; a type of another library
// must come from the mail client's object library under its own IID.
std::string typeName(ITypeInfo* info, const TYPEDESC& t) {
    switch (t.vt) {
        case VT_PTR: return typeName(info, *t.lptdesc) + "*";
        case VT_BOOL: return "VARIANT_BOOL";
        case VT_BSTR: return "BSTR";
        case VT_R8: return "double";
        case VT_USERDEFINED: {
            ITypeInfo* ref = nullptr;
            if (FAILED(info->GetRefTypeInfo(t.hreftype, &ref))) return "<unresolved>";
            BSTR name = nullptr;
            ref->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
            std::string result = utf8(name);
            SysFreeString(name);
            TYPEATTR* attr = nullptr;
            ref->GetTypeAttr(&attr);
            const IID expected = result == "_NameSpace" ? kw::outlook::IID__NameSpace : kw::outlook::IID__MailItem;
            if (attr->guid != expected) result += "<wrong IID>";
            ref->ReleaseTypeAttr(attr);
            ITypeLib* library = nullptr;
            UINT index = 0;
            TLIBATTR* libAttr = nullptr;
            if (SUCCEEDED(ref->GetContainingTypeLib(&library, &index)) && SUCCEEDED(library->GetLibAttr(&libAttr))) {
                if (libAttr->guid != kw::outlook::LIBID_Outlook || libAttr->wMajorVerNum != 9) result += "<wrong library>";
                library->ReleaseTLibAttr(libAttr);
            }
            if (library != nullptr) library->Release();
            ref->Release();
            return result;
        }
        default: return "vt" + std::to_string(t.vt);
    }
}

std::string describe(ITypeInfo* info, const ELEMDESC& e, const std::string& name) {
    const USHORT f = e.paramdesc.wParamFlags;
    std::string d = name.empty() ? "" : name + ": ";
    if (f & PARAMFLAG_FIN) d += "in ";
    if (f & PARAMFLAG_FOUT) d += "out ";
    if (f & PARAMFLAG_FOPT) d += "opt ";
    if (f & PARAMFLAG_FRETVAL) d += "retval ";
    return d + typeName(info, e.tdesc);
}

// Every member of the type information against the table, the C++ vtable
// and the object's own GetIDsOfNames.
void typeInformation(IDispatch* object) {
    UINT count = 0;
    expect(object->GetTypeInfoCount(&count) == S_OK && count == 1, "GetTypeInfoCount answers 1");
    ITypeInfo* dispatch = nullptr;
    const HRESULT hr = object->GetTypeInfo(0, 0, &dispatch);
    if (!expect(hr == S_OK && dispatch != nullptr, "GetTypeInfo gives _Functions' type information " + hex(hr))) return;
    ITypeInfo* info = dispatch;
    HREFTYPE vtablePart = 0;
    TYPEATTR* attr = nullptr;
    dispatch->GetTypeAttr(&attr);
    expect(attr->guid == identity::IID__Functions, "under the IID of _Functions");
    const WORD flags = attr->wTypeFlags;
    expect((flags & TYPEFLAG_FDUAL) && (flags & TYPEFLAG_FHIDDEN) && (flags & TYPEFLAG_FNONEXTENSIBLE),
           "dual, hidden, not extensible " + hex(flags));
    const bool isDispatch = attr->typekind == TKIND_DISPATCH;
    dispatch->ReleaseTypeAttr(attr);
    // The vtable part of the dual interface carries the slots.
    if (isDispatch && SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtablePart)))
        dispatch->GetRefTypeInfo(vtablePart, &info);
    info->GetTypeAttr(&attr);
    const std::vector<Expected> members = expectedMembers();
    expect(attr->typekind == TKIND_INTERFACE && attr->cFuncs == members.size() &&
               (attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION),
           "the automation vtable part has the 15 members of _Functions");
    const UINT functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);

    for (UINT i = 0; i < functions && i < members.size(); ++i) {
        const Expected& want = members[i];
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(i, &f);
        BSTR names[8] = {};
        UINT named = 0;
        info->GetNames(f->memid, names, 8, &named);
        const std::string label = std::string(want.name) + (want.kind == INVOKE_PROPERTYPUT   ? " put"
                                                            : want.kind == INVOKE_PROPERTYGET ? " get"
                                                                                              : "");
        expect(utf8(names[0]) == want.name && f->invkind == want.kind && f->memid == want.id,
               label + ": name, kind and DISPID " + hex(f->memid));
        expect(static_cast<std::size_t>(f->oVft) == want.slot * sizeof(void*) &&
                   static_cast<std::size_t>(f->oVft) == want.offset,
               label + ": vtable slot " + std::to_string(want.slot) + " in the type library and in C++");
        bool sameParams = static_cast<std::size_t>(f->cParams) == want.params.size();
        std::string seen;
        std::vector<std::wstring> paramNames;
        for (SHORT p = 0; p < f->cParams; ++p) {
            const bool retval = f->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL;
            // Accessors and results carry no parameter name a caller uses.
            const bool isNamed = want.kind == INVOKE_FUNC && !retval && static_cast<UINT>(p + 1) < named;
            const std::string name = isNamed ? utf8(names[p + 1]) : "";
            if (isNamed) paramNames.push_back(reinterpret_cast<const wchar_t*>(names[p + 1]));
            const std::string d = describe(info, f->lprgelemdescParam[p], name);
            seen += "[" + d + "]";
            sameParams &= static_cast<std::size_t>(p) < want.params.size() && d == want.params[p];
        }
        expect(sameParams, label + ": parameters " + seen);
        for (BSTR& n : names) SysFreeString(n);
        info->ReleaseFuncDesc(f);

        // The object resolves the same names to the same DISPIDs.
        std::wstring member(want.name, want.name + std::strlen(want.name));
        std::vector<LPOLESTR> lookup{member.data()};
        for (std::wstring& n : paramNames) lookup.push_back(n.data());
        std::vector<DISPID> ids(lookup.size(), 0);
        bool resolved = object->GetIDsOfNames(IID_NULL, lookup.data(), static_cast<UINT>(lookup.size()), 0, ids.data()) ==
                            S_OK &&
                        ids[0] == want.id;
        for (std::size_t p = 1; p < ids.size(); ++p) resolved &= ids[p] == static_cast<DISPID>(p - 1);
        expect(resolved, label + ": GetIDsOfNames agrees for the member and its parameters");
    }
    if (info != dispatch) info->Release();
    dispatch->Release();
}

// The properties through the vtable and by DISPID: put one way, get the
// other, 16-bit Booleans with the bits they were given.
void properties(_Functions* object) {
    DISPID put = DISPID_PROPERTYPUT;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = 1;  // not -1: the bits travel unchanged
    DISPPARAMS params{&value, &put, 1, 1};
    expect(object->Invoke(identity::dispid::DisableVoting, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr) == S_OK,
           "DisableVoting put by DISPID");
    VARIANT_BOOL b = 0;
    expect(object->get_DisableVoting(&b) == S_OK && b == 1, "and read through the vtable with its bits");
    expect(object->put_RecheckFolder(VARIANT_TRUE) == S_OK, "RecheckFolder put through the vtable");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    expect(object->Invoke(identity::dispid::RecheckFolder, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                          nullptr) == S_OK &&
               result.vt == VT_BOOL && result.boolVal == VARIANT_TRUE,
           "and read by DISPID");
    BSTR name = SysAllocString(L"Work \u00e9\u4e2d");
    expect(object->put_ProfileName(name) == S_OK, "ProfileName put through the vtable");
    expect(object->Invoke(identity::dispid::ProfileName, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                          nullptr) == S_OK &&
               result.vt == VT_BSTR && VarBstrCmp(result.bstrVal, name, 0, 0) == static_cast<HRESULT>(VARCMP_EQ),
           "and read by DISPID, any Unicode text kept");
    VariantClear(&result);
    SysFreeString(name);
}

// The resources beside the type library: the default interface's IID and
// the version numbers.
void resources(HMODULE module) {
    HRSRC iid = FindResourceW(module, MAKEINTRESOURCEW(1), L"_IID_FUNCTIONS");
    const void* bytes = iid != nullptr ? LockResource(LoadResource(module, iid)) : nullptr;
    expect(bytes != nullptr && SizeofResource(module, iid) == sizeof(IID) &&
               std::memcmp(bytes, &identity::IID__Functions, sizeof(IID)) == 0,
           "resource _IID_FUNCTIONS 1 holds the IID of _Functions");
    HRSRC version = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    const auto* block = version != nullptr ? static_cast<const BYTE*>(LockResource(LoadResource(module, version))) : nullptr;
    // VS_VERSIONINFO: the fixed part follows the key "VS_VERSION_INFO" at
    // the first 32-bit boundary.
    const VS_FIXEDFILEINFO* fixed = nullptr;
    if (block != nullptr) {
        std::size_t offset = 6 + sizeof(L"VS_VERSION_INFO");
        offset = (offset + 3) & ~std::size_t{3};
        fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(block + offset);
    }
    expect(fixed != nullptr && fixed->dwSignature == 0xFEEF04BD && fixed->dwFileVersionMS == 0x00010000 &&
               fixed->dwFileVersionLS == 117 && fixed->dwProductVersionMS == 0x00010000 &&
               fixed->dwProductVersionLS == 117,
           "file and product version 1.00.0117");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: client_checks KWOLFunc.dll outlook9.tlb\n");
        return 2;
    }
    const std::wstring dll = fullPath(argv[1]), outlookLibrary = fullPath(argv[2]);
    wine_check::registerServer(dll, outlookLibrary);

    CLSID clsid{};
    expect(CLSIDFromProgID(L"KWOLFunc.Functions", &clsid) == S_OK && clsid == identity::CLSID_Functions,
           "the ProgID leads to the CLSID");
    _Functions* byProgId = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, identity::IID__Functions,
                                  reinterpret_cast<void**>(&byProgId));
    expect(hr == S_OK && byProgId != nullptr, "Functions created by ProgID " + hex(hr));
    IDispatch* byClsid = nullptr;
    hr = CoCreateInstance(identity::CLSID_Functions, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&byClsid));
    expect(hr == S_OK && byClsid != nullptr, "and by CLSID, as IDispatch " + hex(hr));

    HMODULE module = GetModuleHandleW(L"KWOLFunc.dll");
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto getClassObject = exported<GetClassObject>(module, "DllGetClassObject");
    auto canUnloadNow = exported<CanUnloadNow>(module, "DllCanUnloadNow");
    if (!expect(getClassObject != nullptr && canUnloadNow != nullptr, "the DLL is loaded with its exports")) return 1;
    void* factory = reinterpret_cast<void*>(1);
    expect(getClassObject(kw::outlook::CLSID_Application, IID_IClassFactory, &factory) == CLASS_E_CLASSNOTAVAILABLE &&
               factory == nullptr,
           "the class factory of any other CLSID is refused");
    expect(canUnloadNow() == S_FALSE, "the DLL stays while objects live");
    resources(module);

    if (byClsid != nullptr) typeInformation(byClsid);
    if (byProgId != nullptr) properties(byProgId);

    if (byProgId != nullptr) byProgId->Release();
    if (byClsid != nullptr) byClsid->Release();
    expect(canUnloadNow() == S_OK, "DllCanUnloadNow answers S_OK once everything is released");
    wine_check::unregisterServer(dll);
    return wine_check::result();
}
