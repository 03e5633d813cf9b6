// The COM surface of Functions: creation by ProgID, the vtable slots of our
// interface and of the interfaces we call, the properties through the vtable
// and through IDispatch, and argument passing as script clients do it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/fixture.h"
#include "support/reference.h"
#include "support/slots.h"

namespace kwtest {
namespace {

namespace dispid = kw::identity::dispid;

TEST(Slots, OtherComponentsAreCalledInTheirSlots) {
    EXPECT_EQ(slotOf(&_SpamClientCOM::QueryVote), 7u);
    EXPECT_EQ(slotOf(&_SpamClientCOM::SubmitVote), 8u);
    EXPECT_EQ(slotOf(&_SpamClientCOM::PrepareBody), 10u);
    EXPECT_EQ(slotOf(&_SpamClientCOM::SignAttachment), 11u);
    EXPECT_EQ(slotOf(&IKWMailItem::putref_SourceItem), 8u);
    EXPECT_EQ(slotOf(&IKWMailItem::get_Fields), 9u);
    EXPECT_EQ(slotOf(&IKWMailItem::get_Attachments), 17u);
    EXPECT_EQ(slotOf(&IKWMailItem::get_Body), 20u);
    EXPECT_EQ(slotOf(&IKWMailItem::SaveAs), 22u);
    EXPECT_EQ(slotOf(&IKWMailItem::get_HTMLBody), 34u);
    EXPECT_EQ(slotOf(&IKWContactItem::get_Email1Address), 25u);
    EXPECT_EQ(slotOf(&IKWContactItem::get_Email1AddressType), 26u);
    EXPECT_EQ(slotOf(&IKWContactItem::get_Email2Address), 29u);
    EXPECT_EQ(slotOf(&IKWContactItem::get_Email3AddressType), 34u);
    EXPECT_EQ(slotOf(&IKWMAPIUtils::get_CurrentProfileName), 23u);
}

class Surface : public StandInTest {
protected:
    // IDispatch::Invoke with arguments in their natural order.
    HRESULT invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                   EXCEPINFO* info = nullptr) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
        UINT argErr = 0;
        return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, info, &argErr);
    }
};

// The properties through their vtable slots, as a client compiled against
// the interface calls them (so the slots are pinned by which value moved),
// and through IDispatch, as scripts write them with whatever type they hold.
// A Boolean keeps the bits it was given either way.
TEST_F(Surface, PropertiesKeepTheirValuesThroughTheirSlotsAndDispatch) {
    auto object = create();
    VARIANT_BOOL b = VARIANT_TRUE;
    ASSERT_EQ(callSlot(object.get(), 7, &b), S_OK);
    EXPECT_EQ(b, VARIANT_FALSE) << "members start zeroed";
    ASSERT_EQ(callSlot(object.get(), 8, VARIANT_BOOL(3)), S_OK);
    ASSERT_EQ(callSlot(object.get(), 12, VARIANT_BOOL(5)), S_OK);
    platform::Bstr work(u"Work");
    ASSERT_EQ(callSlot(object.get(), 10, work.get()), S_OK);
    EXPECT_EQ(model(object).DisableVoting.bits, 3);
    EXPECT_EQ(model(object).RecheckFolder.bits, 5);
    EXPECT_EQ(model(object).ProfileName, u"Work");

    Variant result;
    ASSERT_EQ(invoke(object.get(), dispid::DisableVoting, DISPATCH_PROPERTYGET, {}, result.put()), S_OK);
    EXPECT_EQ(result.type(), VT_BOOL);
    EXPECT_EQ(result.get()->boolVal, 3);
    ASSERT_EQ(invoke(object.get(), dispid::ProfileName, DISPATCH_PROPERTYGET, {}, result.put()), S_OK);
    EXPECT_EQ(platform::textOf(result.get()->bstrVal), u"Work");

    // A script writes a property with the named DISPID_PROPERTYPUT argument.
    Variant one;
    one.get()->vt = VT_BOOL;
    one.get()->boolVal = 1;
    ASSERT_EQ(invoke(object.get(), dispid::DisableVoting, DISPATCH_PROPERTYPUT, {*one}, nullptr), S_OK);
    ASSERT_EQ(invoke(object.get(), dispid::RecheckFolder, DISPATCH_PROPERTYPUT, {*Variant::i4(0)}, nullptr), S_OK);
    ASSERT_EQ(invoke(object.get(), dispid::ProfileName, DISPATCH_PROPERTYPUT, {*Variant::text(u"Home")}, nullptr), S_OK);
    ASSERT_EQ(callSlot(object.get(), 7, &b), S_OK);
    EXPECT_EQ(b, 1);
    ASSERT_EQ(callSlot(object.get(), 11, &b), S_OK);
    EXPECT_EQ(b, VARIANT_FALSE);
    platform::Bstr name;
    ASSERT_EQ(callSlot(object.get(), 9, name.put()), S_OK);
    EXPECT_EQ(name.text(), u"Home");
    EXPECT_EQ(calls().calls().size(), 0u) << "the properties call out to nothing";
}

