// Error blocks and report dispatch: what a failing procedure hands to the
// error-report component, the chain of reports up the calls, and the message
// box when the component is missing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "errorcapture/ReportError.h"
#include "errorcapture/frame.h"
#include "errorcapture/state.h"
#include "platform/messagebox.h"
#include "settings/General.h"
#include "settings/RegRW.h"
#include "support/fixture.h"

namespace kwtest {
namespace {

using kw::Procedure;
using kw::RuntimeError;
using kw::Site;
using ::testing::ElementsAre;

constexpr char16_t kCrLf[] = u"\r\n";

// Procedures of a module of the tests, with the shapes the component's have.
struct Sample {
    static int innerLine;
    static int callLine;

    static std::int32_t Inner(const Text& Name, Site at = Site::here()) {
        std::int32_t Count = 41;
        return Procedure(kSample, u"Inner", at).locals({KW_VAR(Count)}).params({KW_VAR(Name)}).run([&] {
            Count = 42;
            innerLine = __LINE__, kw::raise(kw::err::Overflow);
            return Count;
        });
    }
    static void Outer(bool ignore, Site at = Site::here()) {
        Text Name = u"first";
        Procedure(kSample, u"Outer", at).params({KW_VAR(Name)}).run([&] {
            if (ignore) kw::ignoringFailure([&] { Inner(Name); });
            else callLine = __LINE__, Inner(Name);
        });
    }
};
int Sample::innerLine = 0;
int Sample::callLine = 0;

class Reports : public StandInTest {};

TEST_F(Reports, EachProcedureOnTheChainReportsOnceAndTheCallerGets65535) {
    try {
        Sample::Outer(false);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 65535);
    }
    const auto& reports = env().reports;
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].procedure, u"Inner");
    EXPECT_EQ(reports[0].number, 6);
    EXPECT_EQ(reports[0].description, u"Overflow");
    EXPECT_EQ(reports[0].line, Sample::innerLine);
    EXPECT_EQ(reports[1].procedure, u"Outer");
    EXPECT_EQ(reports[1].number, 65535);
    EXPECT_EQ(reports[1].line, Sample::callLine) << "the caller's report names the line of the call";
    for (const auto& r : reports) {
        EXPECT_EQ(r.component, u"KWOLFunc");
        EXPECT_EQ(r.module, u"Sample");
        EXPECT_EQ(r.version, u"1.0.117");
    }
    EXPECT_EQ(calls().count("ErrorReporter.create"), 2u) << "a new component for every report";
}

TEST_F(Reports, TheReportTextHasTheVariablesAsTheyStoodAndNoLineBreakAtTheEnd) {
    kw::errorState().vbcsHasInitialised = true;  // as after start-up on this thread
    EXPECT_THROW(Sample::Inner(u"a<b"), RuntimeError);
    ASSERT_EQ(env().reports.size(), 1u);
    const Text expected = Text(u"<Variables>") + kCrLf + u"<LocalVariables>" + kCrLf + u"    <Count>42</Count>" +
                          kCrLf + u"</LocalVariables>" + kCrLf + u"<ModuleVariables>" + kCrLf + u"{None}" +
                          u"</ModuleVariables>" + kCrLf + u"<GlobalVariables>" + kCrLf +
                          u"    <vbcsComponentID></vbcsComponentID>" + kCrLf +
                          u"    <vbcsHasInitialised>True</vbcsHasInitialised>" + kCrLf +
                          u"    <vbcsErrorNumber>6</vbcsErrorNumber>" + kCrLf +
                          u"    <vbcsErrorDescription>Overflow</vbcsErrorDescription>" + kCrLf +
                          u"    <vbcsErrorLine>" + platform::fromUtf8(std::to_string(Sample::innerLine)) +
                          u"</vbcsErrorLine>" + kCrLf + u"    <vbcsErrorSource>KWOLFunc</vbcsErrorSource>" + kCrLf +
                          u"</GlobalVariables>" + kCrLf + u"</Variables>" + kCrLf + u"<Parameters>" + kCrLf +
                          u"    <Name>a<b</Name>" + kCrLf + u"</Parameters>";
    EXPECT_EQ(env().reports[0].report, expected);
}

TEST_F(Reports, TheChainStopsAtACallerThatIgnoresFailures) {
    EXPECT_NO_THROW(Sample::Outer(true));
    ASSERT_EQ(env().reports.size(), 1u);
    EXPECT_EQ(env().reports[0].procedure, u"Inner");
}

