// The fast scans that the rewrite and the assembly search text with, held
// against the plain searches they replace at every position of a block of
// sixteen code units and across its edges.
#include <gtest/gtest.h>

#include "platform/casefold.h"
#include "platform/textscan.h"

namespace {

using platform::Text;
using platform::TextView;

std::size_t lineEndAt(TextView text) {
    return static_cast<std::size_t>(platform::scan::lineEnd(text.data(), text.data() + text.size()) - text.data());
}

std::size_t plainLineEnd(TextView text) {
    const std::size_t found = text.find(u"\r\n");
    return found == TextView::npos ? text.size() : found;
}

TEST(TextScan, LineEndIsTheFirstCrLfPairWhereverItStands) {
    for (std::size_t size = 0; size <= 40; ++size) {
        for (std::size_t at = 0; at + 1 <= size; ++at) {
            // A lone LF and two CRs not followed by LF before the pair, and
            // a CR as the last unit where the pair does not fit.
            Text text(size, u'x');
            if (at >= 3) text.replace(at - 3, 3, u"\n\r\r");
            if (at + 2 <= size) text.replace(at, 2, u"\r\n");
            else text[at] = u'\r';
            SCOPED_TRACE(testing::Message() << "size " << size << ", pair at " << at);
            EXPECT_EQ(lineEndAt(text), plainLineEnd(text));
        }
    }
}

TEST(TextScan, EitherFindsTheFirstOfTwoUnits) {
    for (std::size_t at = 0; at < 40; ++at) {
        Text text(40, u'a');
        text[at] = at % 2 == 0 ? u'R' : u'r';
        if (at + 5 < text.size()) text[at + 5] = u'r';
        const char16_t* found = platform::scan::either(text.data(), text.data() + text.size(), u'r', u'R');
        EXPECT_EQ(found - text.data(), static_cast<std::ptrdiff_t>(at));
    }
    const Text none(20, u'a');
    EXPECT_EQ(platform::scan::either(none.data(), none.data() + none.size(), u'r', u'R'), none.data() + none.size());
}

TEST(TextScan, ContainsLoweredMatchesTheLoweredTextsSearch) {
    struct Row {
        Text text;
        TextView word;
        bool found;
    };
    const Row rows[] = {
        {u"Content-Type: multipart/REPORT; x", u"report", true},
        {u"Content-Type: multipart/RePoRt", u"report", true},
        {u"Content-Type: multipart/rep ort, reporT", u"report", true},
        {u"Content-Type: multipart/repor", u"report", false},
        {u"xxxxxxxREPORT", u"report", true},
        {u"<html><!-- Converted From Text/Plain Format --></html>", u"<!-- converted from text/plain format -->", true},
        {u"<html><!-- converted from text/plain -->", u"<!-- converted from text/plain format -->", false},
        {u"<!DOCTYPE html><p>a < ! b</p><!-- converted from text/plain format -->",
         u"<!-- converted from text/plain format -->", true},
        {u"<!DOCTYPE html><p>x</p>", u"<!-- converted from text/plain format -->", false},
        // U+0130 lower-cases to "i", in the first place too.
        {u"an \u0130mage", u"image", true},
        {u"the D\u0130SPOSITION", u"disposition", true},
        {u"\u0131mage", u"image", false},
        {u"", u"report", false},
        {u"anything", u"", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "word of " << row.word.size() << " units in text of " << row.text.size());
        EXPECT_EQ(platform::containsLowered(row.text, row.word), row.found);
        EXPECT_EQ(platform::lowerCase(row.text).find(row.word) != Text::npos, row.found);
    }
}

}  // namespace
