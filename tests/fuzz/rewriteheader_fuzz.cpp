// Arbitrary header blocks through RewriteHeader. The input is read as
// UTF-16LE code units; an odd byte left over at the end picks the body type
// (text/html when it is odd, text/plain otherwise or when there is none).
// The result must keep the shape of a header block whatever the input, and
// the result, the working values and the split lines must be those of the
// plain reference form.
#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "content/RewriteHeader.h"
#include "platform/casefold.h"
#include "tests/content/rewriteheader_reference.h"

namespace {

using kw::Text;
using kw::TextView;

constexpr TextView kLineEnd = u"\r\n";

void require(bool condition) {
    if (!condition) __builtin_trap();
}

TextView withoutSpaces(TextView line) {
    const std::size_t first = line.find_first_not_of(u' ');
    if (first == TextView::npos) return {};
    return line.substr(first, line.find_last_not_of(u' ') - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool html = size % 2 == 1 && (data[size - 1] & 1) != 0;
    const Text contentType = html ? u"text/html" : u"text/plain";
    Text header(size / 2, u'\0');
    for (std::size_t i = 0; i < header.size(); ++i) {
        header[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }

    // A header name can reach the result unrecognised only on a folded line
    // that began with spaces, as the continuation of some other header.
    std::unordered_set<Text> spaceFolded;
    for (std::size_t start = 0, end = 0; start <= header.size(); start = end + kLineEnd.size()) {
        end = header.find(kLineEnd, start);
        if (end == Text::npos) end = header.size();
        const TextView line = TextView(header).substr(start, end - start);
        if (!line.empty() && line.front() == u' ') spaceFolded.emplace(withoutSpaces(line));
    }

    kw::HeaderRewrite work;
    const Text result = kw::RewriteHeader(header, contentType, work);
    const Text newContentType = u"Content-Type: " + contentType + u"; charset=\"utf-8\"";

    const kwref::Rewritten reference = kwref::rewriteHeader(header, contentType);
    require(result == reference.header);
    require(work.A == reference.work.A && work.LastLineContentType == reference.work.LastLineContentType &&
            work.LastLineContentEncoding == reference.work.LastLineContentEncoding &&
            work.sOrgContentType == reference.work.sOrgContentType);
    require(kw::SplitHeader(header, contentType) == reference.lines);

    require(!(work.LastLineContentType && work.LastLineContentEncoding));
    require(work.sOrgContentType.empty() ||
            (TextView(work.sOrgContentType).starts_with(u"X-Kestrelwood-Org-Content-Type:") &&
             TextView(work.sOrgContentType).ends_with(kLineEnd)));

    require(result.empty() || TextView(result).ends_with(kLineEnd));
    for (std::size_t start = 0; start < result.size();) {
        const std::size_t end = result.find(kLineEnd, start);
        const TextView line = TextView(result).substr(start, end - start);
        require(!line.empty());
        require(line.front() != u' ' && line.back() != u' ');
        if (platform::loweredAt(line, 0, u"content-transfer-encoding:")) require(spaceFolded.count(Text(line)) != 0);
        if (platform::loweredAt(line, 0, u"content-type:")) require(line == newContentType || spaceFolded.count(Text(line)) != 0);
        start = end + kLineEnd.size();
    }
    return 0;
}
