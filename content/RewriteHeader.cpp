#include "content/RewriteHeader.h"

#include "platform/textscan.h"
#include "platform/casefold.h"

#include <cstddef>

namespace kw {

namespace {

namespace scan = platform::scan;

constexpr TextView kLineEnd = u"\r\n";
// Stands in for an empty line; it ends the header block.
constexpr TextView kEndMarker = u"|||||-|||||";
// Header names as compared, in lower case with their colon.
constexpr TextView kContentType = u"content-type:";
constexpr TextView kTransferEncoding = u"content-transfer-encoding:";
constexpr TextView kReport = u"report";
constexpr TextView kOrgContentTypeName = u"X-Kestrelwood-Org-Content-Type:";

// What becomes of one header line.
enum class Fate { Taken, Dropped, Replaced, End };

Text newContentType(TextView ContentType) {
    Text line;
    line.append(u"Content-Type: ").append(ContentType).append(u"; charset=\"utf-8\"");
    return line;
}

// Judges one line, given the state the lines before it left in work.
Fate judge(TextView line, HeaderRewrite& work) {
    if (line.empty() || line == kEndMarker) {
        work.LastLineContentType = work.LastLineContentEncoding = false;
        return Fate::End;
    }
    // A folded continuation line begins with a space or a tab.
    if ((work.LastLineContentType || work.LastLineContentEncoding) && (line.front() == u' ' || line.front() == u'\t'))
        return Fate::Dropped;
    work.LastLineContentType = work.LastLineContentEncoding = false;
    if (platform::loweredAt(line, 0, kContentType)) {
        if (work.sOrgContentType.empty() && platform::containsLowered(line, kReport)) {
            const TextView value = line.substr(kContentType.size());
            work.sOrgContentType.reserve(kOrgContentTypeName.size() + value.size() + kLineEnd.size());
            work.sOrgContentType.append(kOrgContentTypeName).append(value).append(kLineEnd);
        }
        work.LastLineContentType = true;
        return Fate::Replaced;
    }
    if (platform::loweredAt(line, 0, kTransferEncoding)) {
        work.LastLineContentEncoding = true;
        return Fate::Dropped;
    }
    return Fate::Taken;
}

// Hands every line of text to visit with its fate, and whether the block has
// ended before it. Every line is judged, also those past the end of the
// block, so the working values describe the whole text.
template <class Visit>
void walkLines(TextView text, HeaderRewrite& work, Visit&& visit) {
    work = HeaderRewrite{};
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    std::int32_t index = 0;
    bool ended = false;
    for (;; ++index) {
        const char16_t* const lineEnd = scan::lineEnd(p, end);
        const TextView line(p, static_cast<std::size_t>(lineEnd - p));
        const Fate fate = judge(line, work);
        if (fate == Fate::End && !ended) {
            ended = true;
            work.A = index;
        }
        visit(line, fate, ended, lineEnd != end);
        if (lineEnd == end) break;
        p = lineEnd + kLineEnd.size();
    }
    if (!ended) work.A = index + 1;
}

}  // namespace

Text RewriteHeader(TextView sOrgHeader, TextView ContentType, HeaderRewrite& work) {
    const Text replacement = newContentType(ContentType);
    Text sNewHeader;
    sNewHeader.reserve(sOrgHeader.size() + replacement.size() + kLineEnd.size());
    // Lines taken over as they stand, each with the CR LF that follows it in
    // the input, are gathered into one run and copied together.
    const char16_t* runStart = nullptr;
    const char16_t* runEnd = nullptr;
    const auto flush = [&] {
        if (runStart != runEnd) sNewHeader.append(runStart, static_cast<std::size_t>(runEnd - runStart));
        runStart = runEnd = nullptr;
    };
    walkLines(sOrgHeader, work, [&](TextView line, Fate fate, bool ended, bool hasLineEnd) {
        if (ended) return;
        if (fate == Fate::Replaced) {
            flush();
            sNewHeader.append(replacement).append(kLineEnd);
            return;
        }
        if (fate != Fate::Taken) return;
        const TextView kept = platform::trimSpaces(line);
        if (kept.empty()) return;
        if (kept.size() == line.size() && hasLineEnd) {
            if (line.data() != runEnd) {
                flush();
                runStart = line.data();
            }
            runEnd = line.data() + line.size() + kLineEnd.size();
            return;
        }
        flush();
        sNewHeader.append(kept).append(kLineEnd);
    });
    flush();
    return sNewHeader;
}

std::vector<Text> SplitHeader(TextView sOrgHeader, TextView ContentType) {
    const Text replacement = newContentType(ContentType);
    std::vector<Text> lines;
    HeaderRewrite work;
    walkLines(sOrgHeader, work, [&](TextView line, Fate fate, bool, bool) {
        switch (fate) {
            case Fate::Taken: lines.emplace_back(line); break;
            case Fate::Dropped: lines.emplace_back(); break;
            case Fate::Replaced: lines.push_back(replacement); break;
            case Fate::End: lines.emplace_back(kEndMarker); break;
        }
    });
    return lines;
}

}  // namespace kw
