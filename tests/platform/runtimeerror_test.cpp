// Run-time errors and HRESULTs, both ways, and the error information that
// travels with them.
#include <gtest/gtest.h>

#include "core/automation.h"
#include "core/catchpoint.h"
#include "functions/identity.h"
#include "support/fake.h"
#include "support/raised.h"

namespace {

using kw::RuntimeError;
using platform::ComPtr;
using platform::Text;

TEST(ErrorNumbers, ControlFacilityCarriesTheNumberOtherHResultsAreTheirOwnValue) {
    EXPECT_EQ(kw::errorNumberFromHResult(static_cast<HRESULT>(0x800AFFFFu)), 65535);
    EXPECT_EQ(kw::errorNumberFromHResult(static_cast<HRESULT>(0x800A0006u)), 6);
    EXPECT_EQ(kw::errorNumberFromHResult(E_FAIL), -2147467259);
    EXPECT_EQ(kw::errorNumberFromHResult(DISP_E_TYPEMISMATCH), -2147352571);

    EXPECT_EQ(kw::hresultFromErrorNumber(65535), static_cast<HRESULT>(0x800AFFFFu));
    EXPECT_EQ(kw::hresultFromErrorNumber(10005), static_cast<HRESULT>(0x800A2715u));
    EXPECT_EQ(kw::hresultFromErrorNumber(-2147467259), E_FAIL);
    for (HRESULT hr : {E_FAIL, E_NOINTERFACE, static_cast<HRESULT>(0x800A01ADu), static_cast<HRESULT>(0x800AFFFFu)})
        EXPECT_EQ(kw::hresultFromErrorNumber(kw::errorNumberFromHResult(hr)), hr);
}

TEST(ErrorNumbers, RaiseTakesTheStandardDescriptionAndTheCallersLine) {
    int line = 0;
    const RuntimeError e = kwtest::raisedBy([&] { line = __LINE__, kw::raise(kw::err::Overflow); });
    EXPECT_EQ(e.number(), 6);
    EXPECT_EQ(e.description(), u"Overflow");
    EXPECT_EQ(e.source(), u"KWOLFunc");
    EXPECT_EQ(e.line(), line);
}

// A callee that fails and leaves error information when it supports it.
class Callee final : public kwtest::Fake<ISupportErrorInfo> {
public:
    explicit Callee(bool supports) : supports_(supports) {}
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return supports_ ? S_OK : S_FALSE; }

    HRESULT fail() {
        ComPtr<ICreateErrorInfo> create;
        CreateErrorInfo(create.put());
        Text d = u"The store is offline", s = u"Helper";
        create->SetDescription(const_cast<LPOLESTR>(platform::ole(d)));
        create->SetSource(const_cast<LPOLESTR>(platform::ole(s)));
        SetErrorInfo(0, create.query<IErrorInfo>().get());
        return static_cast<HRESULT>(0x80040119u);
    }

private:
    bool supports_;
};

TEST(ErrorInfo, AFailingCallTakesDescriptionAndSourceFromTheCalleeOrTheSystem) {
    auto supporting = ComPtr<Callee>::attach(new Callee(true)), notSupporting = ComPtr<Callee>::attach(new Callee(false));
    const RuntimeError e = kwtest::raisedBy([&] {
        kw::raiseFromHResult(supporting->fail(), supporting.get(), IID_IDispatch, kw::Site{77});
    });
    EXPECT_EQ(e.number(), static_cast<std::int32_t>(0x80040119u));
    EXPECT_EQ(e.description(), u"The store is offline");
    EXPECT_EQ(e.source(), u"Helper");
    EXPECT_EQ(e.line(), 77);

    const RuntimeError stale = kwtest::raisedBy([&] {
        kw::raiseFromHResult(notSupporting->fail(), notSupporting.get(), IID_IDispatch, kw::Site{1});
    });
    EXPECT_NE(stale.description(), u"The store is offline") << "stale information of another call is not taken";
    EXPECT_EQ(stale.source(), u"KWOLFunc");
    ComPtr<IErrorInfo> left;
    GetErrorInfo(0, left.put());  // leaves the thread clean
    EXPECT_EQ(kwtest::raisedBy([] { kw::raiseFromHResult(E_NOINTERFACE, nullptr, IID_NULL, kw::Site{1}); }).description(),
              u"No such interface supported");
}

TEST(ComBoundary, AFailureBecomesItsHResultWithErrorInformation) {
    const HRESULT hr = kw::comBoundary(kw::identity::IID__Functions, [] {
        throw RuntimeError(65535, u"Application-defined or object-defined error", u"KWOLFunc", 12);
    });
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800AFFFFu));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    platform::Bstr description, source;
    info->GetDescription(description.put());
    info->GetSource(source.put());
    GUID guid{};
    info->GetGUID(&guid);
    EXPECT_EQ(description.text(), u"Application-defined or object-defined error");
    EXPECT_EQ(source.text(), u"KWOLFunc");
    EXPECT_TRUE(guid == kw::identity::IID__Functions);

    EXPECT_EQ(kw::comBoundary(kw::identity::IID__Functions, [] { throw std::bad_alloc(); }),
              kw::hresultFromErrorNumber(7));
    GetErrorInfo(0, info.put());
    EXPECT_EQ(kw::comBoundary(kw::identity::IID__Functions, [] {}), S_OK);
}

}  // namespace
