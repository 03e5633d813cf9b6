// IDispatch of Functions, from one table of members. Each member's arguments
// are converted to the vtable method's types, the vtable method is called (so
// a call by DISPID and a call through the vtable do the same), and ByRef
// arguments are written back to the caller's variables. A failing method's
// error information travels back in EXCEPINFO.
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "functions/FunctionsObject.h"
#include "platform/casefold.h"
#include "platform/system.h"

namespace kw {

namespace {

namespace dispid = identity::dispid;

// Each member with its parameters' names in the caller's order; a
// parameter's DISPID is its position, as in the type library.
struct Member {
    const char16_t* name;
    DISPID id;
    const char16_t* params[4];
};

constexpr Member kMembers[] = {
    {u"DisableVoting", dispid::DisableVoting, {}},
    {u"ProfileName", dispid::ProfileName, {}},
    {u"RecheckFolder", dispid::RecheckFolder, {}},
    {u"CheckMail", dispid::CheckMail, {u"OutlookNS", u"OutlookMail", u"OutlookVersionValue", u"Newmail"}},
    {u"BlockMail", dispid::BlockMail, {u"OutlookNS", u"OutlookMail", u"OutlookVersionValue"}},
    {u"UnBlockMail", dispid::UnBlockMail, {u"OutlookNS", u"OutlookMail", u"OutlookVersionValue"}},
    {u"PickFolder", dispid::PickFolder, {u"FolderID", u"SPAMfolder"}},
    {u"GetFolderName", dispid::GetFolderName, {u"FolderID"}},
    {u"CreateFolder", dispid::CreateFolder, {u"OutlookNS"}},
    {u"GetFolderPath", dispid::GetFolderPath, {u"FolderID"}},
    {u"GetContactlist", dispid::GetContactlist, {u"withName"}},
    {u"GetProfileName", dispid::GetProfileName, {}},
};

bool sameName(const OLECHAR* a, const char16_t* b) {
    return platform::sameName(TextView(reinterpret_cast<const char16_t*>(a)), TextView(b));
}

// A failure of argument `index`: its position in the caller's order, or
// (isIndex) its index in rgvarg.
struct ArgumentError {
    HRESULT hr;
    UINT index;
    bool isIndex = false;
};

class Arguments {
public:
    Arguments(DISPPARAMS* params, UINT required, UINT total, bool propertyPut)
        : params_(params), propertyPut_(propertyPut) {
        const UINT named = params->cNamedArgs;
        if (propertyPut) {
            if (named != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) throw ArgumentError{DISP_E_PARAMNOTOPTIONAL, 0};
            if (params->cArgs != 1) throw ArgumentError{DISP_E_BADPARAMCOUNT, 0};
            return;
        }
        if (params->cArgs > total || named > params->cArgs || (named == 0 && params->cArgs < required))
            throw ArgumentError{DISP_E_BADPARAMCOUNT, 0};
        // Named arguments (rgvarg[0] up to cNamedArgs) go to the positions
        // their DISPIDs give, after the positional ones and once each.
        for (UINT j = 0; j < named; ++j) {
            const DISPID position = params->rgdispidNamedArgs[j];
            bool taken = position < static_cast<DISPID>(positional()) || position >= static_cast<DISPID>(total);
            for (UINT k = 0; k < j; ++k) taken |= params->rgdispidNamedArgs[k] == position;
            if (taken) throw ArgumentError{DISP_E_PARAMNOTFOUND, j, true};
        }
    }