TEST_F(Surface, EveryMemberAnswersByNameWithItsDispid) {
    auto object = create();
    const std::pair<const char16_t*, DISPID> members[] = {
        {u"DisableVoting", 0x40030016}, {u"profilename", 0x40030017}, {u"RecheckFolder", 0x40030018},
        {u"CheckMail", 0x60030018},     {u"BlockMail", 0x60030019},   {u"UnBlockMail", 0x6003001A},
        {u"PickFolder", 0x6003001B},    {u"GetFolderName", 0x6003001C}, {u"CreateFolder", 0x6003001D},
        {u"GetFolderPath", 0x6003001E}, {u"GetContactlist", 0x6003001F}, {u"GETPROFILENAME", 0x60030021},
    };
    for (const auto& [name, expected] : members) {
        Text n(name);
        LPOLESTR names[] = {const_cast<LPOLESTR>(platform::ole(n))};
        DISPID id = 0;
        ASSERT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << standins::utf8(n);
        EXPECT_EQ(id, expected) << standins::utf8(n);
    }
    Text unknown(u"Nonsense");
    LPOLESTR names[] = {const_cast<LPOLESTR>(platform::ole(unknown))};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    Variant result;
    EXPECT_EQ(invoke(object.get(), 0x12345, DISPATCH_METHOD, {}, result.put()), DISP_E_MEMBERNOTFOUND);
}

// A script's Call f.CheckMail(ns, Newmail:=..., OutlookVersionValue:=...,
// OutlookMail:=...): parameter names resolve to their positions, and named
// arguments reach them in any order.
TEST_F(Surface, ParametersAnswerByNameAndNamedArgumentsReachTheirPositions) {
    auto object = create();
    std::vector<Text> words = {u"checkmail", u"Newmail", u"OUTLOOKVERSIONVALUE", u"OutlookMail", u"Nonsense"};
    std::vector<LPOLESTR> names;
    for (Text& w : words) names.push_back(const_cast<LPOLESTR>(platform::ole(w)));
    DISPID ids[5] = {};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names.data(), 5, LOCALE_USER_DEFAULT, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(std::vector<DISPID>(ids, ids + 5), (std::vector<DISPID>{dispid::CheckMail, 3, 2, 1, DISPID_UNKNOWN}));

    Variant ns = Variant::dispatch(outlook().ns());
    Variant mail = Variant::dispatch(outlook().addMail(outlook().defaultFolder(6)));
    const VARIANT mailRef = reference(VT_VARIANT, mail.get());
    // rgvarg: the named arguments first, in the order of their DISPIDs, then
    // the positional ones last to first.
    VARIANT args[] = {*Variant::boolean(true).get(), *Variant::r8(7.5).get(), mailRef, *ns.get()};
    DISPID named[] = {3, 2, 1};
    DISPPARAMS params{args, named, 4, 3};
    Variant result;
    UINT argErr = 99;
    ASSERT_EQ(object->Invoke(dispid::CheckMail, IID_NULL, 0, DISPATCH_METHOD, &params, result.put(), nullptr, &argErr),
              S_OK);
    EXPECT_EQ(model(object).Outlookversion, 7.5);
    EXPECT_EQ(mail.get()->pdispVal, nullptr) << "the named mail variable is cleared";

    // A position given twice, or one the member does not have, is refused
    // and names the argument in rgvarg.
    for (DISPID twice : {1, 7}) {
        named[0] = twice;
        EXPECT_EQ(object->Invoke(dispid::CheckMail, IID_NULL, 0, DISPATCH_METHOD, &params, result.put(), nullptr, &argErr),
                  DISP_E_PARAMNOTFOUND);
        EXPECT_EQ(argErr, twice == 1 ? 2u : 0u);
    }
}

