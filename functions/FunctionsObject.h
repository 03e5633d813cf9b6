// The COM face of Functions: the dual interface _Functions. Every method is
// noexcept, converts its arguments, forwards to the model and maps a run-time
// error to an HRESULT plus error information. IDispatch answers every member
// by DISPID and by name.
#pragma once

#include <atomic>

#include "functions/Functions.h"
#include "functions/identity.h"

// Slots 7 to 21, after the seven of IDispatch.
struct _Functions : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_DisableVoting(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DisableVoting(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProfileName(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ProfileName(BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RecheckFolder(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_RecheckFolder(VARIANT_BOOL value) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckMail(_NameSpace* OutlookNS, _MailItem** OutlookMail,
                                                double* OutlookVersionValue, VARIANT_BOOL* Newmail) = 0;
    virtual HRESULT STDMETHODCALLTYPE BlockMail(_NameSpace* OutlookNS, _MailItem** OutlookMail,
                                                double* OutlookVersionValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnBlockMail(_NameSpace* OutlookNS, _MailItem** OutlookMail,
                                                  double* OutlookVersionValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE PickFolder(BSTR* FolderID, VARIANT_BOOL* SPAMfolder, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFolderName(BSTR* FolderID, BSTR* result) = 0;
    // OutlookNS is optional: null when the caller leaves it out.
    virtual HRESULT STDMETHODCALLTYPE CreateFolder(_NameSpace* OutlookNS) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFolderPath(BSTR* FolderID, BSTR* result) = 0;
    // withName is optional: null when the caller leaves it out.
    virtual HRESULT STDMETHODCALLTYPE GetContactlist(VARIANT_BOOL* withName, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProfileName(BSTR* result) = 0;
};

KW_INTERFACE_ID(_Functions, kw::identity::IID__Functions);

namespace kw {

class FunctionsObject final : public _Functions, public ISupportErrorInfo {
public:
    // The class factory's work: a new object asked for riid.
    static HRESULT create(REFIID riid, void** ppv) noexcept;
    // Objects alive in the process, for unloading.
    static long liveObjects() noexcept { return live_.load(); }

    Functions& model() noexcept { return model_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override;

    // _Functions
    HRESULT STDMETHODCALLTYPE get_DisableVoting(VARIANT_BOOL* value) noexcept override;
    HRESULT STDMETHODCALLTYPE put_DisableVoting(VARIANT_BOOL value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ProfileName(BSTR* value) noexcept override;
    HRESULT STDMETHODCALLTYPE put_ProfileName(BSTR value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_RecheckFolder(VARIANT_BOOL* value) noexcept override;
    HRESULT STDMETHODCALLTYPE put_RecheckFolder(VARIANT_BOOL value) noexcept override;
    HRESULT STDMETHODCALLTYPE CheckMail(_NameSpace* OutlookNS, _MailItem** OutlookMail, double* OutlookVersionValue,
                                        VARIANT_BOOL* Newmail) noexcept override;
    HRESULT STDMETHODCALLTYPE BlockMail(_NameSpace* OutlookNS, _MailItem** OutlookMail,
                                        double* OutlookVersionValue) noexcept override;
    HRESULT STDMETHODCALLTYPE UnBlockMail(_NameSpace* OutlookNS, _MailItem** OutlookMail,
                                          double* OutlookVersionValue) noexcept override;
    HRESULT STDMETHODCALLTYPE PickFolder(BSTR* FolderID, VARIANT_BOOL* SPAMfolder, BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFolderName(BSTR* FolderID, BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE CreateFolder(_NameSpace* OutlookNS) noexcept override;
    HRESULT STDMETHODCALLTYPE GetFolderPath(BSTR* FolderID, BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetContactlist(VARIANT_BOOL* withName, BSTR* result) noexcept override;
    HRESULT STDMETHODCALLTYPE GetProfileName(BSTR* result) noexcept override;

private:
    FunctionsObject() noexcept;
    ~FunctionsObject();

    static inline std::atomic<long> live_{0};
    std::atomic<ULONG> refs_{1};
    Functions model_;
};

}  // namespace kw
