// The copy of a checked mail on disk and the file test, against a real
// temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "content/MessageCopy.h"
#include "platform/posix/filecalls.h"
#include "settings/RegRW.h"
#include "support/fixture.h"

namespace kwtest {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;

class MessageCopy : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        folder = fs::temp_directory_path() / ("kwolfunc-copy-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        mail = outlook().addMail(outlook().defaultFolder(6));
        mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(u"Subject: Offer\r\nFrom: a@example.org\r\n\r\n");
        mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"Offer");
        mail->body = u"Body text";
    }
    void TearDown() override {
        fs::remove_all(folder);
        StandInTest::TearDown();
    }

    static void setSaveTo(const Text& where) {
        const bool ini = false;
        const std::int32_t root = platform::root::CurrentUser;
        kw::RegRW::RegWrite(u"Software\\Kestrelwood\\Clients\\Outlook\\", u"SaveTo", u"S", Variant::text(where), ini,
                            Text(), root);
    }
    Text windowsFolder() const { return platform::fromUtf8(folder.string()); }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Assembles the mail's text the way a spam check does.
    void check() {
        kw::Functions functions;
        functions.ObjNS = ns();
        functions.InitCOM();
        ComPtr<_MailItem> item = mailRef(mail);
        functions.GetCompleteMessageContent(item);
        functions.UnInitCOM();
    }

    fs::path folder;
    standins::MailItem* mail = nullptr;
};

TEST_F(MessageCopy, TheMailIsWrittenAsAnInternetMessageNamedAfterItsSubject) {
    setSaveTo(windowsFolder());
    check();
    const fs::path copy = folder / "Offer.eml";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(read(copy), "Subject: Offer\r\nFrom: a@example.org\r\n\r\nBody text");
    EXPECT_EQ(calls().count("KWMailItem.SaveAs(\"" + folder.string() + "\\Offer.eml\", 1024)"), 1u)
        << "the folder gets a backslash, the format is 1024 as a 16-bit integer";
}

TEST_F(MessageCopy, AFolderEndingInABackslashGivesTheSamePath) {
    setSaveTo(windowsFolder() + u"\\");
    check();
    EXPECT_TRUE(fs::exists(folder / "Offer.eml"));
    EXPECT_EQ(calls().count("KWMailItem.SaveAs(\"" + folder.string() + "\\Offer.eml\""), 1u);
}

TEST_F(MessageCopy, AnExistingCopyInAnyLetterCaseIsNeverOverwritten) {
    setSaveTo(windowsFolder());
    std::ofstream(folder / "OFFER.EML") << "first";
    check();
    check();
    EXPECT_EQ(read(folder / "OFFER.EML"), "first");
    EXPECT_FALSE(fs::exists(folder / "Offer.eml"));
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 0u);
}

TEST_F(MessageCopy, TheSameMailTwiceIsSavedOnce) {
    setSaveTo(windowsFolder());
    check();
    check();
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 1u);
}

TEST_F(MessageCopy, NoFolderNoCopyAndAMissingFolderIsNotCreated) {
    check();
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 0u);
    setSaveTo(windowsFolder() + u"\\missing");
    check();
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 1u) << "the save is tried, fails, and the failure is ignored";
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(MessageCopy, TheSubjectIsUsedUnchanged) {
    setSaveTo(windowsFolder());
    mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u" Re: a/b ");
    check();
    EXPECT_EQ(calls().count("KWMailItem.SaveAs(\"" + folder.string() + "\\ Re: a/b .eml\""), 1u);
    mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"");
    check();
    EXPECT_TRUE(fs::exists(folder / ".eml"));
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(MessageCopy, TheCopyOfAMailWithoutSubjectIsKeptLikeAnyOther) {
    setSaveTo(windowsFolder());
    mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"");
    check();
    const std::string first = read(folder / ".eml");
    ASSERT_FALSE(first.empty());
    mail->body = u"Another body";
    check();
    EXPECT_EQ(read(folder / ".eml"), first);
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 1u) << "the file test finds \".eml\"";
}

