#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/RewriteHeader.h"

namespace {

using kw::HeaderRewrite;
using kw::RewriteHeader;
using kw::Text;

const Text kPlain = u"text/plain";
const Text kHtml = u"text/html";
const Text kNewPlain = u"Content-Type: text/plain; charset=\"utf-8\"\r\n";
const Text kNewHtml = u"Content-Type: text/html; charset=\"utf-8\"\r\n";

struct Case {
    const char* name;
    Text header;
    Text contentType;
    Text expected;
    Text orgContentType;
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

class RewriteHeaderCases : public testing::TestWithParam<Case> {};

TEST_P(RewriteHeaderCases, GivesExactHeaderBlock) {
    const Case& c = GetParam();
    HeaderRewrite work;
    EXPECT_EQ(RewriteHeader(c.header, c.contentType, work), c.expected);
    EXPECT_EQ(work.sOrgContentType, c.orgContentType);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, RewriteHeaderCases,
    testing::Values(
        Case{"AlternativeWithBoundaryOnTabLine",
             u"Content-Type: multipart/alternative;\r\n\tboundary=\"----=_NextPart_000_0012_01C2F0A1\"\r\n"
             u"Subject: Quarterly figures\r\n\r\n",
             kHtml, kNewHtml + u"Subject: Quarterly figures\r\n", u""},
        Case{"TransferEncodingInCapitalsWithContinuations",
             u"From: anna@example.com\r\nCONTENT-TRANSFER-ENCODING:\r\n   quoted-printable\r\n\t(folded)\r\n"
             u"Subject: s\r\ncontent-transfer-encoding: base64\r\nContent-Type: text/plain;\r\n charset=us-ascii\r\n"
             u"Content-Transfer-Encoding: 7bit\r\n\tmore\r\nX-After: 1\r\n\r\n",
             kPlain, u"From: anna@example.com\r\nSubject: s\r\n" + kNewPlain + u"X-After: 1\r\n", u""},
        Case{"TwoContentTypesBothReplaced",
             u"Content-Type: multipart/mixed;\r\n boundary=\"b1\"\r\nContent-type: text/html\r\nX-Mailer: m\r\n\r\n",
             kPlain, kNewPlain + kNewPlain + u"X-Mailer: m\r\n", u""},
        Case{"NoContentTypeGetsNone", u"Received: from a\r\nSubject: hello\r\n\r\n", kHtml,
             u"Received: from a\r\nSubject: hello\r\n", u""},
        Case{"FoldedLinesLoseSpacesButKeepTabs",
             u"Received: from mx.example.com   \r\n    by relay.example.net;\r\n\tTue, 1 Apr 2003 10:00:00 +0200\r\n"
             u"X-Tabbed: v\t \r\n\t\r\n\r\n",
             kPlain,
             u"Received: from mx.example.com\r\nby relay.example.net;\r\n\tTue, 1 Apr 2003 10:00:00 +0200\r\n"
             u"X-Tabbed: v\t\r\n\t\r\n",
             u""},
        Case{"FirstLineEmptyGivesNothing", u"\r\nSubject: s\r\n\r\n", kPlain, u"", u""},
        Case{"EmptyBlockGivesNothing", u"", kPlain, u"", u""},
        Case{"NoEmptyLineTakesWholeBlock", u"Subject: s\r\nContent-Type: text/html", kPlain,
             u"Subject: s\r\n" + kNewPlain, u""},
        Case{"LinesPastTheEmptyLineAreNotTaken", u"Subject: s\r\n\r\nFrom: f\r\nContent-Type: report\r\n", kPlain,
             u"Subject: s\r\n", u"X-Kestrelwood-Org-Content-Type: report\r\n"},
        Case{"MarkerLineEndsTheBlock", u"Subject: s\r\n|||||-|||||\r\nFrom: f\r\n", kPlain, u"Subject: s\r\n", u""},
        Case{"MarkerWithSpacesIsAnOrdinaryLine", u"Subject: s\r\n |||||-||||| \r\nFrom: f\r\n\r\n", kPlain,
             u"Subject: s\r\n|||||-|||||\r\nFrom: f\r\n", u""},
        Case{"SpacesOnlyLineIsSkippedAndDoesNotEndTheBlock", u"Subject: s\r\n    \r\nFrom: f\r\n\r\n", kPlain,
             u"Subject: s\r\nFrom: f\r\n", u""},
        Case{"NameWithoutSpaceMatchesNameAfterSpaceDoesNot",
             u"content-type:multipart/mixed\r\nSubject: s\r\n Content-Type: text/plain\r\n"
             u" Content-Transfer-Encoding: base64\r\nContent-Type\r\n\r\n",
             kHtml,
             kNewHtml + u"Subject: s\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\nContent-Type\r\n",
             u""},
        Case{"LoneCarriageReturnAndLineFeedStayInTheirLine",
             u"Subject: a\rb\r\nX-Lf: c\nd\r\nX-Cr: e\r\r\n\nX-Starts-With-Lf\r\n\r\n", kPlain,
             u"Subject: a\rb\r\nX-Lf: c\nd\r\nX-Cr: e\r\r\n\nX-Starts-With-Lf\r\n", u""},
        Case{"NamesLowerCaseLikeAllOtherText",
             u"CONTENT-TRANSFER-ENCOD\u0130NG: base64\r\nSubject: Gr\u00FC\u00DFe\r\n\r\n", kPlain,
             u"Subject: Gr\u00FC\u00DFe\r\n", u""},
        // Units that differ from the name's "-" and ":" only in the bit
        // that tells a letter's cases apart.
        Case{"NearMissesOfTheNamesAreOrdinaryLines",
             u"Content\rType: a\r\nContent-Type\x1A b\r\nContent-Transfer\rEncoding: c\r\n\r\n", kPlain,
             u"Content\rType: a\r\nContent-Type\x1A b\r\nContent-Transfer\rEncoding: c\r\n", u""},
        Case{"FirstReportContentTypeIsKept",
             u"Content-Type: multipart/mixed;\r\n\treport-type=delivery-status\r\n"
             u"Content-Type: Multipart/REPORT; report-type=delivery-status;\r\n\tboundary=\"r1\"\r\n"
             u"Content-Type: multipart/report; second\r\n\r\n",
             kHtml, kNewHtml + kNewHtml + kNewHtml,
             u"X-Kestrelwood-Org-Content-Type: Multipart/REPORT; report-type=delivery-status;\r\n"},
        Case{"ReportOutsideContentTypeIsIgnored", u"Subject: your report\r\nContent-Type:report\r\n\r\n", kPlain,
             u"Subject: your report\r\n" + kNewPlain, u"X-Kestrelwood-Org-Content-Type:report\r\n"}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// The caller's error report shows the working values, so they must describe
// this call only and stand as the passes left them.
TEST(RewriteHeaderWork, HoldsThePassesStateAndIsResetForEachCall) {
    HeaderRewrite work;
    RewriteHeader(u"Content-Type: multipart/report;\r\n boundary=x\r\nSubject: s\r\n\r\nFrom: f\r\nContent-Type: a\r\n",
                  kPlain, work);
    const std::vector<Text> lines{u"Content-Type: text/plain; charset=\"utf-8\"",
                                  u"",
                                  u"Subject: s",
                                  u"|||||-|||||",
                                  u"From: f",
                                  u"Content-Type: text/plain; charset=\"utf-8\"",
                                  u"|||||-|||||"};
    EXPECT_EQ(kw::SplitHeader(u"Content-Type: multipart/report;\r\n boundary=x\r\nSubject: s\r\n\r\nFrom: f\r\nContent-Type: a\r\n", kPlain), lines);
    EXPECT_EQ(work.A, 3);
    EXPECT_FALSE(work.LastLineContentType);
    EXPECT_EQ(work.sOrgContentType, u"X-Kestrelwood-Org-Content-Type: multipart/report;\r\n");

    EXPECT_EQ(RewriteHeader(u"Subject: s\r\nContent-Transfer-Encoding: 7bit", kPlain, work), u"Subject: s\r\n");
    EXPECT_EQ(kw::SplitHeader(u"Subject: s\r\nContent-Transfer-Encoding: 7bit", kPlain), (std::vector<Text>{u"Subject: s", u""}));
    EXPECT_EQ(work.A, 2);
    EXPECT_FALSE(work.LastLineContentType);
    EXPECT_TRUE(work.LastLineContentEncoding);
    EXPECT_EQ(work.sOrgContentType, u"");
}

}  // namespace
