// A failure at each outward call of CheckMail, BlockMail, UnBlockMail and
// CreateFolder: whether it is reported (and by which procedures) or ignored,
// where the mail ends up, whether the spam folder's identity was stored,
// which vote was sent, and whether the caller's mail variable came back
// empty.
#include <cctype>

#include "support/calls.h"

namespace kwtest {
namespace {

enum class Flow { CheckSpam, Block, Unblock, Create };
enum class Place { Stays, SpamFolder, Inbox };

struct Injection {
    Flow flow;
    const char* member;  // the stand-in member that fails
    int call;            // its n-th call in the flow
    std::vector<const char16_t*> reports;  // the procedures that report, innermost first
    Place place;
    bool stored;         // the spam folder's identity was written
    std::int32_t vote;   // the vote sent by SubmitVote; 0 for none
    std::int32_t counted = -1;  // CheckMail: the "Mails spam" counter afterwards (-1: not a check)
};

const char* flowName(Flow f) {
    switch (f) {
        case Flow::CheckSpam: return "CheckMail";
        case Flow::Block: return "BlockMail";
        case Flow::Unblock: return "UnBlockMail";
        case Flow::Create: return "CreateFolder";
    }
    return "";
}

class Injected : public CallTest, public ::testing::WithParamInterface<Injection> {};

TEST_P(Injected, HasTheOutcomeOfItsStep) {
    const Injection& in = GetParam();
    object->put_RecheckFolder(VARIANT_TRUE);
    standins::Folder* junk = outlook().addFolder(outlook().defaultStore(), u"Junk");
    standins::MailItem* mail = in.flow == Flow::Unblock ? receive(u"ham", junk) : receive(kSpamWord);
    calls().failOn(in.member, E_FAIL, in.call);

    bool cleared = false;
    HRESULT hr = S_OK;
    switch (in.flow) {
        case Flow::CheckSpam: hr = checkMail(mail, VARIANT_TRUE, &cleared); break;
        case Flow::Block: hr = block(mail, &cleared); break;
        case Flow::Unblock: hr = unblock(mail, &cleared); break;
        case Flow::Create: hr = createFolder(); break;
    }

    // A report in a public method's own block fails the call with 65535 and
    // leaves the caller's variable as it was; CheckMail's check is made with
    // failures ignored.
    Chain expected;
    for (std::size_t i = 0; i < in.reports.size(); ++i)
        expected.emplace_back(in.reports[i], i == 0 ? static_cast<std::int32_t>(E_FAIL) : 65535);
    EXPECT_EQ(reportChain(), expected);
    const bool publicFails = !in.reports.empty() && Text(in.reports.back()) == platform::fromUtf8(flowName(in.flow));
    EXPECT_EQ(hr, publicFails ? kFailed65535 : S_OK);
    if (in.flow != Flow::Create) {
        EXPECT_EQ(cleared, !publicFails);
    }

    standins::Folder* home = in.flow == Flow::Unblock ? junk : inbox;
    switch (in.place) {
        case Place::Stays: EXPECT_EQ(mail->folder, home); break;
        case Place::SpamFolder: EXPECT_TRUE(mail->folder != nullptr && mail->folder == spamFolder()); break;
        case Place::Inbox: EXPECT_EQ(mail->folder, inbox); break;
    }
    EXPECT_EQ(!storedFolderId().empty(), in.stored);
    if (in.stored) {
        ASSERT_NE(spamFolder(), nullptr);
        EXPECT_EQ(storedFolderId(), spamFolder()->entryId);
    }
    if (in.vote == 0) {
        EXPECT_TRUE(env().spam.submitted.empty());
    } else {
        ASSERT_EQ(env().spam.submitted.size(), 1u);
        EXPECT_EQ(env().spam.submitted[0].second, in.vote);
    }
    if (in.counted >= 0) {
        EXPECT_EQ(spamCounted(), in.counted);
    }
}

// The outward calls of each flow, in their order.
const std::vector<const char16_t*> kNone;
INSTANTIATE_TEST_SUITE_P(
    EveryOutwardCall, Injected,
    ::testing::Values(
        // CheckMail of a spam mail, the spam folder made on first use.
        Injection{Flow::CheckSpam, "SpamClientCOM.create", 1, {u"InitCOM", u"CheckMail"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "KWMailItem.create", 1, {u"InitCOM", u"CheckMail"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "KWMailItem.SourceItem", 1, {u"CheckSameExchangeServer", u"CheckMailItemForSpam"},
                  Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "KWMailItem.Fields", 1, {u"CheckSameExchangeServer", u"CheckMailItemForSpam"},
                  Place::Stays, false, 0, 0},
        // The second binding (for the text) fails silently: no text, vote 0.
        Injection{Flow::CheckSpam, "KWMailItem.SourceItem", 2, kNone, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "KWMailItem.Fields", 3,
                  {u"GetCompleteMessageContent", u"GetVote", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "KWMailItem.Body", 1,
                  {u"GetCompleteMessageContent", u"GetVote", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "KWMailItem.Attachments", 1, kNone, Place::SpamFolder, true, 0, 1},
        Injection{Flow::CheckSpam, "SpamClientCOM.PrepareBody", 1,
                  {u"GetCompleteMessageContent", u"GetVote", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "SpamClientCOM.QueryVote", 1, {u"GetVote", u"CheckMailItemForSpam"}, Place::Stays,
                  false, 0, 0},
        Injection{Flow::CheckSpam, "Namespace.GetFolderFromID", 1, kNone, Place::SpamFolder, true, 0, 1},
        Injection{Flow::CheckSpam, "Namespace.GetDefaultFolder", 1,
                  {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "Folder(Inbox).Parent", 1,
                  {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "Folder(Mailbox).Folders", 1, kNone, Place::SpamFolder, true, 0, 1},
        Injection{Flow::CheckSpam, "Folders.Item", 1, kNone, Place::SpamFolder, true, 0, 1},
        Injection{Flow::CheckSpam, "Folder(Mailbox).Folders", 2,
                  {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "Folders.Add", 1, {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"},
                  Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "Folder(Kestrelwood).EntryID", 1,
                  {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        // A name that cannot be looked up fails its call like the call itself;
        // a failed lookup is made again on the next call, a successful one
        // never (so a second lookup of the namespace's member cannot fail).
        Injection{Flow::CheckSpam, "GetIDsOfNames Folder(Kestrelwood).EntryID", 1,
                  {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, false, 0, 0},
        Injection{Flow::CheckSpam, "GetIDsOfNames Namespace.GetFolderFromID", 1, kNone, Place::SpamFolder, true, 0, 1},
        Injection{Flow::CheckSpam, "GetIDsOfNames Namespace.GetFolderFromID", 2, kNone, Place::SpamFolder, true, 0, 1},
        // Writing the identity fails silently: the folder is used, not stored.
        Injection{Flow::CheckSpam, "Settings.RegSetValueExA", 1, kNone, Place::SpamFolder, false, 0, 1},
        Injection{Flow::CheckSpam, "Namespace.GetFolderFromID", 2,
                  {u"FindSPAMRepository", u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, true, 0, 0},
        Injection{Flow::CheckSpam, "MailItem.UnRead=", 1, {u"MoveMessage", u"CheckMailItemForSpam"}, Place::Stays, true,
                  0, 0},
        // A failing move is ignored: the mail is counted as spam, not moved.
        Injection{Flow::CheckSpam, "MailItem.Move", 1, kNone, Place::Stays, true, 0, 1},

        // BlockMail, the spam folder made on first use.
        Injection{Flow::Block, "SpamClientMD5.create", 1, {u"InitCOM", u"BlockMail"}, Place::Stays, false, 0},
        Injection{Flow::Block, "Namespace.GetDefaultFolder", 1, {u"FindSPAMRepository", u"MoveMessage", u"BlockMail"},
                  Place::Stays, false, 0},
        Injection{Flow::Block, "Folders.Add", 1, {u"FindSPAMRepository", u"MoveMessage", u"BlockMail"}, Place::Stays,
                  false, 0},
        Injection{Flow::Block, "Folder(Inbox).Parent", 1, {u"FindSPAMRepository", u"MoveMessage", u"BlockMail"},
                  Place::Stays, false, 0},
        Injection{Flow::Block, "Folder(Kestrelwood).EntryID", 1, {u"FindSPAMRepository", u"MoveMessage", u"BlockMail"},
                  Place::Stays, false, 0},
        Injection{Flow::Block, "Namespace.GetFolderFromID", 2, {u"FindSPAMRepository", u"MoveMessage", u"BlockMail"},
                  Place::Stays, true, 0},
        Injection{Flow::Block, "MailItem.UnRead=", 1, {u"MoveMessage", u"BlockMail"}, Place::Stays, true, 0},
        Injection{Flow::Block, "MailItem.Move", 1, kNone, Place::Stays, true, 100},
        // Binding for the text fails silently: the vote goes with empty text.
        Injection{Flow::Block, "KWMailItem.SourceItem", 1, kNone, Place::SpamFolder, true, 100},
        Injection{Flow::Block, "KWMailItem.Fields", 1, {u"GetCompleteMessageContent", u"CastVote", u"BlockMail"},
                  Place::SpamFolder, true, 0},
        Injection{Flow::Block, "SpamClientCOM.SubmitVote", 1, {u"CastVote", u"BlockMail"}, Place::SpamFolder, true, 0},

        // UnBlockMail of a mail in another folder.
        Injection{Flow::Unblock, "KWMailItem.create", 1, {u"InitCOM", u"UnBlockMail"}, Place::Stays, false, 0},
        Injection{Flow::Unblock, "Namespace.GetDefaultFolder", 1, {u"MoveMessage", u"UnBlockMail"}, Place::Stays, false,
                  0},
        Injection{Flow::Unblock, "MailItem.UnRead=", 1, {u"MoveMessage", u"UnBlockMail"}, Place::Stays, false, 0},
        Injection{Flow::Unblock, "MailItem.Move", 1, kNone, Place::Stays, false, -100},
        Injection{Flow::Unblock, "KWMailItem.Body", 1, {u"GetCompleteMessageContent", u"CastVote", u"UnBlockMail"},
                  Place::Inbox, false, 0},
        Injection{Flow::Unblock, "SpamClientCOM.SubmitVote", 1, {u"CastVote", u"UnBlockMail"}, Place::Inbox, false, 0},

        // CreateFolder.
        Injection{Flow::Create, "SpamClientCOM.create", 1, {u"InitCOM", u"CreateFolder"}, Place::Stays, false, 0},
        Injection{Flow::Create, "Namespace.GetDefaultFolder", 1, {u"FindSPAMRepository", u"CreateFolder"}, Place::Stays,
                  false, 0},
        Injection{Flow::Create, "Folders.Add", 1, {u"FindSPAMRepository", u"CreateFolder"}, Place::Stays, false, 0},
        Injection{Flow::Create, "Folder(Kestrelwood).EntryID", 1, {u"FindSPAMRepository", u"CreateFolder"},
                  Place::Stays, false, 0},
        Injection{Flow::Create, "Settings.RegSetValueExA", 1, kNone, Place::Stays, false, 0},
        Injection{Flow::Create, "Namespace.GetFolderFromID", 2, {u"FindSPAMRepository", u"CreateFolder"}, Place::Stays,
                  true, 0}),
    [](const auto& row) {
        std::string name = std::string(flowName(row.param.flow)) + "_" + row.param.member + "_" +
                           std::to_string(row.param.call);
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
}  // namespace kwtest
