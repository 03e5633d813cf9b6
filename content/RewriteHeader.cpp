#include "content/RewriteHeader.h"

#include "platform/casefold.h"

#include <cstddef>

namespace kw {

namespace {

constexpr TextView kLineEnd = u"\r\n";
// Stands in for an empty line in the split header; it ends the header block.
constexpr TextView kEndMarker = u"|||||-|||||";
// Header names as compared, in lower case with their colon.
constexpr TextView kContentType = u"content-type:";
constexpr TextView kTransferEncoding = u"content-transfer-encoding:";
constexpr TextView kReport = u"report";
constexpr TextView kOrgContentTypeName = u"X-Kestrelwood-Org-Content-Type:";

// A folded continuation line begins with a space or a tab.
bool isContinuation(const Text& line) noexcept { return line.front() == u' ' || line.front() == u'\t'; }

void splitAtLineEnds(TextView text, std::vector<Text>& lines) {
    std::size_t start = 0;
    for (std::size_t end = text.find(kLineEnd); end != TextView::npos; end = text.find(kLineEnd, start)) {
        lines.emplace_back(text.substr(start, end - start));
        start = end + kLineEnd.size();
    }
    lines.emplace_back(text.substr(start));
}

// The second pass: hands each line taken over, trimmed, to take, until the
// end marker. index runs over the lines as the pass goes.
template <class Take>
void walkTakenLines(const std::vector<Text>& lines, std::int32_t& index, Take&& take) {
    const auto count = static_cast<std::int32_t>(lines.size());
    for (index = 0; index < count; ++index) {
        const Text& line = lines[static_cast<std::size_t>(index)];
        const TextView kept = platform::trimSpaces(line);
        if (kept.empty()) continue;
        if (line == kEndMarker) break;
        take(kept);
    }
}

}  // namespace

Text RewriteHeader(TextView sOrgHeader, TextView ContentType, HeaderRewrite& work) {
    work = HeaderRewrite{};
    splitAtLineEnds(sOrgHeader, work.sSplitHeader);

    Text newContentType;
    newContentType.append(u"Content-Type: ").append(ContentType).append(u"; charset=\"utf-8\"");

    // First pass, over every line, also those past the end of the block.
    const auto count = static_cast<std::int32_t>(work.sSplitHeader.size());
    for (work.A = 0; work.A < count; ++work.A) {
        Text& line = work.sSplitHeader[static_cast<std::size_t>(work.A)];
        if (line.empty()) line = kEndMarker;

        if (work.LastLineContentType) {
            if (isContinuation(line)) line.clear();
            else work.LastLineContentType = false;
        } else if (work.LastLineContentEncoding) {
            if (isContinuation(line)) line.clear();
            else work.LastLineContentEncoding = false;
        }

        if (platform::loweredAt(line, 0, kContentType)) {
            if (work.sOrgContentType.empty() && platform::containsLowered(line, kReport)) {
                const TextView value = TextView(line).substr(kContentType.size());
                work.sOrgContentType.reserve(kOrgContentTypeName.size() + value.size() + kLineEnd.size());
                work.sOrgContentType.append(kOrgContentTypeName).append(value).append(kLineEnd);
            }
            line = newContentType;
            work.LastLineContentType = true;
        } else if (platform::loweredAt(line, 0, kTransferEncoding)) {
            line.clear();
            work.LastLineContentEncoding = true;
        }
    }

    // Second pass: measure the result, then build it in one buffer.
    std::size_t size = 0;
    std::int32_t measured = 0;
    walkTakenLines(work.sSplitHeader, measured, [&](TextView kept) { size += kept.size() + kLineEnd.size(); });

    Text sNewHeader;
    sNewHeader.reserve(size);
    walkTakenLines(work.sSplitHeader, work.A, [&](TextView kept) { sNewHeader.append(kept).append(kLineEnd); });
    return sNewHeader;
}

}  // namespace kw
