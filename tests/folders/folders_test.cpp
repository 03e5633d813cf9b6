// Folder picking under the spam folder's rules, folder names and paths, the
// contact list and the profile name, through the COM surface.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>

#include "platform/messagebox.h"
#include "support/calls.h"

namespace kwtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Folders : public CallTest {
protected:
    void SetUp() override {
        CallTest::SetUp();
        platform::setMessageBoxPresenter([this](const Text& text, const Text& title, UINT style) {
            boxes.push_back({text, title, style});
            return IDOK;
        });
    }
    void TearDown() override {
        platform::setMessageBoxPresenter({});
        CallTest::TearDown();
    }

    struct Box {
        Text text, title;
        UINT style;
    };
    std::vector<Box> boxes;
};

TEST_F(Folders, ASpamFolderCannotBeTheInboxATopFolderOrADefaultFolder) {
    standins::Folder* archiveInbox = outlook().addFolder(outlook().addStore(u"Archive"), u"Inbox");
    standins::Folder* ordinary = outlook().addFolder(inbox, u"Junk");
    struct Case {
        const char* what;
        standins::Folder* chosen;
        bool spamFolder;
        bool accepted;
        const char16_t* message;  // null: no box
    };
    const Text inboxMessage = u"You can't choose your Inbox folder as storage folder for spammails";
    const Case cases[] = {
        {"any folder when not for spam: the Inbox", inbox, false, true, nullptr},
        {"any folder when not for spam: a top folder", outlook().defaultStore(), false, true, nullptr},
        {"any folder when not for spam: Tasks", outlook().defaultFolder(13), false, true, nullptr},
        {"the Inbox", inbox, true, false, inboxMessage.c_str()},
        {"the Inbox of another store", archiveInbox, true, true, nullptr},
        {"the mailbox", outlook().defaultStore(), true, false, u"You can't select \"Mailbox\" as storage folder for spammails"},
        {"Sent Items", outlook().defaultFolder(5), true, false, u"You can't select \"Sent Items\" as storage folder for spammails"},
        {"Tasks", outlook().defaultFolder(13), true, false, u"You can't select \"Tasks\" as storage folder for spammails"},
        {"Calendar", outlook().defaultFolder(9), true, false, u"You can't select \"Calendar\" as storage folder for spammails"},
        {"Deleted Items", outlook().defaultFolder(3), true, true, nullptr},
        {"an ordinary folder", ordinary, true, true, nullptr},
        {"Cancel", nullptr, true, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        const Text result = pick(c.chosen, c.spamFolder ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_EQ(result, c.accepted ? c.chosen->entryId : Text());
        if (c.message == nullptr) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, c.message);
            EXPECT_EQ(boxes[0].title, u"Kestrelwood");
            EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK)) << "OK only, no icon";
        }
    }
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(Folders, PickingActivatesTheExplorerFirstAndReadsEveryIdentityBeforeComparing) {
    standins::Folder* junk = outlook().addFolder(outlook().defaultStore(), u"Junk");
    calls().clear();
    EXPECT_EQ(pick(junk, VARIANT_TRUE), junk->entryId);
    // After the attach (no namespace is passed) and the per-call objects:
    std::vector<std::string> outlookCalls = calls().callsTo({"Namespace", "Application", "Explorer", "Folder"});
    outlookCalls.erase(outlookCalls.begin(), outlookCalls.begin() + 3);
    ASSERT_GE(outlookCalls.size(), 7u);
    EXPECT_THAT(std::vector<std::string>(outlookCalls.begin(), outlookCalls.begin() + 7),
                ElementsAre("Namespace.Application()", "Application.ActiveExplorer()", "Explorer.Activate()",
                            "Namespace.PickFolder()", "Namespace.GetDefaultFolder(6)", "Folder(Junk).EntryID()",
                            "Folder(Inbox).EntryID()"));
    // Then the store-top test and the eight pairs, in the table's order.
    const std::vector<std::string> defaults = calls().callsTo({"Namespace.GetDefaultFolder("});
    EXPECT_THAT(defaults, ElementsAre("Namespace.GetDefaultFolder(6)", "Namespace.GetDefaultFolder(9)",
                                      "Namespace.GetDefaultFolder(10)", "Namespace.GetDefaultFolder(16)",
                                      "Namespace.GetDefaultFolder(11)", "Namespace.GetDefaultFolder(12)",
                                      "Namespace.GetDefaultFolder(4)", "Namespace.GetDefaultFolder(5)",
                                      "Namespace.GetDefaultFolder(13)"));
    EXPECT_EQ(calls().count("Folder(Junk).EntryID"), 10u) << "read for the Inbox test, each pair and the result";
}

