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

// What a frame refuses to compile: a binding to a temporary, a variable with
// no report form (a pointer would read as a Boolean), a module given as bare
// text (a procedure of Functions names its object, so its members are never
// forgotten).
static_assert(std::is_constructible_v<kw::Binding, const char16_t*, const Text&>);
static_assert(std::is_constructible_v<kw::Binding, const char16_t*, const Boolean&>);
static_assert(!std::is_constructible_v<kw::Binding, const char16_t*, Text&&>);
static_assert(!std::is_constructible_v<kw::Binding, const char16_t*, const char16_t* const&>);
static_assert(!std::is_constructible_v<kw::Binding, const char16_t*, const long&>);
static_assert(!std::is_constructible_v<Procedure, const char16_t*, const char16_t*, Site>);
static_assert(std::is_constructible_v<Procedure, const kw::Functions&, const char16_t*, Site>);

// A chain of sample procedures, Level1 (outermost) to Level<depth>. The
// innermost raises error 6; the caller at `ignoringAt` (0: none) makes its
// call with failures ignored.
struct Levels {
    static inline int depth = 0;
    static inline int ignoringAt = 0;
    static inline int raiseLine = 0;
    static inline int callLine[5] = {};

    static std::int32_t level(int n, const Text& Name, Site at = Site::here()) {
        static constexpr const char16_t* names[] = {u"Level1", u"Level2", u"Level3", u"Level4"};
        std::int32_t Count = 41;
        return Procedure(kSample, names[n - 1], at).locals({KW_VAR(Count)}).params({KW_VAR(Name)}).run([&] {
            Count = 42;
            if (n == depth) raiseLine = __LINE__, kw::raise(kw::err::Overflow);
            else if (n == ignoringAt) kw::ignoringFailure([&] { level(n + 1, Name); });
            else callLine[n] = __LINE__, level(n + 1, Name);
            return Count;
        });
    }
};

class Reports : public StandInTest {};