TEST_F(MessageCopy, ASaveWhoseCloseFailsLeavesNoFileAndTheNextCheckCopies) {
    setSaveTo(windowsFolder());
    const platform::FileCalls system = platform::fileCalls();
    platform::fileCalls().close = [](int fd) { return ::close(fd), errno = EIO, -1; };
    EXPECT_NO_THROW(check());
    platform::fileCalls() = system;
    EXPECT_TRUE(fs::is_empty(folder)) << "neither the copy nor its temporary file";
    check();
    EXPECT_EQ(read(folder / "Offer.eml"), "Subject: Offer\r\nFrom: a@example.org\r\n\r\nBody text");
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 2u);
    EXPECT_THAT(env().reports, IsEmpty());
}

TEST_F(MessageCopy, FailuresOfTheCopyNeverStopTheCheck) {
    setSaveTo(windowsFolder());
    for (const char* member : {"KWMailItem.SaveAs", "KWMailItem.Fields"}) {
        calls().failOn(member, E_FAIL);
        EXPECT_NO_THROW(check()) << member;
        calls().clearFailures();
    }
    EXPECT_THAT(env().reports, IsEmpty());
    EXPECT_FALSE(fs::exists(folder / "Offer.eml"));
}

TEST_F(MessageCopy, AFailingFileTestIsReportedButNeitherCopiesNorStopsTheCheck) {
    setSaveTo(windowsFolder());
    mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(Text(u"a\0b", 3));
    EXPECT_NO_THROW(check());
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(env().reports[0].procedure, u"FileExist");
    EXPECT_EQ(calls().count("KWMailItem.SaveAs"), 0u) << "no copy when the test cannot tell";
    EXPECT_EQ(calls().count("SpamClientCOM.PrepareBody"), 1u) << "the assembly went on";
}

TEST_F(MessageCopy, ACopyIsMadeBeforeTheHeadersAreRead) {
    setSaveTo(windowsFolder());
    mail->properties.erase(kw::mailhelper::PR_HEADERS);
    check();
    EXPECT_TRUE(fs::exists(folder / "Offer.eml"));
    const auto order = calls().callsTo({"KWMailItem.SaveAs", "KWMailItem.Fields(0x007D001E)"});
    ASSERT_EQ(order.size(), 2u);
    EXPECT_THAT(order[0], ::testing::StartsWith("KWMailItem.SaveAs"));
}

class FileExist : public MessageCopy {};

TEST_F(FileExist, MatchesNormalFilesWhateverTheirLetterCase) {
    std::ofstream(folder / "Mail.EML") << "x";
    std::ofstream(folder / ".dotted.eml") << "x";
    fs::create_directories(folder / "sub.eml");
    const Text base = windowsFolder() + u"\\";
    EXPECT_TRUE(kw::General::FileExist(base + u"mail.eml"));
    EXPECT_TRUE(kw::General::FileExist(base + u".DOTTED.eml")) << "a leading dot hides nothing here";
    EXPECT_FALSE(kw::General::FileExist(base + u"sub.eml")) << "folders never match";
    EXPECT_FALSE(kw::General::FileExist(base + u"other.eml"));
    EXPECT_FALSE(kw::General::FileExist(base + u"*.eml")) << "a wildcard finds Mail.EML, which is not named *.eml";
    EXPECT_TRUE(kw::General::FileExist(base + u"M?il.eml") == false) << "the name found is Mail.EML, not M?il.eml";
}

TEST_F(FileExist, APathWithoutBackslashIsComparedWhole) {
    std::ofstream(folder / "plain.eml") << "x";
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    EXPECT_TRUE(kw::General::FileExist(u"PLAIN.eml"));
    fs::current_path(before);
}

TEST_F(FileExist, ABadPathIsReportedUnderGeneral) {
    EXPECT_THROW(kw::General::FileExist(Text(u"a\0b", 3)), kw::RuntimeError);
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(env().reports[0].module, u"General");
    EXPECT_EQ(env().reports[0].procedure, u"FileExist");
    EXPECT_THAT(standins::utf8(env().reports[0].report),
                ::testing::HasSubstr("<LocalVariables>\r\n    <File></File>\r\n    <Filename></Filename>\r\n    <i>0</i>"));
}

}  // namespace
}  // namespace kwtest
