// Input no real mail has, with the behaviour it gets: huge header blocks,
// attachment lists and registry files are handled in linear time, texts with
// lone surrogates and NULs pass through unchanged, a collection containing itself is dumped to the nesting limit,
// and an Outlook member answering a value of the wrong type is an error
// reported where the call is made, or an ignored step where failures are
// ignored.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "content/RewriteHeader.h"
#include "core/safearray.h"
#include "support/calls.h"
#include "platform/atomicfile.h"
#include "settings/RegRW.h"
#include "settings/regfile.h"
#include "support/files.h"
#include "support/fixture.h"
#include "tests/content/rewriteheader_reference.h"

namespace kwtest {
namespace {

std::size_t occurrences(const Text& text, const Text& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != Text::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

TEST(HostileHeader, A100MegabyteBlockIsRewrittenWhole) {
    const Text line = u"X-Filler: 0123456789abcdef0123456789abcdef0123456789abcdef\r\n";
    Text header;
    header.reserve(50u << 20);
    while (header.size() * sizeof(char16_t) < (100u << 20)) header += line;
    header += u"Content-Type: text/plain\r\n\r\n";
    kw::HeaderRewrite work;
    const Text result = kw::RewriteHeader(header, u"text/html", work);
    EXPECT_EQ(result.size(), header.size() - 28 + 42);
    EXPECT_TRUE(std::u16string_view(result).ends_with(u"Content-Type: text/html; charset=\"utf-8\"\r\n"));
    EXPECT_EQ(static_cast<std::size_t>(work.A), (header.size() - 28) / line.size() + 1);
}

TEST(HostileHeader, LoneSurrogatesAndNulsPassThroughUnchanged) {
    const Text header = Text(u"Subject: a\0b", 12) + u"\xD800 \xDFFF\r\n" + Text(u"\0\r\n", 3) + u"\xDC00\r\n\r\n";
    kw::HeaderRewrite work;
    const Text result = kw::RewriteHeader(header, u"text/plain", work);
    EXPECT_EQ(result, header.substr(0, header.size() - 2));
    EXPECT_EQ(result, kwref::rewriteHeader(header, u"text/plain").header);
}

class HostileContent : public StandInTest {};

TEST_F(HostileContent, HundredThousandAttachmentsEachGetTheirLine) {
    calls().recording = false;
    standins::MailItem* mail = outlook().addMail(outlook().defaultFolder(6));
    mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(u"Subject: many\r\n\r\n");
    mail->body = u"body";
    for (int i = 0; i < 100000; ++i) mail->attachments.push_back(standins::Attachment{10, u"m", u"c"});
    kw::Functions functions;
    functions.ObjNS = ComPtr<IDispatch>::share(outlook().ns()).query<_NameSpace>();
    functions.InitCOM();
    {
        ComPtr<_MailItem> item = ComPtr<IDispatch>::share(mail).query<_MailItem>();
        EXPECT_EQ(occurrences(functions.GetCompleteMessageContent(item), u"X-Kestrelwood-Signature: "), 100000u);
    }
    functions.UnInitCOM();
}

// A 10 MB registry file: 20 000 keys listed in the reverse of their order,
// each with a comment and ten values, and one key with 20 000 values. A read
// finds its value and a write changes its one line and nothing else.
TEST(HostileRegistryFile, TenMegabytesAreReadAndWrittenLineByLine) {
    TempDir folder;
    const std::filesystem::path file = folder / "settings.reg";
    std::u16string text = u"\uFEFFWindows Registry Editor Version 5.00\r\n";
    const Text root = u"[HKEY_CURRENT_USER\\Software\\Kestrelwood\\";
    for (int key = 20000; key > 0; --key) {
        const Text n = platform::fromUtf8(std::to_string(key));
        text += u"\r\n; key " + n + u"\r\n" + root + u"K" + n + u"]\r\n";
        for (int v = 0; v < 10; ++v) text += u"\"V" + platform::fromUtf8(std::to_string(v)) + u"\"=\"setting " + n + u"\"\r\n";
    }
    text += u"\r\n" + root + u"Wide]\r\n";
    for (int v = 0; v < 20000; ++v) text += u"\"W" + platform::fromUtf8(std::to_string(v)) + u"\"=dword:0000002a\r\n";
    const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    ASSERT_GT(bytes.size(), 10u << 20);
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    {
        const auto previous = platform::setSettingsApi(std::make_shared<kw::settings::RegFileStore>(file));
        const bool noIni = false;
        const std::int32_t hkcu = platform::root::CurrentUser;
        EXPECT_EQ(kw::RegRW::RegRead(u"Software\\Kestrelwood\\K1", u"V9", u"S", noIni, Text(), hkcu), u"setting 1");
        EXPECT_EQ(kw::RegRW::RegRead(u"Software\\Kestrelwood\\Wide", u"W19999", u"D", noIni, Text(), hkcu), u"42");
        kw::RegRW::RegWrite(u"Software\\Kestrelwood\\Wide", u"W19999", u"D", Variant::i4(7), noIni, Text(), hkcu);
        EXPECT_EQ(kw::RegRW::RegRead(u"Software\\Kestrelwood\\Wide", u"W19999", u"D", noIni, Text(), hkcu), u"7");
        platform::setSettingsApi(previous);
    }
    const std::string written = platform::readWholeFile(file).value_or("");
    const std::string before = "0000002a", after = "00000007";
    ASSERT_EQ(written.size(), bytes.size());
    const std::size_t changed = bytes.size() - 2 * (before.size() + 2);  // the last value line's data
    EXPECT_EQ(written.substr(0, changed), bytes.substr(0, changed));
}

// A collection that holds itself ten times: every level up to the nesting
// limit is opened, ten to the fourth markers close it, and the report of the
// procedure whose local it is goes out whole.
class SelfHolding final : public standins::DispatchObject<> {
public:
    SelfHolding() : DispatchObject("SelfHolding", "", u"Folders") {
        collection([this] { return std::vector<Variant>(10, standins::objectVariant(this)); });
    }
};

class HostileReport : public StandInTest {};

TEST_F(HostileReport, ACollectionThatHoldsItselfIsDumpedToTheNestingLimit) {
    ComPtr<IDispatch> bag = ComPtr<IDispatch>::attach((new SelfHolding)->dispatch());
    Variant Folders = Variant::dispatch(bag.get());
    EXPECT_THROW(kw::Procedure(kSample, u"Walk", kw::Site::here()).locals({KW_VAR(Folders)}).run([&] {
        kw::raise(5);
    }), kw::RuntimeError);
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(occurrences(env().reports[0].report, u"{Nesting limit reached - Folders}"), 10000u);
}

// Every Outlook member the component reads, answering a value of the wrong
// type. Where the call's failures are ignored the step is skipped; elsewhere
// the procedure making the call reports the coercion's error (424 object
// required, 94 invalid use of Null, 13 type mismatch) and its callers 65535.
enum class Flow { CheckSpam, FolderPath, Contacts, Signatures };

struct WrongAnswer {
    Flow flow;
    const char* member;
    Variant (*answer)();
    Chain reports;
    Text outcome;  // CheckSpam: "moved" or "stays"; FolderPath and Contacts: the text; Signatures: lines
};

Variant aText() { return Variant::text(u"x"); }
Variant aNull() { return Variant::null(); }
Variant aNumber() { return Variant::i4(5); }
Variant anEmpty() { return Variant(); }
Variant anArray() { return kw::textArray({u"a", u"b"}); }

class WrongTypes : public CallTest, public ::testing::WithParamInterface<WrongAnswer> {};

TEST_P(WrongTypes, AreReportedOrSkipped) {
    const WrongAnswer& row = GetParam();
    contact(outlook().defaultFolder(10), u"Some One", {{u"SMTP", u"some@example.org"}});
    standins::Folder* junk = outlook().addFolder(inbox, u"Junk");
    standins::MailItem* mail = receive(kSpamWord);
    for (std::int32_t size : {10, 20, 200000}) mail->attachments.push_back(standins::Attachment{size, u"text/plain", u"c"});
    calls().answerOn(row.member, row.answer());

    Text outcome;
    switch (row.flow) {
        case Flow::CheckSpam:
            EXPECT_EQ(checkMail(mail), S_OK);
            outcome = mail->folder == inbox ? u"stays" : u"moved";
            break;
        case Flow::FolderPath: outcome = byId(true, junk->entryId); break;
        case Flow::Contacts: {
            VARIANT_BOOL withName = VARIANT_FALSE;
            HRESULT hr = S_OK;
            outcome = contacts(&withName, &hr);
            if (hr != S_OK) outcome = u"failed";
            break;
        }
        case Flow::Signatures: {
            EXPECT_EQ(checkMail(mail), S_OK);
            ASSERT_EQ(env().spam.queried.size(), 1u);
            outcome = platform::fromUtf8(std::to_string(occurrences(env().spam.queried[0], u"X-Kestrelwood-Signature:")));
            break;
        }
    }
    EXPECT_EQ(reportChain(), row.reports);
    EXPECT_EQ(outcome, row.outcome);
}

const Chain kSkipped;
Chain spamFolderFails(std::int32_t error) {
    return {{u"FindSPAMRepository", error}, {u"MoveMessage", 65535}, {u"CheckMailItemForSpam", 65535}};
}
Chain contactsFail(std::int32_t error) {
    return {{u"GetContactFolderContent", error}, {u"GetContactlist", 65535}};
}

INSTANTIATE_TEST_SUITE_P(
    EveryMemberRead, WrongTypes,
    ::testing::Values(
        WrongAnswer{Flow::CheckSpam, "Namespace.GetDefaultFolder", aText, spamFolderFails(424), u"stays"},
        WrongAnswer{Flow::CheckSpam, "Folder(Inbox).Parent", aNull, spamFolderFails(424), u"stays"},
        WrongAnswer{Flow::CheckSpam, "Folder(Mailbox).Folders", aNumber, spamFolderFails(424), u"stays"},
        WrongAnswer{Flow::CheckSpam, "Folders.Item", aText, kSkipped, u"moved"},
        WrongAnswer{Flow::CheckSpam, "Folders.Add", anEmpty, spamFolderFails(424), u"stays"},
        WrongAnswer{Flow::CheckSpam, "Folder(Kestrelwood).EntryID", aNull, spamFolderFails(94), u"stays"},
        WrongAnswer{Flow::CheckSpam, "Namespace.GetFolderFromID", anArray, spamFolderFails(424), u"stays"},
        // What a move answers is only released.
        WrongAnswer{Flow::CheckSpam, "MailItem.Move", aText, kSkipped, u"moved"},
        WrongAnswer{Flow::FolderPath, "Folder.Name", aNull, kSkipped, u""},
        WrongAnswer{Flow::FolderPath, "Folder.EntryID", anArray, kSkipped, u"Mailbox/Inbox/Junk/"},
        WrongAnswer{Flow::FolderPath, "Folder.Parent", aText, kSkipped, u"Junk/"},
        WrongAnswer{Flow::FolderPath, "Namespace.GetFolderFromID", aNumber, kSkipped, u""},
        WrongAnswer{Flow::Contacts, "Namespace.GetDefaultFolder", aText, kSkipped, u""},
        WrongAnswer{Flow::Contacts, "Folder(Contacts).Items", anEmpty, contactsFail(424), u"failed"},
        WrongAnswer{Flow::Contacts, "Items.GetFirst", aText, contactsFail(424), u"failed"},
        WrongAnswer{Flow::Contacts, "Items.GetNext", aNumber, contactsFail(424), u"failed"},
        // The subfolders are walked by GetContactlist itself.
        WrongAnswer{Flow::Contacts, "Folder(Contacts).Folders", aNull, {{u"GetContactlist", 424}}, u"failed"},
        // A signature line is made only for an attachment whose size reads
        // as a number; one whose content cannot be read keeps the signature
        // before it.
        WrongAnswer{Flow::Signatures, "Attachment.Size", aText, kSkipped, u"0"},
        WrongAnswer{Flow::Signatures, "Attachment.AsText", aNull, kSkipped, u"2"},
        WrongAnswer{Flow::Signatures, "Attachment.Fields", anArray, kSkipped, u"2"}),
    [](const auto& row) {
        std::string name = std::to_string(row.index) + "_" + row.param.member;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
}  // namespace kwtest