TEST_F(Reports, EveryProcedureOnTheChainReportsUntilACallerIgnoresTheFailureOrAReportFails) {
    const auto accessDenied = static_cast<std::int32_t>(E_ACCESSDENIED);
    struct Case {
        const char* what;
        int depth, ignoringAt;
        const char* failingMember;  // a call on the error-report component that fails, or null
        int failingCall;            // which call of it fails
        Chain reports;
        std::int32_t raised;  // what the outermost's caller receives; 0 for nothing
    };
    const Case cases[] = {
        {"two", 2, 0, nullptr, 0, {{u"Level2", 6}, {u"Level1", 65535}}, 65535},
        {"three", 3, 0, nullptr, 0, {{u"Level3", 6}, {u"Level2", 65535}, {u"Level1", 65535}}, 65535},
        {"four, the second ignores", 4, 2, nullptr, 0, {{u"Level4", 6}, {u"Level3", 65535}}, 0},
        {"three, the first ignores", 3, 1, nullptr, 0, {{u"Level3", 6}, {u"Level2", 65535}}, 0},
        // The third level's report fails (the component records nothing):
        // that failure reaches the second level, which reports it.
        {"four, a report fails", 4, 0, "ErrorReporter.ErrorHandler", 2,
         {{u"Level4", 6}, {u"Level2", accessDenied}, {u"Level1", 65535}}, 65535},
        {"three, reading Action fails", 3, 0, "ErrorReporter.Action", 1,
         {{u"Level3", 6}, {u"Level2", accessDenied}, {u"Level1", 65535}}, 65535},
        {"three, the outermost report fails", 3, 0, "ErrorReporter.ErrorHandler", 3,
         {{u"Level3", 6}, {u"Level2", 65535}}, accessDenied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env().reports.clear();
        calls().clear();
        calls().clearFailures();
        if (c.failingMember != nullptr) calls().failOn(c.failingMember, E_ACCESSDENIED, c.failingCall);
        Levels::depth = c.depth;
        Levels::ignoringAt = c.ignoringAt;
        std::int32_t raised = 0, raisedLine = 0;
        int topLine = 0;
        try {
            topLine = __LINE__, Levels::level(1, u"a<b");
        } catch (const RuntimeError& e) {
            raised = e.number();
            raisedLine = e.line();
        }
        EXPECT_EQ(raised, c.raised);
        if (raised != 0) {
            EXPECT_EQ(raisedLine, topLine) << "the caller learns the line of its own call";
        }

        EXPECT_EQ(reportChain(), c.reports);
        for (const auto& r : env().reports) {
            const int n = r.procedure.back() - u'0';
            EXPECT_EQ(r.line, n == c.depth ? Levels::raiseLine : Levels::callLine[n])
                << "each report names the failing statement, or the call in the procedure";
            EXPECT_EQ(r.component, u"KWOLFunc");
            EXPECT_EQ(r.module, u"Sample");
            EXPECT_EQ(r.version, u"1.0.117");
            // The values as they stood, written unchanged.
            EXPECT_NE(standins::utf8(r.report).find("<Count>42</Count>"), std::string::npos);
            EXPECT_NE(standins::utf8(r.report).find("<Name>a<b</Name>"), std::string::npos);
        }
        // A new component for every report, and none after a failing one.
        EXPECT_EQ(calls().count("ErrorReporter.create"), calls().count("ErrorReporter.ErrorHandler"));
    }
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
    Levels::depth = 1;
    EXPECT_THROW(Levels::level(1, u"x"), RuntimeError);
    platform::setMessageBoxPresenter({});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, u"Application Error");
    EXPECT_EQ(style, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(boxes[0].first, Text(u"KWOLFunc has encountered a problem. We are sorry for the inconvenience.") +
                                  kCrLf + kCrLf + u"Module: Sample" + kCrLf + u"Procedure: Level1" + kCrLf +
                                  u"Line Number: " + platform::fromUtf8(std::to_string(Levels::raiseLine)) + kCrLf +
                                  kCrLf + u"Overflow (6)");
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
    EXPECT_EQ(hr, kFailed65535);
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
    platform::Bstr id, text;
    EXPECT_EQ(object->GetFolderName(id.put(), text.put()), kFailed65535);
    ASSERT_EQ(env().reports.size(), 2u);
    EXPECT_THAT(platform::toUtf8(env().reports[1].report),
                ::testing::HasSubstr("<LocalVariables>\r\n<mFolder>{Cannot dump external UDTs}</mFolder></LocalVariables>"));
}

// The whole text of a report, for the worked example of a counter overflow
// and for a procedure with nothing to list.
TEST_F(Reports, TheReportTextIsLaidOutExactly) {
    kw::errorState().vbcsHasInitialised = true;
    kw::RegRW::RegWrite(u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck", u"Mails checked", u"D",
                        Variant::i4(2147483647), false, Text(), platform::root::CurrentUser);
    auto globals = [](const standins::ErrorReport& r) {
        return "<GlobalVariables>\r\n"
               "    <vbcsComponentID></vbcsComponentID>\r\n"
               "    <vbcsHasInitialised>True</vbcsHasInitialised>\r\n"
               "    <vbcsErrorNumber>" + std::to_string(r.number) + "</vbcsErrorNumber>\r\n"
               "    <vbcsErrorDescription>" + standins::utf8(r.description) + "</vbcsErrorDescription>\r\n"
               "    <vbcsErrorLine>" + std::to_string(r.line) + "</vbcsErrorLine>\r\n"
               "    <vbcsErrorSource>KWOLFunc</vbcsErrorSource>\r\n"
               "</GlobalVariables>\r\n";
    };
    const bool Spammail = true;
    EXPECT_THROW(kw::General::RecheckCount(Spammail), RuntimeError);
    EXPECT_THROW(Procedure(kw::modules::General, u"GetCheckMail", Site::none()).run([] { kw::raise(kw::err::InvalidCall); }),
                 RuntimeError);
    ASSERT_EQ(env().reports.size(), 2u);
    const standins::ErrorReport& overflow = env().reports[0];
    EXPECT_EQ(overflow.number, 6);
    EXPECT_EQ(overflow.module, u"General");
    EXPECT_EQ(overflow.procedure, u"RecheckCount");
    EXPECT_GT(overflow.line, 0) << "the line of the failing addition";
    EXPECT_EQ(standins::utf8(overflow.report),
              "<Variables>\r\n"
              "<LocalVariables>\r\n"
              "    <ltemp>2147483647</ltemp>\r\n"
              "</LocalVariables>\r\n"
              "<ModuleVariables>\r\n"
              "{None}</ModuleVariables>\r\n" +
                  globals(overflow) +
                  "</Variables>\r\n"
                  "<Parameters>\r\n"
                  "    <Spammail>True</Spammail>\r\n"
                  "</Parameters>");
    const standins::ErrorReport& nothing = env().reports[1];
    EXPECT_EQ(standins::utf8(nothing.report),
              "<Variables>\r\n<LocalVariables>\r\n{None}</LocalVariables>\r\n"
              "<ModuleVariables>\r\n{None}</ModuleVariables>\r\n" +
                  globals(nothing) + "</Variables>\r\n<Parameters>\r\n{None}</Parameters>");
}

}  // namespace
}  // namespace kwtest
