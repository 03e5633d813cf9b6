// The complete message text: layout, body choice, signature lines, and which
// failures end the call with a report and which are skipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/RegRW.h"
#include "support/fixture.h"

namespace kwtest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char16_t kHeaders[] =
    u"Received: from mx.example.org\r\n"
    u"Content-Type: multipart/alternative;\r\n"
    u"\tboundary=\"b1\"\r\n"
    u"Content-Transfer-Encoding: 7bit\r\n"
    u"Subject: Hello\r\n"
    u"\r\n";

class MessageContent : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        setIdentity(u"INST-1");
        env().spam.prepare = [](const Text& body) { return u"[" + body + u"]"; };
        env().spam.sign = [](const Text& mime, const Text& content) { return mime + u"/" + content; };
        mail = outlook().addMail(outlook().defaultFolder(6));
        mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(kHeaders);
        mail->properties[kw::mailhelper::PR_MESSAGE_CODEPAGE] = Variant::i4(65001);
        mail->properties[kw::mailhelper::PR_SUBJECT] = Variant::text(u"Hello");
        mail->body = u"plain";
    }

    static void setIdentity(const Text& identity) {
        const bool ini = false;
        const std::int32_t root = platform::root::LocalMachine;
        kw::RegRW::RegWrite(u"Software\\Kestrelwood\\Installation\\", u"Identity", u"S", Variant::text(identity), ini,
                            Text(), root);
    }

    // GetCompleteMessageContent inside a public call with the add-in's
    // namespace, as the spam decision runs it.
    Text assemble() {
        kw::Functions functions;
        functions.ObjNS = ns();
        functions.InitCOM();
        calls().clear();
        ComPtr<_MailItem> item = mailRef(mail);
        Text text;
        try {
            text = functions.GetCompleteMessageContent(item);
        } catch (const kw::RuntimeError&) {
            functions.UnInitCOM();
            throw;
        }
        functions.UnInitCOM();
        return text;
    }

    void attach(std::int32_t size, const Text& mime, const Text& content) {
        mail->attachments.push_back(standins::Attachment{size, mime, content});
    }

    standins::MailItem* mail = nullptr;
};

TEST_F(MessageContent, HeadersSignatureLinesEmptyLineAndThePreparedBody) {
    attach(10, u"text/plain", u"a");
    attach(20, u"image/png", u"b");
    EXPECT_EQ(assemble(),
              u"Received: from mx.example.org\r\n"
              u"Content-Type: text/plain; charset=\"utf-8\"\r\n"
              u"Subject: Hello\r\n"
              u"X-Kestrelwood-Signature: INST-1 text/plain/a\r\n"
              u"X-Kestrelwood-Signature: INST-1 image/png/b\r\n"
              u"\r\n"
              u"[plain]");
    EXPECT_TRUE(env().reports.empty());
}

TEST_F(MessageContent, OutwardCallsComeInTheirOrder) {
    attach(5, u"text/plain", u"x");
    mail->htmlBody = u"<p>hi</p>";
    assemble();
    EXPECT_THAT(calls().callsTo({"Settings.RegQueryValueExA", "KWMailItem", "Attachment", "SpamClientCOM"}),
                ElementsAre("Settings.RegQueryValueExA(HKLM\\Software\\Kestrelwood\\Installation\\, Identity)",
                            "KWMailItem.SourceItem(MailItem(mail))",
                            "Settings.RegQueryValueExA(HKCU\\Software\\Kestrelwood\\Clients\\Outlook\\, SaveTo)",
                            "KWMailItem.Fields(0x007D001E)", "KWMailItem.Fields(0x3FFD0003)", "KWMailItem.HTMLBody()",
                            "KWMailItem.Body()", "KWMailItem.Attachments()", "Attachments._NewEnum()", "Attachment(1).Size()",
                            "Attachment(1).Fields(923664414)", "Attachment(1).AsText()",
                            "SpamClientCOM.SignAttachment(\"text/plain\", \"x\")",
                            "SpamClientCOM.PrepareBody(\"<p>hi</p>\")"));
}

