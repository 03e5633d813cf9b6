// Input no real mail has, with the behaviour it gets: huge header blocks and
// attachment lists are handled in linear time, texts with lone surrogates
// and NULs pass through unchanged (the dump shows a NUL as {Null}), a collection containing itself is dumped
// to the nesting limit.
#include <gtest/gtest.h>

#include "content/RewriteHeader.h"
#include "core/safearray.h"
#include "errorcapture/DumpVariable.h"
#include "support/fixture.h"
#include "tests/content/rewriteheader_reference.h"

namespace kwtest {
namespace {

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
        const Text text = functions.GetCompleteMessageContent(item);
        std::size_t lines = 0;
        for (std::size_t at = text.find(u"X-Kestrelwood-Signature: "); at != Text::npos;
             at = text.find(u"X-Kestrelwood-Signature: ", at + 1))
            ++lines;
        EXPECT_EQ(lines, 100000u);
    }
    functions.UnInitCOM();
}

TEST(HostileDump, TextsWithLoneSurrogatesAndNulsAreDumpedAsTheyAre) {
    const Text odd = Text(u"a\0b", 3) + u"\xD800";
    const kw::Variant value = kw::Variant::text(odd);
    EXPECT_EQ(kw::DumpVariable(u"v", *value, 99, 4), u"    <v>a{Null}b\xD800</v>\r\n");
}

}  // namespace
}  // namespace kwtest