TEST_F(Reports, WithoutTheComponentTheUserSeesTheFallbackBox) {
    env().uninstallErrorReporter();
    std::vector<std::pair<Text, Text>> boxes;
    UINT style = 0;
    platform::setMessageBoxPresenter([&](const Text& text, const Text& title, UINT s) {
        boxes.emplace_back(text, title);
        style = s;
        return IDOK;
    });
    EXPECT_THROW(Sample::Inner(u"x"), RuntimeError);
    platform::setMessageBoxPresenter({});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, u"Application Error");
    EXPECT_EQ(style, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(boxes[0].first, Text(u"KWOLFunc has encountered a problem. We are sorry for the inconvenience.") +
                                  kCrLf + kCrLf + u"Module: Sample" + kCrLf + u"Procedure: Inner" + kCrLf +
                                  u"Line Number: " + platform::fromUtf8(std::to_string(Sample::innerLine)) + kCrLf +
                                  kCrLf + u"Overflow (6)");
}

TEST_F(Reports, AFailureOfTheReportItselfReachesTheCallerInsteadOf65535) {
    for (const char* member : {"ErrorReporter.ErrorHandler", "ErrorReporter.Action"}) {
        SCOPED_TRACE(member);
        calls().failOn(member, E_ACCESSDENIED);
        int line = 0;
        try {
            line = __LINE__, Sample::Inner(u"x");
            FAIL();
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), static_cast<std::int32_t>(E_ACCESSDENIED));
            EXPECT_EQ(e.line(), line) << "the caller learns the line of its own call";
        }
        calls().clearFailures();
    }
    EXPECT_EQ(calls().count("ErrorReporter.Action"), 1u) << "a failing ErrorHandler ends the report";
}

TEST_F(Reports, ReportErrorPassesItsArgumentsInOrderAndReturnsAction) {
    env().action = u"sent";
    const std::int32_t number = 13, line = 7;
    const Text result = kw::ReportError(number, u"General", u"GetThreshold", u"Type mismatch", line, u"{None}",
                                        u"{None}", u"{None}");
    EXPECT_EQ(result, u"sent");
    EXPECT_THAT(calls().callsTo({"ErrorReporter"}),
                ElementsAre("ErrorReporter.create()",
                            ::testing::StartsWith("ErrorReporter.ErrorHandler(13, \"KWOLFunc\", \"General\", "
                                                  "\"GetThreshold\", \"Type mismatch\", 7, \"<Variables>"),
                            "ErrorReporter.Action()"));
}

TEST_F(Reports, APublicMethodFailsWith65535AfterReportsOfEveryProcedureOnTheWay) {
    calls().failOn("SpamClientMD5.create", static_cast<HRESULT>(0x80040154u));
    auto object = create();
    const HRESULT hr = object->CreateFolder(ns().get());
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800AFFFFu));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    platform::Bstr description;
    info->GetDescription(description.put());
    EXPECT_EQ(description.text(), u"Application-defined or object-defined error");

    const auto& reports = env().reports;
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].procedure, u"InitCOM");
    EXPECT_EQ(reports[0].number, static_cast<std::int32_t>(0x80040154u));
    EXPECT_EQ(reports[1].procedure, u"CreateFolder");
    EXPECT_EQ(reports[1].number, 65535);
    // Both are procedures of the class: their reports list its members.
    EXPECT_THAT(platform::toUtf8(reports[0].report),
                ::testing::HasSubstr("<ModuleVariables>\r\n    <DisableVoting>False</DisableVoting>\r\n"
                                     "    <ProfileName></ProfileName>\r\n    <RecheckFolder>False</RecheckFolder>\r\n"
                                     "    <ObjOutlook>{Nothing}</ObjOutlook>\r\n    <ObjNS>{NameSpace}</ObjNS>\r\n"
                                     "    <objMailItem>{Nothing}</objMailItem>\r\n    <ObjError>False</ObjError>\r\n"
                                     "    <Outlookversion>0</Outlookversion>\r\n"
                                     "    <SafeMailItem>{Nothing}</SafeMailItem>\r\n"
                                     "    <objMAPIUtil>{Nothing}</objMAPIUtil>\r\n"
                                     "    <SpamClientCOM>{SpamClientCOM}</SpamClientCOM>\r\n"
                                     "    <SpamClientMD5>{Nothing}</SpamClientMD5>\r\n</ModuleVariables>"));
    EXPECT_THAT(platform::toUtf8(reports[0].report), ::testing::HasSubstr("<LocalVariables>\r\n{None}</LocalVariables>"));
    EXPECT_THAT(platform::toUtf8(reports[1].report),
                ::testing::HasSubstr("<Parameters>\r\n    <OutlookNS>{NameSpace}</OutlookNS>\r\n</Parameters>"));
}

