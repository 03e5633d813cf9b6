// What the tests of the public methods share: received mail and contacts in
// the in-memory Outlook, the public calls made as the add-in makes them
// (through the vtable; the mail methods with its namespace), and the settings
// they read and write.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "settings/RegRW.h"
#include "support/fixture.h"

namespace kwtest {

inline constexpr char16_t kClientSettings[] = u"Software\\Kestrelwood\\Clients\\Outlook\\Settings";
inline constexpr char16_t kRecheckKey[] = u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck";
inline constexpr char16_t kThresholdKey[] = u"Software\\Kestrelwood\\Thresholds";
inline constexpr char16_t kFoldersKey[] = u"Software\\Kestrelwood\\Clients\\Outlook\\Settings\\Folders";

// The spam client votes this for a mail whose text holds this word.
inline constexpr char16_t kSpamWord[] = u"lottery";

class CallTest : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        inbox = outlook().defaultFolder(6);
        env().spam.vote = [](const Text& message, bool) { return message.find(kSpamWord) != Text::npos ? 90 : 10; };
        object = create();
    }
    void TearDown() override {
        object.reset();
        StandInTest::TearDown();
    }
    // A fresh world for the next case of a table: the checks of the end of a
    // test run for the case before.
    void again() {
        TearDown();
        SetUp();
    }

    // A received mail in `folder` (the Inbox by default) whose body is `body`.
    standins::MailItem* receive(const Text& body, standins::Folder* folder = nullptr) {
        standins::MailItem* mail = outlook().addMail(folder != nullptr ? folder : inbox);
        mail->properties[kw::mailhelper::PR_HEADERS] =
            Variant::text(u"From: someone@example.org\r\nSubject: Hello\r\nContent-Type: text/plain\r\n\r\n");
        mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"Hello");
        mail->body = body;
        return mail;
    }
    static void exchange(standins::MailItem* mail, const Text& receiverType, const Text& senderType,
                         const Text& receiver, const Text& sender) {
        namespace mh = kw::mailhelper;
        mail->properties[mh::PR_RCVD_REPRESENTING_ADDRTYPE] = Variant::text(receiverType);
        mail->properties[mh::PR_SENT_REPRESENTING_ADDRTYPE] = Variant::text(senderType);
        mail->properties[mh::PR_RCVD_REPRESENTING_EMAIL_ADDRESS] = Variant::text(receiver);
        mail->properties[mh::PR_SENT_REPRESENTING_EMAIL_ADDRESS] = Variant::text(sender);
    }

    // The public calls; `cleared` tells whether the caller's mail variable
    // came back empty.
    HRESULT checkMail(standins::MailItem* mail, VARIANT_BOOL newmail = VARIANT_TRUE, bool* cleared = nullptr) {
        return withMail(mail, cleared, [&](_MailItem** variable, double* version) {
            return object->CheckMail(ns().get(), variable, version, &newmail);
        });
    }
    HRESULT block(standins::MailItem* mail, bool* cleared = nullptr) {
        return withMail(mail, cleared, [&](_MailItem** variable, double* version) {
            return object->BlockMail(ns().get(), variable, version);
        });
    }
    HRESULT unblock(standins::MailItem* mail, bool* cleared = nullptr) {
        return withMail(mail, cleared, [&](_MailItem** variable, double* version) {
            return object->UnBlockMail(ns().get(), variable, version);
        });
    }
    HRESULT createFolder() { return object->CreateFolder(ns().get()); }
    // PickFolder with the user choosing `chosen` (null: Cancel); the caller's
    // FolderID and flag are never changed.
    Text pick(standins::Folder* chosen, VARIANT_BOOL spamFolder, HRESULT* hr = nullptr) {
        outlook().pickAnswer = chosen;
        platform::Bstr id(u"unchanged"), result;
        BSTR slot = id.detach();
        VARIANT_BOOL flag = spamFolder;
        const HRESULT got = object->PickFolder(&slot, &flag, result.put());
        id = platform::Bstr::attach(slot);
        EXPECT_EQ(id.text(), u"unchanged");
        EXPECT_EQ(flag, spamFolder);
        return checked(got, hr, result);
    }
    // GetFolderPath or GetFolderName; the caller's FolderID is never changed.
    Text byId(bool path, const Text& id, HRESULT* hr = nullptr) {
        platform::Bstr result;
        BSTR slot = platform::allocBstr(id);
        const HRESULT got = path ? object->GetFolderPath(&slot, result.put()) : object->GetFolderName(&slot, result.put());
        EXPECT_EQ(platform::Bstr::attach(slot).text(), id);
        return checked(got, hr, result);
    }
    Text contacts(VARIANT_BOOL* withName, HRESULT* hr = nullptr) {
        platform::Bstr result;
        return checked(object->GetContactlist(withName, result.put()), hr, result);
    }
    Text contacts(bool withName) {
        VARIANT_BOOL flag = withName ? VARIANT_TRUE : VARIANT_FALSE;
        return contacts(&flag);
    }
    // A contact in `folder` with its (type, address) pairs.
    standins::ContactItem* contact(standins::Folder* folder, const Text& name,
                                   std::initializer_list<std::pair<Text, Text>> addresses) {
        standins::ContactItem* c = outlook().addContact(folder, name);
        int slot = 0;
        for (const auto& [type, address] : addresses) {
            c->addressType[slot] = type;
            c->address[slot++] = address;
        }
        return c;
    }

    // Settings, as the rest of the client writes and reads them.
    static void setNumber(const Text& key, const Text& name, std::int32_t value) {
        kw::RegRW::RegWrite(key, name, u"D", Variant::i4(value), false, Text(), platform::root::CurrentUser);
    }
    static void setText(const Text& key, const Text& name, const Text& value) {
        kw::RegRW::RegWrite(key, name, u"S", Variant::text(value), false, Text(), platform::root::CurrentUser);
    }
    static std::int32_t number(const Text& key, const Text& name) {
        const Text digits = kw::RegRW::RegRead(key, name, u"D", false, Text(), platform::root::CurrentUser);
        return static_cast<std::int32_t>(std::stol(standins::utf8(digits)));
    }
    static Text text(const Text& key, const Text& name) {
        return kw::RegRW::RegRead(key, name, u"S", false, Text(), platform::root::CurrentUser);
    }
    // The spam folder identity stored for the profile (the object's
    // ProfileName, empty by default).
    static Text storedFolderId() { return text(kFoldersKey, u"Filter"); }
    static void storeFolderId(const Text& id) { setText(kFoldersKey, u"Filter", id); }
    std::int32_t checked() { return number(kRecheckKey, u"Mails checked"); }
    std::int32_t spamCounted() { return number(kRecheckKey, u"Mails spam"); }

    // The folder "Kestrelwood" below the default store's top folder, if any.
    standins::Folder* spamFolder() {
        standins::Folder* found = nullptr;
        for (standins::Folder* f : outlook().defaultStore()->subfolders)
            if (f->displayName == u"Kestrelwood") {
                EXPECT_EQ(found, nullptr) << "the spam folder exists twice";
                found = f;
            }
        return found;
    }

    standins::Folder* inbox = nullptr;
    ComPtr<_Functions> object;

private:
    // The text a call gave; its result goes to `hr` when asked for, and must
    // be S_OK otherwise.
    static Text checked(HRESULT got, HRESULT* hr, const platform::Bstr& result) {
        if (hr != nullptr) *hr = got;
        else EXPECT_EQ(got, S_OK);
        return result.text();
    }
    template <class Call>
    HRESULT withMail(standins::MailItem* mail, bool* cleared, Call call) {
        _MailItem* variable = mail == nullptr ? nullptr : mailRef(mail).detach();
        double version = 9.0;
        const HRESULT hr = call(&variable, &version);
        if (cleared != nullptr) *cleared = variable == nullptr;
        if (variable != nullptr) variable->Release();
        return hr;
    }
};

}  // namespace kwtest
