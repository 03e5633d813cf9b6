// The spam decision of CheckMail, the same-organisation test, the spam folder
// and the moves of block and unblock, through the COM surface.

#include <limits>

#include "support/allocations.h"
#include "support/calls.h"
#include "support/files.h"

namespace kwtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Decision : public CallTest {};

// What one check does, by the vote, the threshold and the Exchange test.
TEST_F(Decision, OneCheckVotesMovesAndCountsByTheOutcome) {
    struct Case {
        const char* what;
        std::optional<std::int32_t> threshold;  // stored, or nothing stored
        std::int32_t vote;
        bool noText;        // the mail has no transport headers, so no text
        bool sameOrganisation;
        bool recheck;
        bool asked, moved;
        std::int32_t checkedAfter, spamAfter;
    };
    const Case cases[] = {
        {"vote at the threshold", 60, 60, false, false, true, true, true, 1, 1},
        {"vote above", 60, 61, false, false, true, true, true, 1, 1},
        {"vote one below", 60, 59, false, false, true, true, false, 1, 0},
        {"nothing stored: 50 is spam", std::nullopt, 50, false, false, true, true, true, 1, 1},
        {"nothing stored: 49 is not", std::nullopt, 49, false, false, true, true, false, 1, 0},
        {"a stored 0 counts as 50", 0, 49, false, false, true, true, false, 1, 0},
        {"a negative threshold", -5, -5, false, false, true, true, true, 1, 1},
        {"no text: vote 0, not asked", -1, 99, true, false, true, false, true, 1, 1},
        {"no text and threshold 1", 1, 99, true, false, true, false, false, 1, 0},
        {"same organisation", 60, 99, false, true, true, false, false, 1, 0},
        {"not rechecking counts nothing", 60, 99, false, false, false, true, true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != cases) again();
        if (c.threshold) setNumber(kThresholdKey, u"Filter", *c.threshold);
        const std::int32_t vote = c.vote;
        env().spam.vote = [vote](const Text&, bool) { return vote; };
        object->put_RecheckFolder(c.recheck ? VARIANT_TRUE : VARIANT_FALSE);
        standins::MailItem* mail = receive(u"text");
        if (c.noText) mail->properties.erase(kw::mailhelper::PR_HEADERS);
        if (c.sameOrganisation) exchange(mail, u"EX", u"EX", u"/o=Org/ou=A/cn=x", u"/o=Org/ou=B/cn=y");
        bool cleared = false;
        ASSERT_EQ(checkMail(mail, VARIANT_TRUE, &cleared), S_OK);
        EXPECT_TRUE(cleared);
        EXPECT_EQ(env().spam.queried.size(), c.asked ? 1u : 0u);
        EXPECT_EQ(mail->folder == spamFolder() && mail->folder != nullptr, c.moved);
        if (!c.moved) {
            EXPECT_EQ(mail->folder, inbox);
        }
        EXPECT_EQ(checked(), c.checkedAfter);
        EXPECT_EQ(spamCounted(), c.spamAfter);
        EXPECT_THAT(env().reports, IsEmpty());
    }
}

TEST_F(Decision, TheThresholdIsReadBeforeTheMessageIsAssembledAndNewmailReachesTheClientUnchanged) {
    standins::MailItem* mail = receive(kSpamWord);
    ASSERT_EQ(checkMail(mail, VARIANT_BOOL(1)), S_OK);
    const auto order = calls().callsTo({"Settings.RegQueryValueExA(HKCU\\Software\\Kestrelwood\\Thresholds",
                                        "KWMailItem.Fields(0x007D001E)", "SpamClientCOM.QueryVote"});
    ASSERT_EQ(order.size(), 3u);
    EXPECT_THAT(order[0], ::testing::StartsWith("Settings.RegQueryValueExA(HKCU\\Software\\Kestrelwood\\Thresholds"));
    EXPECT_THAT(order[2], ::testing::StartsWith("SpamClientCOM.QueryVote"));
    EXPECT_THAT(env().spam.newMail, ElementsAre(1)) << "the flag's bits as the caller gave them";
    EXPECT_EQ(mail->folder, spamFolder());
}

TEST_F(Decision, AnEmptyMailVariableOnlyClearsAndReleases) {
    bool cleared = false;
    ASSERT_EQ(checkMail(nullptr, VARIANT_TRUE, &cleared), S_OK);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(calls().count("KWMailItem.SourceItem"), 0u);
    EXPECT_FALSE(model(object).SafeMailItem);
}

