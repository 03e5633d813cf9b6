// The per-call lifecycle of Functions: attaching to Outlook, the per-call
// objects, the sticky ObjError flag and the caller's mail variable.
#include <gtest/gtest.h>

#include <thread>

#include "support/calls.h"
#include "support/slots.h"

namespace kwtest {
namespace {

using ::testing::ElementsAre;

class Lifecycle : public CallTest {};

constexpr HRESULT kCannotCreate = static_cast<HRESULT>(0x80080005u);  // CO_E_SERVER_EXEC_FAILURE
_NameSpace* const kNoNamespace = nullptr;

TEST_F(Lifecycle, CallWithNamespaceMakesNoLogonAndTakesNoApplication) {
    bool cleared = false;
    ASSERT_EQ(checkMail(receive(u"text"), VARIANT_TRUE, &cleared), S_OK);
    EXPECT_TRUE(cleared) << "the caller's mail variable comes back empty";
    EXPECT_EQ(calls().count("Application"), 0u);
    EXPECT_EQ(calls().count("Namespace.Logon"), 0u);
    EXPECT_THAT(calls().callsTo({"SpamClientCOM.create", "SpamClientMD5.create", "KWMailItem.create"}),
                ElementsAre("SpamClientCOM.create()", "SpamClientMD5.create()", "KWMailItem.create()"));
    EXPECT_EQ(model(object).Outlookversion, 9.0);
}

TEST_F(Lifecycle, CallWithoutNamespaceAttachesAndLogsOnWithOmittedArguments) {
    profileName(object.get());
    const std::vector<std::string> start(calls().calls().begin(), calls().calls().begin() + 6);
    EXPECT_THAT(start, ElementsAre("Application.create()", "Application.GetNamespace(\"MAPI\")",
                                   "Namespace.Logon(missing, missing, missing, missing)", "SpamClientCOM.create()",
                                   "SpamClientMD5.create()", "KWMailItem.create()"));
    EXPECT_FALSE(model(object).ObjError);
}

TEST_F(Lifecycle, PerCallObjectsAreReleasedAfterEveryCall) {
    outlook().addFolder(outlook().defaultStore(), u"Kestrelwood");  // so that no folder is made
    const long before = standins::liveObjects();
    byId(false, u"x");
    ASSERT_EQ(createFolder(), S_OK);
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
    ComPtr<_Functions>& first = object;
    EXPECT_EQ(profileName(first.get()), u"") << "attaching never fails the call";
    EXPECT_TRUE(model(first).ObjError);

    // A later call with a valid namespace still skips the work.
    bool cleared = false;
    ASSERT_EQ(checkMail(receive(u"text"), VARIANT_FALSE, &cleared), S_OK);
    EXPECT_TRUE(cleared) << "the mail variable is cleared also when the work is skipped";
    EXPECT_EQ(model(first).Outlookversion, 0.0);
    EXPECT_TRUE(model(first).ObjError);

    // Every call without a namespace tries to attach again; the object stays
    // marked even when that succeeds.
    calls().clearFailures();
    profileName(first.get());
    EXPECT_TRUE(model(first).ObjError);
    EXPECT_EQ(calls().count("Application.create"), 2u);
    EXPECT_EQ(calls().count("Namespace.Logon"), 1u);

    auto second = create();
    profileName(second.get());
    EXPECT_FALSE(model(second).ObjError);
    EXPECT_TRUE(env().reports.empty()) << "a failed attach is no error to report";
}

TEST_F(Lifecycle, AFailingNamespaceOrLogonAlsoMarksTheObjectWithoutAReport) {
    for (const char* member : {"Application.GetNamespace", "Namespace.Logon"}) {
        SCOPED_TRACE(member);
        calls().failOn(member, E_FAIL);
        auto made = create();
        profileName(made.get());
        EXPECT_TRUE(model(made).ObjError);
        EXPECT_FALSE(model(made).ObjNS);
        calls().clearFailures();
    }
    EXPECT_TRUE(env().reports.empty());
}

TEST_F(Lifecycle, ObjectsOnOneThreadShareOneOutlookApplicationAndAnotherThreadHasItsOwn) {
    ComPtr<_Functions>& first = object;
    auto second = create();
    for (auto* made : {first.get(), second.get(), first.get()}) profileName(made);
    EXPECT_EQ(calls().count("Application.create"), 1u);
    EXPECT_EQ(calls().count("Namespace.Logon"), 3u) << "every call without a namespace logs on";
    std::thread other([&] {
        auto third = create();
        profileName(third.get());
        third.reset();  // that thread's last object releases its application
    });
    other.join();
    EXPECT_EQ(calls().count("Application.create"), 2u);
    // The thread's application lives as long as one of its objects does.
    auto* application = outlook().application();
    EXPECT_EQ(application->refCount(), 2u) << "the world's reference and this thread's";
    first.reset();
    EXPECT_EQ(application->refCount(), 2u);
    second.reset();
    EXPECT_EQ(application->refCount(), 1u) << "released with the thread's last Functions object";
}

// A failure to create a per-call object fails every method: InitCOM and the
// method report it, the creations after it are not attempted, UnInitCOM does
// not run (the namespace is still held), and the caller's mail variable is
// not cleared. The same holds while ObjError is set.
TEST_F(Lifecycle, AFailingCreationFailsEveryMethodBeforeItsWork) {
    // Each method is called through its slot, as a client compiled against
    // the interface calls it: the method that reports also pins the slot.
    using Method = HRESULT (*)(_Functions*, _MailItem**);
    const std::pair<const char*, Method> methods[] = {
        {"CheckMail", [](_Functions* f, _MailItem** mail) {
             double version = 9;
             VARIANT_BOOL newmail = VARIANT_TRUE;
             return callSlot(f, 13, kNoNamespace, mail, &version, &newmail);
         }},
        {"BlockMail", [](_Functions* f, _MailItem** mail) { double v = 9; return callSlot(f, 14, kNoNamespace, mail, &v); }},
        {"UnBlockMail", [](_Functions* f, _MailItem** mail) { double v = 9; return callSlot(f, 15, kNoNamespace, mail, &v); }},
        {"PickFolder", [](_Functions* f, _MailItem**) {
             platform::Bstr id, text;
             VARIANT_BOOL spam = VARIANT_TRUE;
             return callSlot(f, 16, id.put(), &spam, text.put());
         }},
        {"GetFolderName", [](_Functions* f, _MailItem**) { platform::Bstr id, t; return callSlot(f, 17, id.put(), t.put()); }},
        {"CreateFolder", [](_Functions* f, _MailItem**) { return callSlot(f, 18, kNoNamespace); }},
        {"GetFolderPath", [](_Functions* f, _MailItem**) { platform::Bstr id, t; return callSlot(f, 19, id.put(), t.put()); }},
        {"GetContactlist", [](_Functions* f, _MailItem**) {
             platform::Bstr t;
             return callSlot(f, 20, static_cast<VARIANT_BOOL*>(nullptr), t.put());
         }},
        {"GetProfileName", [](_Functions* f, _MailItem**) { platform::Bstr t; return callSlot(f, 21, t.put()); }},
    };
    const char* creations[] = {"SpamClientCOM.create", "SpamClientMD5.create", "KWMailItem.create"};
    for (bool attached : {true, false}) {
        for (const auto& [method, call] : methods) {
            for (std::size_t failing = 0; failing < 3; ++failing) {
                SCOPED_TRACE(std::string(method) + ", " + creations[failing] + (attached ? "" : ", ObjError set"));
                auto made = create();
                if (!attached) {
                    calls().failOn("Application.GetNamespace", E_FAIL);
                    platform::Bstr name;
                    ASSERT_EQ(made->GetProfileName(name.put()), S_OK);
                    ASSERT_TRUE(model(made).ObjError);
                }
                calls().clearFailures();
                calls().clear();
                env().reports.clear();
                calls().failOn(creations[failing], kCannotCreate);
                ComPtr<_MailItem> mail = mailRef(outlook().addMail(outlook().defaultFolder(6)));
                _MailItem* raw = mail.get();
                raw->AddRef();
                EXPECT_EQ(call(made.get(), &raw), kFailed65535);
                EXPECT_EQ(raw, mail.get()) << "the caller's mail variable is not cleared";
                if (raw != nullptr) raw->Release();
                EXPECT_EQ(calls().callsTo({"SpamClientCOM.create", "SpamClientMD5.create", "KWMailItem.create"}).size(),
                          failing + 1)
                    << "no creation after the failing one";
                ASSERT_EQ(env().reports.size(), 2u);
                EXPECT_EQ(env().reports[0].procedure, u"InitCOM");
                EXPECT_EQ(env().reports[0].number, static_cast<std::int32_t>(kCannotCreate));
                EXPECT_EQ(standins::utf8(env().reports[1].procedure), method);
                if (attached) {
                    EXPECT_TRUE(model(made).ObjNS) << "UnInitCOM did not run, so the namespace is still held";
                }
                calls().clearFailures();
            }
        }
    }
}

}  // namespace
}  // namespace kwtest