TEST_F(MessageContent, TheHtmlBodyIsTakenUnlessItWasConvertedFromText) {
    mail->htmlBody = u"<html>offer</html>";
    EXPECT_THAT(standins::utf8(assemble()), ::testing::HasSubstr("text/html; charset=\"utf-8\"\r\nSubject: Hello\r\n\r\n[<html>offer</html>]"));
    mail->htmlBody = u"<html><!-- Converted From TEXT/PLAIN format --></html>";
    EXPECT_THAT(standins::utf8(assemble()), ::testing::HasSubstr("text/plain; charset=\"utf-8\"\r\nSubject: Hello\r\n\r\n[plain]"));
}

TEST_F(MessageContent, EmptyBodiesAreNotPrepared) {
    mail->body.clear();
    attach(1, u"a/b", u"c");
    const Text text = assemble();
    EXPECT_TRUE(text.ends_with(u"X-Kestrelwood-Signature: INST-1 a/b/c\r\n\r\n"));
    EXPECT_EQ(calls().count("SpamClientCOM.PrepareBody"), 0u);
}

TEST_F(MessageContent, OnlyAttachmentsBelowTheLimitAreSignedInCollectionOrder) {
    attach(102399, u"first", u"1");
    attach(102400, u"second", u"2");
    attach(7, u"third", u"3");
    const Text text = assemble();
    EXPECT_THAT(standins::utf8(text),
                ::testing::HasSubstr("X-Kestrelwood-Signature: INST-1 first/1\r\nX-Kestrelwood-Signature: INST-1 third/3\r\n\r\n"));
    EXPECT_EQ(calls().count("SpamClientCOM.SignAttachment"), 2u);
    EXPECT_EQ(calls().count("Attachment(2).Fields"), 0u);
}

TEST_F(MessageContent, WithoutAttachmentsTheLastHeaderLineMeetsTheEmptyLine) {
    EXPECT_TRUE(assemble().starts_with(u"Received: from mx.example.org\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
                                       u"Subject: Hello\r\n\r\n[plain]"));
}

TEST_F(MessageContent, AnEmptyIdentityLeavesTwoSpacesBeforeTheSignature) {
    setIdentity(u"");
    attach(1, u"m", u"c");
    EXPECT_THAT(standins::utf8(assemble()), ::testing::HasSubstr("X-Kestrelwood-Signature:  m/c\r\n"));
}

TEST_F(MessageContent, NoHeadersOrARefusedItemGiveEmptyTextWithoutReportOrSpamClient) {
    attach(1, u"m", u"c");
    mail->properties.erase(kw::mailhelper::PR_HEADERS);
    EXPECT_EQ(assemble(), u"");
    mail->properties[kw::mailhelper::PR_HEADERS] = Variant::text(kHeaders);
    calls().failOn("KWMailItem.SourceItem", static_cast<HRESULT>(0x80040107u));
    EXPECT_EQ(assemble(), u"");
    EXPECT_EQ(calls().count("SpamClientCOM"), 0u);
    EXPECT_EQ(calls().count("KWMailItem.Fields"), 0u);
    EXPECT_THAT(env().reports, IsEmpty());
}

// Which failures end the call with a report of GetCompleteMessageContent,
// and which are skipped.
struct Injection {
    const char* member;
    int call;
    bool reported;
};

class MessageContentFailures : public MessageContent, public ::testing::WithParamInterface<Injection> {};

