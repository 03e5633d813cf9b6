// The header rewrite in its plainest form, kept to check the fast one
// against: the block is split into one string per line, a first pass changes
// the lines in place, a second pass gathers what is taken over. Slow on
// purpose and obviously right; the fast rewrite must give the same result,
// the same working values and the same split lines for every input.
#pragma once

#include <vector>

#include "content/RewriteHeader.h"
#include "platform/casefold.h"

namespace kwref {

using kw::Text;
using kw::TextView;

struct Rewritten {
    Text header;
    kw::HeaderRewrite work;
    std::vector<Text> lines;
};

inline Rewritten rewriteHeader(TextView sOrgHeader, TextView ContentType) {
    Rewritten r;
    std::vector<Text>& lines = r.lines;
    kw::HeaderRewrite& work = r.work;
    std::size_t start = 0;
    for (std::size_t end = sOrgHeader.find(u"\r\n"); end != TextView::npos; end = sOrgHeader.find(u"\r\n", start)) {
        lines.emplace_back(sOrgHeader.substr(start, end - start));
        start = end + 2;
    }
    lines.emplace_back(sOrgHeader.substr(start));

    const Text newContentType = u"Content-Type: " + Text(ContentType) + u"; charset=\"utf-8\"";
    const auto count = static_cast<std::int32_t>(lines.size());
    for (work.A = 0; work.A < count; ++work.A) {
        Text& line = lines[static_cast<std::size_t>(work.A)];
        if (line.empty()) line = u"|||||-|||||";
        const bool continuation = line.front() == u' ' || line.front() == u'\t';
        if (work.LastLineContentType) {
            if (continuation) line.clear();
            else work.LastLineContentType = false;
        } else if (work.LastLineContentEncoding) {
            if (continuation) line.clear();
            else work.LastLineContentEncoding = false;
        }
        // The whole line lowered, so the reference needs none of the fast
        // comparisons it checks.
        const Text lowered = platform::lowerCase(line);
        if (lowered.starts_with(u"content-type:")) {
            if (work.sOrgContentType.empty() && lowered.find(u"report") != Text::npos)
                work.sOrgContentType = u"X-Kestrelwood-Org-Content-Type:" + line.substr(13) + u"\r\n";
            line = newContentType;
            work.LastLineContentType = true;
        } else if (lowered.starts_with(u"content-transfer-encoding:")) {
            line.clear();
            work.LastLineContentEncoding = true;
        }
    }
    for (work.A = 0; work.A < count; ++work.A) {
        const Text& line = lines[static_cast<std::size_t>(work.A)];
        const TextView kept = platform::trimSpaces(line);
        if (kept.empty()) continue;
        if (line == u"|||||-|||||") break;
        r.header.append(kept).append(u"\r\n");
    }
    return r;
}

}  // namespace kwref