    // Argument i in the caller's order, or null when it is not there or was
    // passed as omitted.
    VARIANT* at(UINT i) const {
        VARIANT* v = slot(i);
        if (v == nullptr) return nullptr;
        const VARIANT& seen = platform::throughVariantRefs(*v);
        if (seen.vt == VT_ERROR && seen.scode == DISP_E_PARAMNOTFOUND) return nullptr;
        return v;
    }
    VARIANT* required(UINT i) const {
        VARIANT* v = at(i);
        if (v == nullptr) throw ArgumentError{DISP_E_PARAMNOTOPTIONAL, i};
        return v;
    }

private:
    UINT positional() const { return params_->cArgs - params_->cNamedArgs; }
    VARIANT* slot(UINT i) const {
        if (propertyPut_) return i == 0 ? &params_->rgvarg[0] : nullptr;
        if (i < positional()) return &params_->rgvarg[params_->cArgs - 1 - i];
        for (UINT j = 0; j < params_->cNamedArgs; ++j)
            if (params_->rgdispidNamedArgs[j] == static_cast<DISPID>(i)) return &params_->rgvarg[j];
        return nullptr;
    }

    DISPPARAMS* params_;
    bool propertyPut_;
};

// Where argument `position` sits in rgvarg, for the caller's argErr.
// (past the end when the argument is not there).
UINT argumentIndex(const DISPPARAMS& params, const ArgumentError& e) {
    if (e.isIndex) return e.index;
    for (UINT j = 0; j < params.cNamedArgs; ++j)
        if (params.rgdispidNamedArgs[j] == static_cast<DISPID>(e.index)) return j;
    const UINT positional = params.cArgs - params.cNamedArgs;
    return e.index < positional ? params.cArgs - 1 - e.index : params.cArgs;
}

// One argument converted to the type vt of the vtable parameter. For a ByRef
// parameter the converted value is written back into the caller's variable
// when the caller passed one by reference.
class Slot {
public:
    Slot(VARIANT* arg, VARTYPE vt, UINT index, const IID* iid = nullptr) : vt_(vt) {
        if (arg == nullptr) {
            local_.get()->vt = vt;  // omitted: zero, empty text, Nothing
            return;
        }
        // Through any number of references to variants down to the caller's
        // variable: a variant, or a reference of the parameter's own type.
        VARIANT* source = arg;
        while (source->vt == (VT_BYREF | VT_VARIANT) && source->pvarVal != nullptr) source = source->pvarVal;
        if (source != arg) target_ = source;
        if (source->vt & VT_BYREF) {
            if ((source->vt & ~VT_BYREF) != vt || source->byref == nullptr) throw ArgumentError{DISP_E_TYPEMISMATCH, index};
            target_ = source;
        }
        if (vt == VT_DISPATCH) takeObject(*source, index, *iid);
        else if (FAILED(VariantChangeType(local_.get(), source, 0, vt))) throw ArgumentError{DISP_E_TYPEMISMATCH, index};
    }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    void writeBack() {
        if (target_ == nullptr) return;
        VARIANT& v = *local_.get();
        if (target_->vt & VT_BYREF) {
            switch (vt_) {
                case VT_BSTR:
                    SysFreeString(*target_->pbstrVal);
                    *target_->pbstrVal = std::exchange(v.bstrVal, nullptr);
                    break;
                case VT_BOOL: *target_->pboolVal = v.boolVal; break;
                case VT_R8: *target_->pdblVal = v.dblVal; break;
                case VT_DISPATCH:
                    if (*target_->ppdispVal != nullptr) (*target_->ppdispVal)->Release();
                    *target_->ppdispVal = std::exchange(v.pdispVal, nullptr);
                    break;
                default: break;
            }
        } else {
            VariantClear(target_);
            *target_ = local_.detach();
        }
    }