TEST_F(Surface, ScriptVariablesPassedByReferenceAreWrittenBack) {
    auto object = create();
    // As a script passes its variables: VT_BYREF | VT_VARIANT.
    Variant ns = Variant::dispatch(outlook().ns());
    Variant mail = Variant::dispatch(outlook().addMail(outlook().defaultFolder(6)));
    Variant version = Variant::r8(9.0), newmail = Variant::boolean(true);
    auto byRef = [](Variant& v) { return reference(VT_VARIANT, v.get()); };
    Variant result;
    ASSERT_EQ(invoke(object.get(), dispid::CheckMail, DISPATCH_METHOD,
                     {*ns.get(), byRef(mail), byRef(version), byRef(newmail)}, result.put()),
              S_OK);
    EXPECT_EQ(mail.type(), VT_DISPATCH);
    EXPECT_EQ(mail.get()->pdispVal, nullptr) << "the mail variable is Nothing afterwards";
    EXPECT_EQ(version.type(), VT_R8);
    EXPECT_EQ(newmail.get()->boolVal, VARIANT_TRUE);
    EXPECT_EQ(model(object).Outlookversion, 9.0);

    // Typed references of the parameter's own type work as well.
    VARIANT_BOOL spam = VARIANT_TRUE;
    BSTR folderId = platform::allocBstr(u"ID");
    VARIANT idRef = reference(VT_BSTR, &folderId);
    ASSERT_EQ(invoke(object.get(), dispid::PickFolder, DISPATCH_METHOD, {idRef, reference(VT_BOOL, &spam)}, result.put()),
              S_OK);
    EXPECT_EQ(platform::textOf(folderId), u"ID");
    EXPECT_EQ(result.type(), VT_BSTR);

    // References to references, down to a typed reference, reach the
    // caller's variable too.
    VARIANT inner = reference(VT_VARIANT, &idRef);
    ASSERT_EQ(invoke(object.get(), dispid::GetFolderName, DISPATCH_METHOD, {reference(VT_VARIANT, &inner)}, result.put()),
              S_OK);
    EXPECT_EQ(platform::textOf(folderId), u"ID");
    SysFreeString(folderId);

    double typedVersion = 9.0;
    VARIANT versionRef = reference(VT_R8, &typedVersion);
    inner.pvarVal = &versionRef;
    Variant mailVariable = Variant::dispatch(outlook().addMail(outlook().defaultFolder(6)));
    ASSERT_EQ(invoke(object.get(), dispid::BlockMail, DISPATCH_METHOD, {*ns.get(), byRef(mailVariable), inner},
                     result.put()),
              S_OK);
    EXPECT_EQ(typedVersion, 9.0);
    EXPECT_EQ(mailVariable.get()->pdispVal, nullptr);
}

TEST_F(Surface, BooleansPassedByReferenceKeepTheirBits) {
    auto object = create();
    _MailItem* mail = mailRef(outlook().addMail(outlook().defaultFolder(6))).detach();
    double version = 9;
    VARIANT_BOOL newmail = 1, spamFolder = 1, withName = 1;
    platform::Bstr id, text;
    ASSERT_EQ(object->CheckMail(ns().get(), &mail, &version, &newmail), S_OK);
    ASSERT_EQ(object->PickFolder(id.put(), &spamFolder, text.put()), S_OK);
    ASSERT_EQ(object->GetContactlist(&withName, text.put()), S_OK);
    EXPECT_EQ(newmail, 1);
    EXPECT_EQ(spamFolder, 1);
    EXPECT_EQ(withName, 1);
}

TEST_F(Surface, ArgumentsAreCheckedLikeAutomationDoes) {
    auto object = create();
    Variant result;
    EXPECT_EQ(invoke(object.get(), dispid::GetFolderName, DISPATCH_METHOD, {}, result.put()), DISP_E_BADPARAMCOUNT);
    LONG number = 3;
    EXPECT_EQ(invoke(object.get(), dispid::GetFolderName, DISPATCH_METHOD, {reference(VT_I4, &number)}, result.put()),
              DISP_E_TYPEMISMATCH);
    // Optional arguments may be left out or passed as omitted.
    EXPECT_EQ(invoke(object.get(), dispid::GetContactlist, DISPATCH_METHOD, {}, result.put()), S_OK);
    EXPECT_EQ(invoke(object.get(), dispid::CreateFolder, DISPATCH_METHOD, {*Variant::missing().get()}, result.put()), S_OK);
    EXPECT_EQ(calls().count("Application.create"), 1u) << "CreateFolder without a namespace attaches to Outlook";
    // The namespace of the mail methods is not optional.
    Variant mail = Variant::dispatch(nullptr), version = Variant::r8(9), newmail = Variant::boolean(false);
    EXPECT_EQ(invoke(object.get(), dispid::CheckMail, DISPATCH_METHOD,
                     {*Variant::missing().get(), *mail.get(), *version.get(), *newmail.get()}, result.put()),
              DISP_E_PARAMNOTOPTIONAL);
    for (DISPID id : {dispid::BlockMail, dispid::UnBlockMail})
        EXPECT_EQ(invoke(object.get(), id, DISPATCH_METHOD, {*Variant::missing().get(), *mail.get(), *version.get()},
                         result.put()),
                  DISP_E_PARAMNOTOPTIONAL);
}

TEST_F(Surface, AFailingMethodReturnsItsErrorThroughExcepInfo) {
    calls().failOn("KWMailItem.create", E_FAIL);
    auto object = create();
    Variant result;
    EXCEPINFO info{};
    const HRESULT hr = invoke(object.get(), dispid::GetProfileName, DISPATCH_METHOD, {}, result.put(), &info);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_TRUE(FAILED(info.scode));
    EXPECT_FALSE(platform::textOf(info.bstrDescription).empty());
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
}

TEST_F(Surface, OnlyTheFunctionsInterfacesAreAnswered) {
    auto object = create();
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(object.query(support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(kw::identity::IID__Functions), S_OK);
    ComPtr<IClassFactory> notThere;
    EXPECT_EQ(object.query(notThere), E_NOINTERFACE);
}

}  // namespace
}  // namespace kwtest
