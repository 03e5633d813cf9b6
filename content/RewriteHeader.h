// Header rewriting: turns the transport header block of a received mail into
// the header block of the rebuilt message that the spam client judges. That
// message has one single body part, so every Content-Type header is replaced
// by one naming the chosen body type in UTF-8, and every
// Content-Transfer-Encoding header is dropped, each with its folded
// continuation lines. All other header lines up to the first empty line are
// taken over in their order, with the spaces at both ends removed.
//
// A pure text transformation: no outward calls and no failure of its own.
// It depends on nothing but the standard library and platform/strings.h.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/strings.h"

namespace kw {

using platform::Text;
using platform::TextView;

// The working values of one rewrite. The procedure that rewrites the headers
// owns them and lists them in its error report, so a report shows them as
// they stood when a failure passed through; RewriteHeader resets them all at
// its start.
struct HeaderRewrite {
    // The index of the line that ended the block (an empty line, or one that
    // reads "|||||-|||||"), or the number of lines when no line did.
    std::int32_t A = 0;
    // True while the lines just passed belong to a Content-Type header, or
    // to a Content-Transfer-Encoding header; never both. They describe the
    // last line of sOrgHeader, also when it lies past the end of the block.
    bool LastLineContentType = false;
    bool LastLineContentEncoding = false;
    // "X-Kestrelwood-Org-Content-Type:" + the value of the first Content-Type
    // header line that mentions "report" (in any letter case) + CR LF, or
    // empty text when there is none.
    //
    // It is kept for the error report only and is never added to the
    // rebuilt message. The spam client has always judged and learnt from
    // text without that line; adding it would change the tokens it sees for
    // every delivery and read report, and so shift its verdicts and what it
    // has learnt, for no gain in what it can tell apart.
    Text sOrgContentType;
};

// Rewrites the header block sOrgHeader (lines separated by CR LF) for a body
// of type ContentType ("text/plain" or "text/html"). Returns the lines taken
// over, each followed by CR LF; empty text when none is. The result never
// holds an empty line.
//
// Header names are compared in lower case, with the same case mapping as
// every other lower-casing in the component (platform/casefold.h): a name
// written with U+0130, which lower-cases to "i", is recognised as that name.
// The search for "report" in a Content-Type line lower-cases the same way.
//
// Every step is linear in the size of sOrgHeader and of the result. The text
// must come from an automation string, so its lines can be counted in 32 bits.
//
// One pass over the text: lines are spans of sOrgHeader, found eight code
// units at a time, and runs of lines taken over unchanged are copied at once.
Text RewriteHeader(TextView sOrgHeader, TextView ContentType, HeaderRewrite& work);

// The header lines, split at CR LF pairs, as the rewrite judges them: an
// empty line reads as the end marker "|||||-|||||", a dropped line as empty
// text, a Content-Type line as its replacement. Error reports show this
// array; it is built only when a report asks for it.
std::vector<Text> SplitHeader(TextView sOrgHeader, TextView ContentType);

}  // namespace kw