    BSTR* text() { return &local_.get()->bstrVal; }
    VARIANT_BOOL* boolean() { return &local_.get()->boolVal; }
    double* real() { return &local_.get()->dblVal; }
    // The object as interface I: the slot holds it as I* behind VT_DISPATCH.
    template <class I>
    I** object() {
        static_assert(std::is_base_of_v<IDispatch, I>);
        return reinterpret_cast<I**>(&local_.get()->pdispVal);
    }

private:
    void takeObject(const VARIANT& source, UINT index, const IID& iid) {
        IUnknown* unknown = nullptr;
        if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN) unknown = source.punkVal;
        else if (source.vt == (VT_BYREF | VT_DISPATCH) || source.vt == (VT_BYREF | VT_UNKNOWN)) unknown = *source.ppunkVal;
        else if (source.vt != VT_EMPTY) throw ArgumentError{DISP_E_TYPEMISMATCH, index};
        VARIANT& v = *local_.get();
        v.vt = VT_DISPATCH;
        v.pdispVal = nullptr;
        if (unknown != nullptr && FAILED(unknown->QueryInterface(iid, reinterpret_cast<void**>(&v.pdispVal))))
            throw ArgumentError{DISP_E_TYPEMISMATCH, index};
    }

    VARTYPE vt_;
    Variant local_;
    VARIANT* target_ = nullptr;
};

void giveResult(VARIANT* result, VARTYPE vt, VARIANT_BOOL b) {
    if (result == nullptr) return;
    VariantClear(result);
    result->vt = vt;
    result->boolVal = b;
}

void giveResult(VARIANT* result, BSTR text) {
    if (result == nullptr) {
        SysFreeString(text);
        return;
    }
    VariantClear(result);
    result->vt = VT_BSTR;
    result->bstrVal = text;
}

// The error information a failing vtable method left, moved into EXCEPINFO.
HRESULT toException(HRESULT hr, EXCEPINFO* info) {
    if (SUCCEEDED(hr) || info == nullptr) return hr;
    std::memset(info, 0, sizeof *info);
    info->scode = hr;
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.put()) == S_OK && error) {
        error->GetSource(&info->bstrSource);
        error->GetDescription(&info->bstrDescription);
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

HRESULT FunctionsObject::GetTypeInfoCount(UINT* count) noexcept {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT FunctionsObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return platform::componentTypeInfo(identity::IID__Functions, info);
}

// The member's DISPID, then each parameter's position; names compare without
// letter case. Every name is resolved that can be.
HRESULT FunctionsObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const Member* member = nullptr;
    for (const Member& m : kMembers)
        if (sameName(names[0], m.name)) member = &m;
    if (member == nullptr) return DISP_E_UNKNOWNNAME;
    ids[0] = member->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        for (DISPID p = 0; p < 4 && member->params[p] != nullptr; ++p)
            if (sameName(names[i], member->params[p])) ids[i] = p;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT FunctionsObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* excepInfo, UINT* argErr) noexcept {
    if (params == nullptr) return E_INVALIDARG;
    const bool get = (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    const bool method = (flags & DISPATCH_METHOD) != 0;
    try {
        HRESULT hr = S_OK;
        switch (id) {
            case dispid::DisableVoting:
            case dispid::RecheckFolder: {
                const bool disable = id == dispid::DisableVoting;
                if (put) {
                    Arguments args(params, 1, 1, true);
                    Slot value(args.required(0), VT_BOOL, 0);
                    hr = disable ? put_DisableVoting(*value.boolean()) : put_RecheckFolder(*value.boolean());
                } else if (get) {
                    Arguments args(params, 0, 0, false);
                    VARIANT_BOOL b = VARIANT_FALSE;
                    hr = disable ? get_DisableVoting(&b) : get_RecheckFolder(&b);
                    if (SUCCEEDED(hr)) giveResult(result, VT_BOOL, b);
                } else {
                    return DISP_E_MEMBERNOTFOUND;
                }
                break;
            }
            case dispid::ProfileName: {
                if (put) {
                    Arguments args(params, 1, 1, true);
                    Slot value(args.required(0), VT_BSTR, 0);
                    hr = put_ProfileName(*value.text());
                } else if (get) {
                    Arguments args(params, 0, 0, false);
                    BSTR text = nullptr;
                    hr = get_ProfileName(&text);
                    if (SUCCEEDED(hr)) giveResult(result, text);
                } else {
                    return DISP_E_MEMBERNOTFOUND;
                }
                break;
            }
            case dispid::CheckMail:
            case dispid::BlockMail:
            case dispid::UnBlockMail: {
                if (!method) return DISP_E_MEMBERNOTFOUND;
                const bool check = id == dispid::CheckMail;
                Arguments args(params, check ? 4 : 3, check ? 4 : 3, false);
                // The namespace is not optional here (only CreateFolder's is);
                // Nothing passed for it is still a namespace of Nothing.
                Slot ns(args.required(0), VT_DISPATCH, 0, &outlook::IID__NameSpace);
                Slot mail(args.required(1), VT_DISPATCH, 1, &outlook::IID__MailItem);
                Slot version(args.required(2), VT_R8, 2);
                if (check) {
                    Slot newmail(args.required(3), VT_BOOL, 3);
                    hr = CheckMail(*ns.object<_NameSpace>(), mail.object<_MailItem>(), version.real(), newmail.boolean());
                    newmail.writeBack();
                } else if (id == dispid::BlockMail) {
                    hr = BlockMail(*ns.object<_NameSpace>(), mail.object<_MailItem>(), version.real());
                } else {
                    hr = UnBlockMail(*ns.object<_NameSpace>(), mail.object<_MailItem>(), version.real());
                }
                mail.writeBack();
                version.writeBack();
                break;
            }
            case dispid::PickFolder: {
                if (!method) return DISP_E_MEMBERNOTFOUND;
                Arguments args(params, 2, 2, false);
                Slot folderId(args.required(0), VT_BSTR, 0);
                Slot spamFolder(args.required(1), VT_BOOL, 1);
                BSTR text = nullptr;
                hr = PickFolder(folderId.text(), spamFolder.boolean(), &text);
                folderId.writeBack();
                spamFolder.writeBack();
                if (SUCCEEDED(hr)) giveResult(result, text);
                break;
            }
            case dispid::GetFolderName:
            case dispid::GetFolderPath: {
                if (!method) return DISP_E_MEMBERNOTFOUND;
                Arguments args(params, 1, 1, false);
                Slot folderId(args.required(0), VT_BSTR, 0);
                BSTR text = nullptr;
                hr = id == dispid::GetFolderName ? GetFolderName(folderId.text(), &text)
                                                 : GetFolderPath(folderId.text(), &text);
                folderId.writeBack();
                if (SUCCEEDED(hr)) giveResult(result, text);
                break;
            }
            case dispid::CreateFolder: {
                if (!method) return DISP_E_MEMBERNOTFOUND;
                Arguments args(params, 0, 1, false);
                Slot ns(args.at(0), VT_DISPATCH, 0, &outlook::IID__NameSpace);
                hr = CreateFolder(*ns.object<_NameSpace>());
                break;
            }
            case dispid::GetContactlist: {
                if (!method) return DISP_E_MEMBERNOTFOUND;
                Arguments args(params, 0, 1, false);
                Slot withName(args.at(0), VT_BOOL, 0);
                BSTR text = nullptr;
                hr = GetContactlist(withName.boolean(), &text);
                withName.writeBack();
                if (SUCCEEDED(hr)) giveResult(result, text);
                break;
            }
            case dispid::GetProfileName: {
                if (!method) return DISP_E_MEMBERNOTFOUND;
                Arguments args(params, 0, 0, false);
                BSTR text = nullptr;
                hr = GetProfileName(&text);
                if (SUCCEEDED(hr)) giveResult(result, text);
                break;
            }
            default: return DISP_E_MEMBERNOTFOUND;
        }
        return toException(hr, excepInfo);
    } catch (const ArgumentError& e) {
        // The position in rgvarg, which lists the arguments last to first.
        if (argErr != nullptr && params->cArgs > 0) {
            const UINT index = argumentIndex(*params, e);
            if (index < params->cArgs) *argErr = index;
        }
        return e.hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace kw