TEST_F(Folders, ARefusedFolderIsNamedOnlyAfterItWasRefusedAndAFailingBoxChangesNothing) {
    calls().clear();
    EXPECT_EQ(pick(outlook().defaultFolder(4), VARIANT_TRUE), u"");
    EXPECT_EQ(calls().callsTo({"Folder(Outbox)."}).back(), "Folder(Outbox).Name()");
    // A box that cannot be shown is ignored: the result stays empty, no error.
    platform::setMessageBoxPresenter([](const Text&, const Text&, UINT) -> int { kw::raise(kw::err::InternalError); });
    HRESULT hr = E_FAIL;
    EXPECT_EQ(pick(inbox, VARIANT_TRUE, &hr), u"");
    EXPECT_EQ(hr, S_OK);
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(Folders, AFolderNameComesFromItsIdentityAndAnUnresolvedOneIsEmpty) {
    standins::Folder* junk = outlook().addFolder(outlook().defaultStore(), u"Junk");
    EXPECT_EQ(byId(false, junk->entryId), u"Junk");
    EXPECT_EQ(byId(false, u""), u"");
    EXPECT_EQ(byId(false, u"0000DEAD"), u"");
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(Folders, APathRunsFromTheTopFolderWithASlashAfterEachName) {
    standins::Folder* spam = outlook().addFolder(inbox, u"Spam");
    standins::Folder* two = outlook().addFolder(inbox, u"a\\\\b");
    standins::Folder* three = outlook().addFolder(inbox, u"a\\\\\\b");
    standins::Folder* one = outlook().addFolder(inbox, u"c\\d/e");
    EXPECT_EQ(byId(true, outlook().defaultStore()->entryId), u"Mailbox/");
    EXPECT_EQ(byId(true, inbox->entryId), u"Mailbox/Inbox/");
    EXPECT_EQ(byId(true, spam->entryId), u"Mailbox/Inbox/Spam/");
    EXPECT_EQ(byId(true, two->entryId), u"Mailbox/Inbox/ab/") << "a pair of backslashes is removed";
    EXPECT_EQ(byId(true, three->entryId), u"Mailbox/Inbox/a\\b/") << "of three, one stays";
    EXPECT_EQ(byId(true, one->entryId), u"Mailbox/Inbox/c\\d/e/") << "one stays, a slash is not escaped";
    EXPECT_EQ(byId(true, u"0000DEAD"), u"");
    EXPECT_THAT(env().reports, IsEmpty());
}

// Every step of the walk ignores its failure; the path shows it.
TEST_F(Folders, AFailingStepOfTheWalkShowsInThePathAndIsNeverReported) {
    standins::Folder* spam = outlook().addFolder(inbox, u"Spam");
    struct Case {
        const char* what;
        const char* failing;
        int call;
        bool always;
        const char16_t* path;
    };
    const Case cases[] = {
        {"a name that cannot be read", "Folder(Inbox).Name", 1, false, u"Mailbox/Spam/"},
        {"the loop test on the top folder", "Folder(Mailbox).EntryID", 3, false, u"Mailbox/Mailbox/Inbox/Spam/"},
        {"the identity kept on the top folder", "Folder(Mailbox).EntryID", 2, false, u"Mailbox/Mailbox/Inbox/Spam/"},
        {"the parent below the top", "Folder(Inbox).Parent", 1, false, u"Inbox/Spam/"},
        {"an identity that keeps failing, with no parent", "Folder(Inbox).EntryID", 1, true, u"Inbox/Spam/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls().clearFailures();
        calls().failOn(c.failing, E_FAIL, c.call, !c.always);
        if (c.always) calls().failOn("Folder(Inbox).Parent", E_FAIL, 1, false);
        EXPECT_EQ(byId(true, spam->entryId), c.path);
    }
    EXPECT_THAT(env().reports, IsEmpty());
}

// Each name is looked up once per object: GetNamespace and Logon to attach,
// GetFolderFromID, then the identity (read twice), name and parent of every
// folder passed.
TEST_F(Folders, ADeepChainIsWalkedToTheTop) {
    standins::Folder* folder = inbox;
    Text expected = u"Mailbox/Inbox/";
    for (int depth = 0; depth < 10000; ++depth) {
        folder = outlook().addFolder(folder, u"f");
        expected += u"f/";
    }
    calls().recording = false;
    EXPECT_EQ(byId(true, folder->entryId), expected);
    calls().recording = true;
    EXPECT_EQ(calls().lookups(), 3u + 3u * 10002u);
}

// Parents that run in a circle happen only in a broken store, but the walk
// must end there all the same: at the first folder it passed before, or,
// when no identity can be read, after its depth limit.
TEST_F(Folders, AParentChainInACircleEnds) {
    standins::Folder* a = outlook().addFolder(inbox, u"a");
    standins::Folder* b = outlook().addFolder(a, u"b");
    a->parent = b;
    EXPECT_EQ(byId(true, b->entryId), u"a/b/");

    calls().recording = false;
    calls().failOn("Folder(a).EntryID", E_FAIL, 1, false);
    calls().failOn("Folder(b).EntryID", E_FAIL, 1, false);
    const Text path = byId(true, b->entryId);
    calls().recording = true;
    EXPECT_EQ(path.size(), 100000u * 2u) << "a name and its slash per folder, up to the depth limit";
    EXPECT_EQ(path.substr(path.size() - 4), u"a/b/");
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(Folders, ContactsAreListedAsBarredEntriesWithOrWithoutNames) {
    standins::Folder* book = outlook().defaultFolder(10);
    contact(book, u" Ann Smith ", {{u"SMTP", u" ann@example.org "}, {u"EX", u"/o=Org/cn=ann"}, {u"SMTP", u"ann@home.example"}});
    contact(book, u"", {{u"SMTP", u"nameless@example.org"}});
    contact(book, u"Bob", {{u"FAX", u"12345"}, {u"SMTP", u"bob@example.org"}});
    contact(book, u"Carol", {{u"smtp", u"carol@example.org"}, {u"SMTP", u"   "}});
    contact(book, u"Dup", {{u"SMTP", u"ann@example.org"}});
    standins::Folder* friends = outlook().addFolder(book, u"Friends");
    contact(friends, u"Eve", {{u"SMTP", u"eve@example.org"}});
    contact(outlook().addFolder(friends, u"Old"), u"Zed", {{u"SMTP", u"zed@example.org"}});

    EXPECT_EQ(contacts(false),
              u"|ann@example.org||ann@home.example||nameless@example.org||bob@example.org||ann@example.org||eve@example.org|");
    EXPECT_EQ(calls().count("ContactItem(Bob).FullName"), 0u) << "a name nobody shows is not read";
    const Text nul(1, u'\0');
    EXPECT_EQ(contacts(true), u"|ann@example.org" + nul + u"Ann Smith||ann@home.example" + nul + u"Ann Smith||nameless@example.org" +
                                  nul + u"||bob@example.org" + nul + u"Bob||ann@example.org" + nul + u"Dup||eve@example.org" +
                                  nul + u"Eve|");
    EXPECT_EQ(calls().count("ContactItem(Carol).FullName"), 0u) << "no SMTP address: its name is not read";
    EXPECT_EQ(contacts(nullptr), contacts(false)) << "an omitted WithName lists without names";
    for (standins::Folder* f : {book, friends, friends->subfolders.front()}) f->items.clear();
    EXPECT_EQ(contacts(true), u"") << "an empty book lists nothing at all";
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(Folders, ContactsAreReadItemByItemWithANewHelperPerFolder) {
    standins::Folder* book = outlook().defaultFolder(10);
    contact(book, u"Ann", {{u"EX", u"x"}, {u"SMTP", u"ann@example.org"}});
    contact(outlook().addFolder(book, u"Friends"), u"Eve", {});
    calls().clear();
    VARIANT_BOOL withName = VARIANT_TRUE;
    contacts(&withName);
    EXPECT_THAT(calls().callsTo({"Namespace.GetDefaultFolder", "Folder(", "Items", "KWContactItem", "ContactItem", "Folders"}),
                ElementsAre("Namespace.GetDefaultFolder(10)", "KWContactItem.create()", "Folder(Contacts).Items()",
                            "Items(Contacts).GetFirst()", "KWContactItem.SourceItem(ContactItem(Ann))",
                            "KWContactItem.Email1AddressType()", "KWContactItem.Email2AddressType()",
                            "KWContactItem.Email2Address()", "ContactItem(Ann).FullName()",
                            "KWContactItem.Email3AddressType()", "Items(Contacts).GetNext()", "Folder(Contacts).Folders()",
                            "Folders(Contacts)._NewEnum()", "KWContactItem.create()", "Folder(Friends).Items()",
                            "Items(Friends).GetFirst()", "KWContactItem.SourceItem(ContactItem(Eve))",
                            "KWContactItem.Email1AddressType()", "KWContactItem.Email2AddressType()",
                            "KWContactItem.Email3AddressType()", "Items(Friends).GetNext()"));
}

TEST_F(Folders, EachProfileNameCallHasItsOwnUtilityObject) {
    env().profileName = u"Work";
    platform::Bstr name;
    ASSERT_EQ(object->GetProfileName(name.put()), S_OK);
    EXPECT_EQ(name.text(), u"Work");
    ASSERT_EQ(object->GetProfileName(name.put()), S_OK);
    EXPECT_EQ(calls().count("KWMAPIUtils.create"), 2u);
    EXPECT_FALSE(model(object).objMAPIUtil);
}

TEST_F(Folders, WithoutOutlookEveryMethodGivesEmptyTextAndCallsNothingMore) {
    calls().failOn("Application.create", E_FAIL, 1, false);
    contact(outlook().defaultFolder(10), u"Ann", {{u"SMTP", u"ann@example.org"}});
    EXPECT_EQ(pick(outlook().defaultFolder(3), VARIANT_TRUE), u"");
    EXPECT_EQ(byId(true, outlook().defaultFolder(3)->entryId), u"");
    EXPECT_EQ(contacts(true), u"");
    EXPECT_EQ(profileName(object.get()), u"");
    EXPECT_EQ(calls().count("Namespace"), 0u);
    EXPECT_EQ(calls().count("KWMAPIUtils"), 0u);
    EXPECT_THAT(env().reports, IsEmpty());
}

// A failure at each outward call: reported (by which procedures) or not, and
// what the caller gets.
struct Injection {
    const char* method;
    const char* member;
    int call;
    std::vector<const char16_t*> reports;
};

class FolderFailures : public Folders, public ::testing::WithParamInterface<Injection> {};

TEST_P(FolderFailures, AreReportedOrIgnoredStepByStep) {
    const Injection& in = GetParam();
    standins::Folder* book = outlook().defaultFolder(10);
    contact(book, u"Ann", {{u"SMTP", u"ann@example.org"}, {u"SMTP", u"ann2@example.org"}});
    contact(outlook().addFolder(book, u"Friends"), u"Eve", {{u"SMTP", u"eve@example.org"}});
    standins::Folder* junk = outlook().addFolder(outlook().defaultStore(), u"Junk");
    calls().failOn(in.member, E_FAIL, in.call);

    const std::string method = in.method;
    HRESULT hr = S_OK;
    Text result;
    if (method == "PickFolder") result = pick(junk, VARIANT_TRUE, &hr);
    else if (method == "GetFolderName") result = byId(false, junk->entryId, &hr);
    else if (method == "GetFolderPath") result = byId(true, junk->entryId, &hr);
    else if (method == "GetContactlist") result = contacts(nullptr, &hr);
    else {
        platform::Bstr name;
        hr = object->GetProfileName(name.put());
        result = name.text();
    }

    Chain expected;
    for (std::size_t i = 0; i < in.reports.size(); ++i)
        expected.emplace_back(in.reports[i], i == 0 ? static_cast<std::int32_t>(E_FAIL) : 65535);
    EXPECT_EQ(reportChain(), expected);
    EXPECT_EQ(hr, in.reports.empty() ? S_OK : kFailed65535);
    if (!in.reports.empty()) {
        EXPECT_EQ(result, u"") << "no partial result";
        EXPECT_TRUE(boxes.empty()) << "no message box of the folder rules";
    }
    if (method == "GetFolderPath") {
        EXPECT_THAT(standins::utf8(result), ::testing::EndsWith("Junk/"));
    }
}

const std::vector<const char16_t*> kNone;
INSTANTIATE_TEST_SUITE_P(
    EveryOutwardCall, FolderFailures,
    ::testing::Values(Injection{"PickFolder", "Namespace.Application", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Application.ActiveExplorer", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Explorer.Activate", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Namespace.PickFolder", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Namespace.GetDefaultFolder", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Folder(Junk).EntryID", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Folder(Inbox).EntryID", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Folder(Junk).Parent", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Folder(Mailbox).[default]", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Namespace.GetDefaultFolder", 9, {u"PickFolder"}},
                      Injection{"PickFolder", "Folder(Tasks).EntryID", 1, {u"PickFolder"}},
                      Injection{"PickFolder", "Folder(Junk).EntryID", 10, {u"PickFolder"}},
                      Injection{"GetFolderName", "Namespace.GetFolderFromID", 1, kNone},
                      Injection{"GetFolderName", "Folder(Junk).Name", 1, {u"GetFolderName"}},
                      Injection{"GetFolderPath", "Folder(Mailbox).Name", 1, kNone},
                      Injection{"GetFolderPath", "Folder(Junk).Parent", 1, kNone},
                      Injection{"GetFolderPath", "Folder(Junk).EntryID", 2, kNone},
                      Injection{"GetContactlist", "Namespace.GetDefaultFolder", 1, kNone},
                      Injection{"GetContactlist", "KWContactItem.create", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "Folder(Contacts).Items", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "Items.GetFirst", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "Items.GetNext", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "KWContactItem.SourceItem", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "KWContactItem.Email2AddressType", 1,
                                {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "KWContactItem.Email2Address", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "ContactItem.FullName", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetContactlist", "Folder(Contacts).Folders", 1, {u"GetContactlist"}},
                      Injection{"GetContactlist", "Folders._NewEnum", 1, {u"GetContactlist"}},
                      Injection{"GetContactlist", "Folder(Friends).Items", 1, {u"GetContactFolderContent", u"GetContactlist"}},
                      Injection{"GetProfileName", "KWMAPIUtils.create", 1, {u"GetProfileName"}},
                      Injection{"GetProfileName", "KWMAPIUtils.CurrentProfileName", 1, {u"GetProfileName"}}),
    [](const auto& row) {
        std::string name = std::string(row.param.method) + "_" + row.param.member + "_" + std::to_string(row.param.call);
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
}  // namespace kwtest
