// The per-call lifecycle of Functions: attaching to Outlook, the per-call
// objects, the sticky ObjError flag and the caller's mail variable.
#include <gtest/gtest.h>

#include "support/fixture.h"

namespace kwtest {
namespace {

using ::testing::ElementsAre;

class Lifecycle : public StandInTest {};

constexpr HRESULT kCannotCreate = static_cast<HRESULT>(0x80080005u);  // CO_E_SERVER_EXEC_FAILURE

TEST_F(Lifecycle, CallWithNamespaceMakesNoLogonAndTakesNoApplication) {
    auto object = create();
    ComPtr<_MailItem> mail = mailRef(outlook().addMail(outlook().defaultFolder(6)));
    _MailItem* raw = mail.detach();
    double version = 9.0;
    VARIANT_BOOL newmail = VARIANT_TRUE;
    ASSERT_EQ(object->CheckMail(ns().get(), &raw, &version, &newmail), S_OK);

    EXPECT_EQ(raw, nullptr) << "the caller's mail variable comes back empty";
    EXPECT_EQ(calls().count("Application"), 0u);
    EXPECT_EQ(calls().count("Namespace.Logon"), 0u);
    EXPECT_THAT(calls().callsTo({"SpamClientCOM.create", "SpamClientMD5.create", "KWMailItem.create"}),
                ElementsAre("SpamClientCOM.create()", "SpamClientMD5.create()", "KWMailItem.create()"));
    EXPECT_EQ(model(object).Outlookversion, 9.0);
    EXPECT_EQ(version, 9.0);
    EXPECT_EQ(newmail, VARIANT_TRUE);
}

TEST_F(Lifecycle, CallWithoutNamespaceAttachesAndLogsOnWithOmittedArguments) {
    auto object = create();
    BSTR name = nullptr;
    ASSERT_EQ(object->GetProfileName(&name), S_OK);
    SysFreeString(name);
    EXPECT_THAT(calls().calls(),
                ElementsAre("Application.create()", "Application.GetNamespace(\"MAPI\")",
                            "Namespace.Logon(missing, missing, missing, missing)", "SpamClientCOM.create()",
                            "SpamClientMD5.create()", "KWMailItem.create()"));
    EXPECT_FALSE(model(object).ObjError);
}

TEST_F(Lifecycle, PerCallObjectsAreReleasedAfterEveryCall) {
    auto object = create();
    const long before = standins::liveObjects();
    BSTR text = nullptr, id = platform::allocBstr(u"x");
    ASSERT_EQ(object->GetFolderName(&id, &text), S_OK);
    SysFreeString(text);
    SysFreeString(id);
    ASSERT_EQ(object->CreateFolder(ns().get()), S_OK);
    const kw::Functions& m = model(object);
    EXPECT_FALSE(m.ObjNS);
    EXPECT_FALSE(m.ObjOutlook);
    EXPECT_FALSE(m.SpamClientCOM);
    EXPECT_FALSE(m.SpamClientMD5);
    EXPECT_FALSE(m.SafeMailItem);
    EXPECT_FALSE(m.objMailItem);
    EXPECT_FALSE(m.objMAPIUtil);
    EXPECT_EQ(standins::liveObjects().load(), before) << "spam client and helper objects are made per call";
}

TEST_F(Lifecycle, UnreachableOutlookMarksTheObjectForGoodWhileANewObjectTriesAgain) {
    calls().failOn("Application.create", kCannotCreate);
    auto first = create();
    BSTR name = nullptr;
    ASSERT_EQ(first->GetProfileName(&name), S_OK) << "attaching never fails the call";
    EXPECT_EQ(platform::textOf(name), u"");
    SysFreeString(name);
    EXPECT_TRUE(model(first).ObjError);

    // A later call with a valid namespace still skips the work.
    ComPtr<_MailItem> mail = mailRef(outlook().addMail(outlook().defaultFolder(6)));
    _MailItem* raw = mail.detach();
    double version = 11.0;
    VARIANT_BOOL newmail = VARIANT_FALSE;
    ASSERT_EQ(first->CheckMail(ns().get(), &raw, &version, &newmail), S_OK);
    EXPECT_EQ(raw, nullptr) << "the mail variable is cleared also when the work is skipped";
    EXPECT_EQ(model(first).Outlookversion, 0.0);
    EXPECT_TRUE(model(first).ObjError);

    auto second = create();
    ASSERT_EQ(second->GetProfileName(&name), S_OK);
    SysFreeString(name);
    EXPECT_FALSE(model(second).ObjError);
    EXPECT_EQ(calls().count("Application.create"), 2u);
}

TEST_F(Lifecycle, AFailingNamespaceOrLogonAlsoMarksTheObject) {
    for (const char* member : {"Application.GetNamespace", "Namespace.Logon"}) {
        SCOPED_TRACE(member);
        calls().failOn(member, E_FAIL);
        auto object = create();
        BSTR name = nullptr;
        ASSERT_EQ(object->GetProfileName(&name), S_OK);
        SysFreeString(name);
        EXPECT_TRUE(model(object).ObjError);
        EXPECT_FALSE(model(object).ObjNS);
        calls().clearFailures();
    }
}

TEST_F(Lifecycle, ObjectsOnOneThreadShareOneOutlookApplication) {
    auto first = create();
    auto second = create();
    BSTR name = nullptr;
    for (auto* object : {first.get(), second.get(), first.get()}) {
        ASSERT_EQ(object->GetProfileName(&name), S_OK);
        SysFreeString(name);
    }
    EXPECT_EQ(calls().count("Application.create"), 1u);
    EXPECT_EQ(calls().count("Namespace.Logon"), 3u) << "every call without a namespace logs on";
}

TEST_F(Lifecycle, FailureToCreateAPerCallObjectFailsTheCallAndSkipsUnInitCOM) {
    for (const char* which : {"SpamClientCOM.create", "SpamClientMD5.create", "KWMailItem.create"}) {
        SCOPED_TRACE(which);
        calls().failOn(which, kCannotCreate);
        auto object = create();
        const HRESULT hr = object->CreateFolder(ns().get());
        EXPECT_TRUE(FAILED(hr));
        EXPECT_TRUE(model(object).ObjNS) << "UnInitCOM did not run, so the namespace is still held";
        calls().clearFailures();
    }
}

TEST_F(Lifecycle, BlockAndUnblockClearTheCallersMailVariable) {
    auto object = create();
    for (bool block : {true, false}) {
        ComPtr<_MailItem> mail = mailRef(outlook().addMail(outlook().defaultFolder(6)));
        _MailItem* raw = mail.detach();
        double version = 10.5;
        const HRESULT hr = block ? object->BlockMail(ns().get(), &raw, &version) : object->UnBlockMail(ns().get(), &raw, &version);
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(raw, nullptr);
        EXPECT_EQ(model(object).Outlookversion, 10.5);
    }
}

}  // namespace
}  // namespace kwtest