// The same-organisation test, by the four properties of the mail.
TEST_F(Decision, ExchangeMailOfOneOrganisationIsNotVotedOn) {
    struct Case {
        const char* what;
        const char16_t *receiverType, *senderType, *receiver, *sender;
        bool same;
    };
    const Case cases[] = {
        {"one organisation", u"EX", u"EX", u"/o=Org/ou=Site/cn=a", u"/o=Org/ou=Site/cn=b", true},
        {"types in any case", u"ex", u"Ex", u"/o=Org/cn=a", u"/o=Org/cn=b", true},
        {"a blank before EX", u" EX", u"EX", u"/o=Org/cn=a", u"/o=Org/cn=b", false},
        {"SMTP on one side", u"EX", u"SMTP", u"/o=Org/cn=a", u"/o=Org/cn=b", false},
        {"marker in capitals", u"EX", u"EX", u"/o=Org/ou=Other/cn=b", u"/O=Org/OU=Site/CN=Recipients/CN=a", true},
        {"names compared with case", u"EX", u"EX", u"/o=ORG/cn=a", u"/o=Org/cn=b", false},
        {"name to the end", u"EX", u"EX", u"/o=Org", u"/o=Org/cn=b", true},
        {"text before the marker", u"EX", u"EX", u"x/o=Org/cn=a", u"/o=Org/cn=b", true},
        {"both names empty", u"EX", u"EX", u"/o=/ou=a", u"/o=/ou=b", true},
        {"no marker", u"EX", u"EX", u"/ou=Org/cn=a", u"/o=Org/cn=b", false},
        {"only the first marker", u"EX", u"EX", u"/o=A/o=B", u"/o=A", true},
        {"only the first marker, differing", u"EX", u"EX", u"/o=B/o=A", u"/o=A", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env().spam.queried.clear();
        standins::MailItem* mail = receive(u"text");
        exchange(mail, c.receiverType, c.senderType, c.receiver, c.sender);
        calls().clear();
        ASSERT_EQ(checkMail(mail), S_OK);
        EXPECT_EQ(env().spam.queried.empty(), c.same);
        if (&c == cases) {
            const auto reads = calls().callsTo({"KWMailItem.Fields(0x007", "KWMailItem.Fields(0x006"});
            EXPECT_THAT(std::vector<std::string>(reads.begin(), reads.begin() + 4),
                        ElementsAre("KWMailItem.Fields(0x0077001E)", "KWMailItem.Fields(0x0064001E)",
                                    "KWMailItem.Fields(0x0078001E)", "KWMailItem.Fields(0x0065001E)"))
                << "the four properties in order";
        }
    }
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(Decision, CheckMailsSetVotesOnEveryMailWithoutReadingTheAddresses) {
    setNumber(Text(kClientSettings) + u"\\Exchange", u"CheckMails", 2);
    standins::MailItem* mail = receive(u"text");
    exchange(mail, u"EX", u"EX", u"/o=Org/cn=a", u"/o=Org/cn=b");
    ASSERT_EQ(checkMail(mail), S_OK);
    EXPECT_EQ(env().spam.queried.size(), 1u);
    const auto helper = calls().callsTo({"KWMailItem.SourceItem", "KWMailItem.Fields(0x00"});
    EXPECT_EQ(helper.front(), "KWMailItem.SourceItem(MailItem(mail))") << "the item is bound all the same";
    EXPECT_EQ(calls().count("KWMailItem.Fields(0x0077001E)"), 0u);
    EXPECT_EQ(calls().count("KWMailItem.Fields(0x0064001E)"), 0u);
}

// The spam folder: found by the stored identity, or adopted, or created.
TEST_F(Decision, FirstUseCreatesTheFolderNextToTheInboxAndStoresItsIdentity) {
    ASSERT_EQ(createFolder(), S_OK);
    standins::Folder* folder = spamFolder();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(storedFolderId(), folder->entryId);
    EXPECT_EQ(calls().count("Folders(Mailbox).Add(\"Kestrelwood\", 6)"), 1u) << "a folder for mail items";
    // The second call finds it and writes nothing.
    calls().clear();
    ASSERT_EQ(createFolder(), S_OK);
    EXPECT_EQ(calls().count("Settings.RegSetValueExA"), 0u);
    EXPECT_EQ(calls().count("Folders(Mailbox).Add"), 0u);
}

TEST_F(Decision, ANamedFolderIsAdoptedAndAStoredOneIsUsedWhereverItIs) {
    struct Case {
        const char* what;
        int stored;  // 0 nothing, 1 a stale identity, 2 the store's top folder, 3 a folder in another store,
                     // 4 the Inbox, 5 a folder whose parent is named "mApI"
        bool existing;  // a folder "Kestrelwood" exists below the top folder
        bool usesStored;
    };
    const Case cases[] = {
        {"nothing stored, one exists", 0, true, false},
        {"stale identity", 1, false, false},
        {"stale identity, one exists", 1, true, false},
        {"the mailbox itself", 2, false, false},
        {"a folder in another store", 3, false, true},
        {"the Inbox", 4, false, true},
        {"below a folder whose name reads as the namespace", 5, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != cases) again();
        standins::Folder* existing = c.existing ? outlook().addFolder(outlook().defaultStore(), u"Kestrelwood") : nullptr;
        standins::Folder* stored = nullptr;
        switch (c.stored) {
            case 1: storeFolderId(u"0000DEAD"); break;
            case 2: stored = outlook().defaultStore(); break;
            case 3: stored = outlook().addFolder(outlook().addStore(u"Archive"), u"Junk"); break;
            case 4: stored = inbox; break;
            case 5: stored = outlook().addFolder(outlook().addFolder(inbox, u"mApI"), u"Spam"); break;
            default: break;
        }
        if (stored != nullptr) storeFolderId(stored->entryId);
        calls().clear();
        standins::MailItem* mail = receive(u"text");
        ASSERT_EQ(block(mail), S_OK);
        if (c.usesStored) {
            EXPECT_EQ(mail->folder, stored);
            EXPECT_EQ(storedFolderId(), stored->entryId) << "an identity that resolves is never rewritten";
            EXPECT_EQ(calls().count("Settings.RegSetValueExA(HKCU\\Software\\Kestrelwood\\Clients\\Outlook\\Settings\\Folders, Filter"), 0u);
        } else {
            ASSERT_NE(spamFolder(), nullptr);
            if (existing != nullptr) {
                EXPECT_EQ(spamFolder(), existing) << "adopted, not duplicated";
            }
            EXPECT_EQ(mail->folder, spamFolder());
            EXPECT_EQ(storedFolderId(), spamFolder()->entryId);
        }
        EXPECT_THAT(env().reports, IsEmpty());
    }
}

TEST_F(Decision, TheIdentityIsStoredPerProfileAndLookedUpWithoutAStore) {
    platform::Bstr profile(u"Work Profile");
    object->put_ProfileName(profile.get());
    ASSERT_EQ(createFolder(), S_OK);
    EXPECT_EQ(text(Text(kFoldersKey) + u"\\Work Profile", u"Filter"), spamFolder()->entryId);
    EXPECT_EQ(storedFolderId(), u"");
    const auto lookups = calls().callsTo({"Namespace.GetFolderFromID"});
    ASSERT_EQ(lookups.size(), 2u) << "the stored identity, then the final lookup";
    EXPECT_EQ(lookups[1], "Namespace.GetFolderFromID(\"" + standins::utf8(spamFolder()->entryId) + "\")");
}

// A transient failure of the lookup or of the store-top test is no error: the
// folder is adopted again and the identity rewritten, with no report.
TEST_F(Decision, ATransientLookupFailureAdoptsAndRewritesSilently) {
    bool first = true;
    for (const char* member : {"Namespace.GetFolderFromID", "Folder(Junk).Parent", "Folder(Mailbox).[default]"}) {
        SCOPED_TRACE(member);
        if (!std::exchange(first, false)) again();
        standins::Folder* junk = outlook().addFolder(outlook().defaultStore(), u"Junk");
        storeFolderId(junk->entryId);
        calls().failOn(member, E_FAIL);
        standins::MailItem* mail = receive(u"text");
        ASSERT_EQ(block(mail), S_OK);
        ASSERT_NE(spamFolder(), nullptr);
        EXPECT_EQ(storedFolderId(), spamFolder()->entryId);
        EXPECT_EQ(mail->folder, spamFolder());
        EXPECT_THAT(env().reports, IsEmpty());
    }
}

// Moving: the unread flag first, on the caller's item, then the move.
TEST_F(Decision, MovedSpamIsMarkedByMoveAsReadAndUnblockedMailIsUnreadInTheInbox) {
    const std::pair<std::optional<std::int32_t>, bool> settings[] = {{1, false}, {0, true}, {2, true}, {std::nullopt, true}};
    for (const auto& [moveAsRead, unread] : settings) {
        SCOPED_TRACE(moveAsRead ? std::to_string(*moveAsRead) : "missing");
        if (&moveAsRead != &settings[0].first) again();
        if (moveAsRead) setNumber(kClientSettings, u"Move as Read", *moveAsRead);
        standins::MailItem* checkedMail = receive(kSpamWord);
        standins::MailItem* blockedMail = receive(u"ham");
        ASSERT_EQ(checkMail(checkedMail), S_OK);
        ASSERT_EQ(block(blockedMail), S_OK);
        for (standins::MailItem* mail : {checkedMail, blockedMail}) {
            EXPECT_EQ(mail->folder, spamFolder());
            EXPECT_EQ(mail->unread, unread);
        }
        const auto order = calls().callsTo({"MailItem", "SpamClientCOM.SubmitVote"});
        EXPECT_THAT(order, ElementsAre(::testing::StartsWith("MailItem(mail).UnRead("), ::testing::StartsWith("MailItem(mail).Move("),
                                       ::testing::StartsWith("MailItem(mail).UnRead("), ::testing::StartsWith("MailItem(mail).Move("),
                                       ::testing::EndsWith(", 100)")));
    }
}

TEST_F(Decision, UnblockMovesIntoTheInboxEvenFromTheInboxAndVotesMinus100) {
    setNumber(kClientSettings, u"Move as Read", 1);
    standins::Folder* junk = outlook().addFolder(outlook().defaultStore(), u"Junk");
    standins::MailItem* away = receive(u"ham", junk);
    away->unread = false;
    standins::MailItem* home = receive(u"ham");
    home->unread = false;
    bool cleared = false;
    ASSERT_EQ(unblock(away, &cleared), S_OK);
    EXPECT_TRUE(cleared);
    ASSERT_EQ(unblock(home), S_OK);
    EXPECT_EQ(model(object).Outlookversion, 9.0) << "the version the caller passed";
    EXPECT_EQ(away->folder, inbox);
    EXPECT_TRUE(away->unread);
    EXPECT_TRUE(home->unread);
    EXPECT_EQ(calls().count("MailItem(mail).Move"), 2u) << "the move is requested also for mail in the Inbox";
    ASSERT_EQ(env().spam.submitted.size(), 2u);
    EXPECT_EQ(env().spam.submitted[0].second, -100);
    // Unblocking never looks for the spam folder.
    EXPECT_EQ(calls().count("Settings.RegOpenKeyA(HKCU\\Software\\Kestrelwood\\Clients\\Outlook\\Settings\\Folders"), 0u);
    EXPECT_EQ(calls().count("Settings.RegQueryValueExA(HKCU\\Software\\Kestrelwood\\Clients\\Outlook\\Settings, Move as Read)"), 0u);
    EXPECT_EQ(spamFolder(), nullptr);
}

TEST_F(Decision, DisableVotingMovesWithoutAVoteAndDoesNotTouchCheckMail) {
    object->put_DisableVoting(VARIANT_TRUE);
    standins::MailItem* blocked = receive(u"ham");
    standins::MailItem* checkedMail = receive(kSpamWord);
    ASSERT_EQ(block(blocked), S_OK);
    EXPECT_EQ(model(object).Outlookversion, 9.0) << "the version the caller passed";
    ASSERT_EQ(checkMail(checkedMail), S_OK);
    EXPECT_EQ(blocked->folder, spamFolder());
    EXPECT_EQ(checkedMail->folder, spamFolder());
    EXPECT_TRUE(env().spam.submitted.empty());
    EXPECT_EQ(env().spam.queried.size(), 1u);
}

TEST_F(Decision, AVoteIsCastAlsoForAMailWithoutText) {
    standins::MailItem* mail = receive(u"ham");
    mail->properties.erase(kw::mailhelper::PR_HEADERS);
    ASSERT_EQ(block(mail), S_OK);
    ASSERT_EQ(env().spam.submitted.size(), 1u);
    EXPECT_EQ(env().spam.submitted[0], std::make_pair(Text(), 100));
}

TEST_F(Decision, ACounterOverflowWhileCheckingIsReportedAndTheMovedMailStaysMoved) {
    object->put_RecheckFolder(VARIANT_TRUE);
    setNumber(kRecheckKey, u"Mails checked", 2147483647);
    standins::MailItem* mail = receive(kSpamWord);
    ASSERT_EQ(checkMail(mail), S_OK);
    EXPECT_EQ(reportChain(), (Chain{{u"RecheckCount", 6}, {u"CheckMailItemForSpam", 65535}}));
    EXPECT_EQ(mail->folder, spamFolder());
    EXPECT_EQ(checked(), 2147483647);
    EXPECT_EQ(spamCounted(), 0) << "the spam counter is not touched after the checked one failed";
}

TEST_F(Decision, AFailureInsideAnAccessorIsReportedUpTheChain) {
    // Registry failures never raise; a failure of the accessor's own
    // statement does: here its first allocation, the text of its key path
    // (the client root, or the thresholds key), armed by the outward call
    // just before the accessor runs. The call log is off so that it
    // allocates nothing meanwhile.
    constexpr std::size_t kClientRootText = (std::char_traits<char16_t>::length(u"Software\\Kestrelwood\\Clients\\Outlook") + 1) * 2;
    constexpr std::size_t kThresholdsText = (std::char_traits<char16_t>::length(kThresholdKey) + 1) * 2;
    std::optional<FailingAllocation> failing;
    calls().recording = false;
    // The final lookup of the spam folder comes just before GetMoveMsgRead.
    calls().whenCalled("Namespace.GetFolderFromID", 2, [&] { failing.emplace(kClientRootText); });
    EXPECT_EQ(block(receive(u"ham")), kFailed65535);
    ASSERT_TRUE(failing && failing->fired());
    // The Exchange setting's key is closed just before GetThreshold.
    failing.reset();
    calls().whenCalled("Settings.RegCloseKey", 1, [&] { failing.emplace(kThresholdsText); });
    EXPECT_EQ(checkMail(receive(u"ham")), S_OK);
    ASSERT_TRUE(failing && failing->fired());
    calls().recording = true;
    EXPECT_EQ(reportChain(), (Chain{{u"GetMoveMsgRead", 7}, {u"MoveMessage", 65535}, {u"BlockMail", 65535},
                                    {u"GetThreshold", 7}, {u"CheckMailItemForSpam", 65535}}));
}

// Outcomes that follow from the rules but are easy to miss.
TEST_F(Decision, AFailingFileTestIsReportedInsideACallThatSucceeds) {
    TempDir dir;
    setText(u"Software\\Kestrelwood\\Clients\\Outlook\\", u"SaveTo", platform::fromUtf8(dir.path().string()));
    for (int method = 0; method < 3; ++method) {
        SCOPED_TRACE(method);
        env().reports.clear();
        standins::MailItem* mail = receive(u"ham");
        // A subject the file lookup cannot take.
        mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(Text(u"a\0b", 3));
        const HRESULT hr = method == 0 ? checkMail(mail) : method == 1 ? block(mail) : unblock(mail);
        EXPECT_EQ(hr, S_OK);
        ASSERT_EQ(env().reports.size(), 1u);
        EXPECT_EQ(env().reports[0].procedure, u"FileExist");
    }
}

TEST_F(Decision, AfterAReportedFailureTheNextCallUsesTheNamespaceLeftBehind) {
    calls().failOn("MailItem.UnRead=", E_FAIL);
    ASSERT_EQ(block(receive(u"ham")), kFailed65535);
    EXPECT_TRUE(model(object).ObjNS) << "UnInitCOM did not run";
    calls().clear();
    platform::Bstr name;
    ASSERT_EQ(object->GetProfileName(name.put()), S_OK);
    EXPECT_EQ(calls().count("Application"), 0u) << "no attach: the old namespace is in ObjNS";
    EXPECT_EQ(calls().count("Namespace.Logon"), 0u);
    EXPECT_FALSE(model(object).ObjNS) << "this call's UnInitCOM releases it";
}

}  // namespace
}  // namespace kwtest
