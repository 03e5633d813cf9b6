#include "core/runtimeerror.h"

#include "platform/comptr.h"
#include "platform/system.h"

namespace kw {

using platform::Bstr;
using platform::ComPtr;

Text describeError(std::int32_t number) {
    struct Known {
        std::int32_t number;
        const char16_t* text;
    };
    static constexpr Known known[] = {
        {err::InvalidCall, u"Invalid procedure call or argument"},
        {err::Overflow, u"Overflow"},
        {err::OutOfMemory, u"Out of memory"},
        {err::SubscriptOutOfRange, u"Subscript out of range"},
        {11, u"Division by zero"},
        {err::TypeMismatch, u"Type mismatch"},
        {err::ObjectNotSet, u"Object variable or With block variable not set"},
        {err::InvalidUseOfNull, u"Invalid use of Null"},
        {err::ObjectRequired, u"Object required"},
        {err::NoSuchMember, u"Object doesn't support this property or method"},
        {err::ArgumentNotOptional, u"Argument not optional"},
        {450, u"Wrong number of arguments or invalid property assignment"},
        {err::RaisedByErrorBlock, u"Application-defined or object-defined error"},
    };
    for (const Known& k : known)
        if (k.number == number) return k.text;
    if (number < 0) {
        Text text = platform::systemMessage(static_cast<HRESULT>(number));
        if (!text.empty()) return text;
        return u"Automation error";
    }
    return u"Application-defined or object-defined error";
}

std::int32_t errorNumberFromHResult(HRESULT hr) noexcept {
    if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_CONTROL) return static_cast<std::int32_t>(HRESULT_CODE(hr));
    return static_cast<std::int32_t>(hr);
}

HRESULT hresultFromErrorNumber(std::int32_t number) noexcept {
    if (number < 0) return static_cast<HRESULT>(number);
    if (number == 0) return E_FAIL;
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<std::uint32_t>(number) & 0xFFFF);
}

void raise(std::int32_t number, Site at, Text description, Text source) {
    if (description.empty()) description = describeError(number);
    throw RuntimeError(number, std::move(description), std::move(source), static_cast<std::int32_t>(at.line));
}

namespace {

// The callee's error information, when it says it supports it for iid.
ComPtr<IErrorInfo> errorInfoFrom(IUnknown* callee, const IID& iid) {
    ComPtr<IErrorInfo> info;
    if (callee == nullptr) return info;
    ComPtr<ISupportErrorInfo> support;
    if (FAILED(callee->QueryInterface(IID_ISupportErrorInfo, support.putVoid())) || !support) return info;
    if (support->InterfaceSupportsErrorInfo(iid) != S_OK) return info;
    if (GetErrorInfo(0, info.put()) != S_OK) info.reset();
    return info;
}

}  // namespace

void raiseFromHResult(HRESULT hr, IUnknown* callee, const IID& iid, Site at) {
    const std::int32_t number = errorNumberFromHResult(hr);
    Text description, source;
    if (ComPtr<IErrorInfo> info = errorInfoFrom(callee, iid)) {
        Bstr d, s;
        if (SUCCEEDED(info->GetDescription(d.put()))) description = d.text();
        if (SUCCEEDED(info->GetSource(s.put()))) source = s.text();
    }
    if (description.empty()) description = describeError(number);
    if (source.empty()) source = kDefaultSource;
    throw RuntimeError(number, std::move(description), std::move(source), static_cast<std::int32_t>(at.line));
}

HRESULT reportToCaller(const RuntimeError& error, const IID& iid) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(iid);
        Text source = error.source(), description = error.description();
        create->SetSource(const_cast<LPOLESTR>(platform::ole(source)));
        create->SetDescription(const_cast<LPOLESTR>(platform::ole(description)));
        if (ComPtr<IErrorInfo> info = create.query<IErrorInfo>()) SetErrorInfo(0, info.get());
    }
    return hresultFromErrorNumber(error.number());
}

}  // namespace kw