TEST_P(MessageContentFailures, AreReportedOrSkippedStepByStep) {
    const Injection& injection = GetParam();
    attach(3, u"one", u"1");
    attach(4, u"two", u"2");
    mail->htmlBody = u"<b>x</b>";
    const Text clean = assemble();
    env().reports.clear();

    calls().failOn(injection.member, static_cast<HRESULT>(0x80040119u), injection.call);
    if (injection.reported) {
        try {
            assemble();
            FAIL() << "the call goes on";
        } catch (const kw::RuntimeError& e) {
            EXPECT_EQ(e.number(), 65535);
        }
        ASSERT_EQ(env().reports.size(), 1u);
        EXPECT_EQ(env().reports[0].procedure, u"GetCompleteMessageContent");
        EXPECT_EQ(env().reports[0].number, static_cast<std::int32_t>(0x80040119u));
    } else {
        const Text text = assemble();
        EXPECT_THAT(env().reports, IsEmpty());
        EXPECT_TRUE(text.ends_with(u"\r\n\r\n[<b>x</b>]")) << standins::utf8(text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryOutwardCall, MessageContentFailures,
    ::testing::Values(Injection{"Settings.RegQueryValueExA", 1, false}, Injection{"KWMailItem.Fields", 1, true},
                      Injection{"KWMailItem.Fields", 2, true}, Injection{"KWMailItem.HTMLBody", 1, true},
                      Injection{"KWMailItem.Body", 1, true}, Injection{"KWMailItem.Attachments", 1, false},
                      Injection{"Attachment.Size", 1, false}, Injection{"Attachment.Fields", 1, false},
                      Injection{"Attachment.AsText", 2, false}, Injection{"SpamClientCOM.SignAttachment", 1, false},
                      Injection{"SpamClientCOM.PrepareBody", 1, true}),
    [](const auto& param) {
        std::string name = param.param.member;
        for (char& c : name)
            if (c == '.') c = '_';
        return name + "_" + std::to_string(param.param.call);
    });

TEST_F(MessageContent, AnUnsignableAttachmentKeepsThePreviousSignature) {
    attach(1, u"one", u"1");
    attach(2, u"two", u"2");
    attach(3, u"three", u"3");
    calls().failOn("Attachment(1).Size", E_FAIL);
    calls().failOn("SpamClientCOM.SignAttachment", E_FAIL);
    EXPECT_THAT(standins::utf8(assemble()),
                ::testing::HasSubstr("Subject: Hello\r\nX-Kestrelwood-Signature: INST-1 \r\n"
                                     "X-Kestrelwood-Signature: INST-1 three/3\r\n\r\n"))
        << "the first gets no line (its size is unknown); the second's signing fails before any succeeded";
    env().reports.clear();
    calls().clearFailures();
    calls().failOn("Attachment(3).AsText", E_FAIL);
    EXPECT_THAT(standins::utf8(assemble()),
                ::testing::HasSubstr("INST-1 one/1\r\nX-Kestrelwood-Signature: INST-1 two/2\r\n"
                                     "X-Kestrelwood-Signature: INST-1 two/2\r\n\r\n"));
    EXPECT_EQ(calls().count("SpamClientCOM.SignAttachment"), 2u);
}

TEST_F(MessageContent, ItsReportListsEveryLocalInOrderAsItStood) {
    attach(1, u"m", u"c");
    calls().failOn("SpamClientCOM.PrepareBody", E_FAIL);
    EXPECT_THROW(assemble(), kw::RuntimeError);
    ASSERT_EQ(env().reports.size(), 1u);
    const std::string report = standins::utf8(env().reports[0].report);
    const std::string locals = report.substr(0, report.find("</LocalVariables>"));
    std::vector<std::string> names;
    for (std::size_t at = locals.find("\r\n    <"); at != std::string::npos; at = locals.find("\r\n    <", at + 1)) {
        const std::size_t start = at + 7;
        if (locals[start] == '/') continue;
        names.push_back(locals.substr(start, locals.find_first_of("> ", start) - start));
    }
    EXPECT_THAT(names, ElementsAre("PR_HTML", "PR_BODY", "PR_HEADERS", "PR_BODY_HTML", "INT_HTMLFORMAT", "PR_SUBJECT",
                                   "PR_ATTACH_MIME_TAG", "PR_SENDER_NAME", "PR_SENDER_EMAIL_ADDRESS",
                                   "PR_MESSAGE_CODEPAGE", "A", "i", "sOrgHeader", "sNewHeader", "sSplitHeader",
                                   "sHTMLBody", "sPlainBody", "ContentType", "CodePageType", "LastLineContentType",
                                   "LastLineContentEncoding", "sAttachments", "FileSign", "InstallationID",
                                   "sOrgContentType", "SaveAsFileTo", "FileSubject", "myMessage", "Element"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <PR_HTML>269680898</PR_HTML>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <INT_HTMLFORMAT>2</INT_HTMLFORMAT>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <A>5</A>\r\n    <i>0</i>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <CodePageType>65001</CodePageType>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("      <sSplitHeader Index=\"2\"></sSplitHeader>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <FileSign>m/c</FileSign>\r\n"));
    // The bodies as they came, and the message as it stood when the spam
    // client failed: the chosen body itself.
    EXPECT_THAT(report, ::testing::HasSubstr("    <sHTMLBody></sHTMLBody>\r\n    <sPlainBody>plain</sPlainBody>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <myMessage>plain</myMessage>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("    <Element>{Nothing}</Element>\r\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("<Parameters>\r\n    <objMail>{MailItem}</objMail>\r\n</Parameters>"));
}

}  // namespace
}  // namespace kwtest