TEST_F(Reports, ExternalTypesAreShownByAFixedText) {
    auto object = create();
    calls().failOn("KWMailItem.create", E_FAIL);
    BSTR id = platform::allocBstr(u"x"), text = nullptr;
    EXPECT_EQ(object->GetFolderName(&id, &text), static_cast<HRESULT>(0x800AFFFFu));
    SysFreeString(id);
    ASSERT_EQ(env().reports.size(), 2u);
    EXPECT_THAT(platform::toUtf8(env().reports[1].report),
                ::testing::HasSubstr("<LocalVariables>\r\n<mFolder>{Cannot dump external UDTs}</mFolder></LocalVariables>"));
}

class SettingsReports : public Reports {
protected:
    void SetUp() override {
        Reports::SetUp();
        kw::errorState().vbcsHasInitialised = true;
        const bool ini = false;
        const std::int32_t root = platform::root::CurrentUser;
        kw::RegRW::RegWrite(u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck", u"Mails checked", u"D",
                            Variant::i4(2147483647), ini, Text(), root);
    }
};

TEST_F(SettingsReports, ACounterOverflowIsReportedLineByLine) {
    const bool Spammail = true;
    try {
        kw::General::RecheckCount(Spammail);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 65535);
    }
    ASSERT_EQ(env().reports.size(), 1u);
    const standins::ErrorReport& r = env().reports[0];
    EXPECT_EQ(r.number, 6);
    EXPECT_EQ(r.module, u"General");
    EXPECT_EQ(r.procedure, u"RecheckCount");
    const std::string line = std::to_string(r.line);
    EXPECT_EQ(standins::utf8(r.report),
              "<Variables>\r\n"
              "<LocalVariables>\r\n"
              "    <ltemp>2147483647</ltemp>\r\n"
              "</LocalVariables>\r\n"
              "<ModuleVariables>\r\n"
              "{None}</ModuleVariables>\r\n"
              "<GlobalVariables>\r\n"
              "    <vbcsComponentID></vbcsComponentID>\r\n"
              "    <vbcsHasInitialised>True</vbcsHasInitialised>\r\n"
              "    <vbcsErrorNumber>6</vbcsErrorNumber>\r\n"
              "    <vbcsErrorDescription>Overflow</vbcsErrorDescription>\r\n"
              "    <vbcsErrorLine>" + line + "</vbcsErrorLine>\r\n"
              "    <vbcsErrorSource>KWOLFunc</vbcsErrorSource>\r\n"
              "</GlobalVariables>\r\n"
              "</Variables>\r\n"
              "<Parameters>\r\n"
              "    <Spammail>True</Spammail>\r\n"
              "</Parameters>");
    EXPECT_GT(r.line, 0) << "the line of the failing addition";
}

TEST_F(SettingsReports, ACounterOverflowWithoutTheComponentShowsTheBox) {
    env().uninstallErrorReporter();
    Text shown, title;
    platform::setMessageBoxPresenter([&](const Text& text, const Text& boxTitle, UINT) {
        shown = text;
        title = boxTitle;
        return IDOK;
    });
    const bool Spammail = false;
    EXPECT_THROW(kw::General::RecheckCount(Spammail), RuntimeError);
    platform::setMessageBoxPresenter({});
    EXPECT_EQ(title, u"Application Error");
    const std::string text = standins::utf8(shown);
    EXPECT_EQ(text.substr(0, text.find("Line Number: ")),
              "KWOLFunc has encountered a problem. We are sorry for the inconvenience.\r\n\r\n"
              "Module: General\r\nProcedure: RecheckCount\r\n");
    EXPECT_TRUE(text.ends_with("\r\n\r\nOverflow (6)")) << text;
}

TEST_F(Reports, AProcedureWithNothingToListReportsNoneThreeTimes) {
    EXPECT_THROW(Procedure(kw::modules::General, u"GetCheckMail", Site::none()).run([] { kw::raise(kw::err::InvalidCall); }),
                 RuntimeError);
    ASSERT_EQ(env().reports.size(), 1u);
    const std::string report = standins::utf8(env().reports[0].report);
    EXPECT_TRUE(report.starts_with("<Variables>\r\n<LocalVariables>\r\n{None}</LocalVariables>\r\n"
                                   "<ModuleVariables>\r\n{None}</ModuleVariables>\r\n<GlobalVariables>\r\n"
                                   "    <vbcsComponentID></vbcsComponentID>\r\n"))
        << report;
    EXPECT_TRUE(report.ends_with("</Variables>\r\n<Parameters>\r\n{None}</Parameters>")) << report;
}

}  // namespace
}  // namespace kwtest
