#include "functions/FunctionsObject.h"

#include "core/catchpoint.h"
#include "errorcapture/modStartup.h"

namespace kw {

namespace {

using identity::IID__Functions;

template <class Body>
HRESULT boundary(Body&& body) noexcept {
    return comBoundary(IID__Functions, std::forward<Body>(body));
}

// A ByRef text parameter: read in, written back whatever happens.
class TextRef {
public:
    explicit TextRef(BSTR* slot) : slot_(slot), text_(platform::textOf(*slot)) {}
    ~TextRef() {
        if (BSTR fresh = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text_.data()), static_cast<UINT>(text_.size()))) {
            SysFreeString(*slot_);
            *slot_ = fresh;
        }
    }
    TextRef(const TextRef&) = delete;
    TextRef& operator=(const TextRef&) = delete;
    Text& value() noexcept { return text_; }

private:
    BSTR* slot_;
    Text text_;
};

// A ByRef Boolean parameter, with the bits the caller gave.
class BoolRef {
public:
    explicit BoolRef(VARIANT_BOOL* slot) noexcept : slot_(slot), value_(Boolean::fromBits(*slot)) {}
    ~BoolRef() { *slot_ = value_.bits; }
    BoolRef(const BoolRef&) = delete;
    BoolRef& operator=(const BoolRef&) = delete;
    Boolean& value() noexcept { return value_; }

private:
    VARIANT_BOOL* slot_;
    Boolean value_;
};

// A ByRef object parameter: the caller's reference is replaced by whatever
// the procedure leaves in it.
template <class I>
class ObjectRef {
public:
    explicit ObjectRef(I** slot) noexcept : slot_(slot), value_(ComPtr<I>::share(*slot)) {}
    ~ObjectRef() {
        if (value_.get() == *slot_) return;
        if (*slot_ != nullptr) (*slot_)->Release();
        *slot_ = value_.detach();
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ComPtr<I>& value() noexcept { return value_; }

private:
    I** slot_;
    ComPtr<I> value_;
};

HRESULT giveText(const Text& text, BSTR* out) {
    *out = platform::allocBstr(text);
    return S_OK;
}

}  // namespace

FunctionsObject::FunctionsObject() noexcept { ++live_; }
FunctionsObject::~FunctionsObject() { --live_; }

HRESULT FunctionsObject::create(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = E_UNEXPECTED;
    const HRESULT started = boundary([&] {
        modStartup::startThread();
        auto* object = new FunctionsObject();
        hr = object->QueryInterface(riid, ppv);
        object->Release();
    });
    return FAILED(started) ? started : hr;
}

HRESULT FunctionsObject::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__Functions) {
        *ppv = static_cast<_Functions*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG FunctionsObject::AddRef() noexcept { return ++refs_; }

ULONG FunctionsObject::Release() noexcept {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT FunctionsObject::InterfaceSupportsErrorInfo(REFIID riid) noexcept {
    return riid == IID__Functions ? S_OK : S_FALSE;
}

HRESULT FunctionsObject::get_DisableVoting(VARIANT_BOOL* value) noexcept {
    if (value == nullptr) return E_POINTER;
    *value = model_.DisableVoting.bits;
    return S_OK;
}

HRESULT FunctionsObject::put_DisableVoting(VARIANT_BOOL value) noexcept {
    model_.DisableVoting = Boolean::fromBits(value);
    return S_OK;
}

HRESULT FunctionsObject::get_ProfileName(BSTR* value) noexcept {
    if (value == nullptr) return E_POINTER;
    return boundary([&] { giveText(model_.ProfileName, value); });
}

HRESULT FunctionsObject::put_ProfileName(BSTR value) noexcept {
    return boundary([&] { model_.ProfileName = platform::textOf(value); });
}

HRESULT FunctionsObject::get_RecheckFolder(VARIANT_BOOL* value) noexcept {
    if (value == nullptr) return E_POINTER;
    *value = model_.RecheckFolder.bits;
    return S_OK;
}

HRESULT FunctionsObject::put_RecheckFolder(VARIANT_BOOL value) noexcept {
    model_.RecheckFolder = Boolean::fromBits(value);
    return S_OK;
}

HRESULT FunctionsObject::CheckMail(_NameSpace* OutlookNS, _MailItem** OutlookMail, double* OutlookVersionValue,
                                   VARIANT_BOOL* Newmail) noexcept {
    if (OutlookMail == nullptr || OutlookVersionValue == nullptr || Newmail == nullptr) return E_POINTER;
    return boundary([&] {
        ObjectRef<_MailItem> mail(OutlookMail);
        BoolRef newmail(Newmail);
        model_.CheckMail(ComPtr<_NameSpace>::share(OutlookNS), mail.value(), *OutlookVersionValue, newmail.value());
    });
}

HRESULT FunctionsObject::BlockMail(_NameSpace* OutlookNS, _MailItem** OutlookMail, double* OutlookVersionValue) noexcept {
    if (OutlookMail == nullptr || OutlookVersionValue == nullptr) return E_POINTER;
    return boundary([&] {
        ObjectRef<_MailItem> mail(OutlookMail);
        model_.BlockMail(ComPtr<_NameSpace>::share(OutlookNS), mail.value(), *OutlookVersionValue);
    });
}

HRESULT FunctionsObject::UnBlockMail(_NameSpace* OutlookNS, _MailItem** OutlookMail,
                                     double* OutlookVersionValue) noexcept {
    if (OutlookMail == nullptr || OutlookVersionValue == nullptr) return E_POINTER;
    return boundary([&] {
        ObjectRef<_MailItem> mail(OutlookMail);
        model_.UnBlockMail(ComPtr<_NameSpace>::share(OutlookNS), mail.value(), *OutlookVersionValue);
    });
}

HRESULT FunctionsObject::PickFolder(BSTR* FolderID, VARIANT_BOOL* SPAMfolder, BSTR* result) noexcept {
    if (FolderID == nullptr || SPAMfolder == nullptr || result == nullptr) return E_POINTER;
    *result = nullptr;
    return boundary([&] {
        TextRef folderId(FolderID);
        BoolRef spamFolder(SPAMfolder);
        giveText(model_.PickFolder(folderId.value(), spamFolder.value()), result);
    });
}

HRESULT FunctionsObject::GetFolderName(BSTR* FolderID, BSTR* result) noexcept {
    if (FolderID == nullptr || result == nullptr) return E_POINTER;
    *result = nullptr;
    return boundary([&] {
        TextRef folderId(FolderID);
        giveText(model_.GetFolderName(folderId.value()), result);
    });
}

HRESULT FunctionsObject::CreateFolder(_NameSpace* OutlookNS) noexcept {
    return boundary([&] { model_.CreateFolder(ComPtr<_NameSpace>::share(OutlookNS)); });
}

HRESULT FunctionsObject::GetFolderPath(BSTR* FolderID, BSTR* result) noexcept {
    if (FolderID == nullptr || result == nullptr) return E_POINTER;
    *result = nullptr;
    return boundary([&] {
        TextRef folderId(FolderID);
        giveText(model_.GetFolderPath(folderId.value()), result);
    });
}

HRESULT FunctionsObject::GetContactlist(VARIANT_BOOL* withName, BSTR* result) noexcept {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    VARIANT_BOOL omitted = VARIANT_FALSE;
    return boundary([&] {
        BoolRef name(withName != nullptr ? withName : &omitted);
        giveText(model_.GetContactlist(name.value()), result);
    });
}

HRESULT FunctionsObject::GetProfileName(BSTR* result) noexcept {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;
    return boundary([&] { giveText(model_.GetProfileName(), result); });
}

}  // namespace kw
