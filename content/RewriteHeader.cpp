#include "content/RewriteHeader.h"

#include "platform/textscan.h"
#include "platform/casefold.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kw {

namespace {

namespace scan = platform::scan;

constexpr TextView kLineEnd = u"\r\n";
// Stands in for an empty line; it ends the header block.
constexpr TextView kEndMarker = u"|||||-|||||";
constexpr TextView kReport = u"report";
constexpr TextView kOrgContentTypeName = u"X-Kestrelwood-Org-Content-Type:";

// A header name with its colon, in lower case, that a line may begin with.
// The line is compared four code units at a time: a letter matches either
// of its ASCII cases, every other unit only itself. Only a unit past ASCII
// can lower-case into the name otherwise (U+0130 gives "i"), so four units
// that hold one are compared with the full case mapping.
class HeaderName {
public:
    explicit constexpr HeaderName(TextView lower) : name_(lower) {
        for (std::size_t chunk = 0; chunk < lower.size() / 4; ++chunk) {
            std::array<char16_t, 4> units{}, letters{};
            for (std::size_t i = 0; i < 4; ++i) {
                units[i] = lower[chunk * 4 + i];
                letters[i] = units[i] >= u'a' && units[i] <= u'z' ? 0x20 : 0;
            }
            units_[chunk] = std::bit_cast<std::uint64_t>(units);
            letters_[chunk] = std::bit_cast<std::uint64_t>(letters);
        }
    }

    constexpr std::size_t size() const noexcept { return name_.size(); }

    bool begins(TextView line) const noexcept {
        if (line.size() < name_.size()) return false;
        constexpr std::uint64_t kPastAscii = 0xFF80FF80FF80FF80u;
        std::size_t i = 0;
        for (; i + 4 <= name_.size(); i += 4) {
            std::uint64_t units;
            std::memcpy(&units, line.data() + i, sizeof units);
            if ((units | letters_[i / 4]) != units_[i / 4])
                return (units & kPastAscii) != 0 && platform::loweredAt(line, 0, name_);
        }
        return platform::loweredAt(line, i, name_.substr(i));
    }

private:
    TextView name_;
    std::array<std::uint64_t, 8> units_{}, letters_{};
};

constexpr HeaderName kContentType{u"content-type:"};
constexpr HeaderName kTransferEncoding{u"content-transfer-encoding:"};

// What becomes of one header line.
enum class Fate { Taken, Dropped, Replaced, End };

Text newContentType(TextView ContentType) {
    Text line;
    line.append(u"Content-Type: ").append(ContentType).append(u"; charset=\"utf-8\"");
    return line;
}

// The fate of a line that begins with "c" or "C" (the only units that
// lower-case to "c"), after a line that was no Content-* header.
Fate judgeNamed(TextView line, HeaderRewrite& work) {
    if (kContentType.begins(line)) {
        if (work.sOrgContentType.empty() && platform::containsLowered(line, kReport)) {
            const TextView value = line.substr(kContentType.size());
            work.sOrgContentType.reserve(kOrgContentTypeName.size() + value.size() + kLineEnd.size());
            work.sOrgContentType.append(kOrgContentTypeName).append(value).append(kLineEnd);
        }
        work.LastLineContentType = true;
        return Fate::Replaced;
    }
    if (kTransferEncoding.begins(line)) {
        work.LastLineContentEncoding = true;
        return Fate::Dropped;
    }
    return Fate::Taken;
}

// Judges one line, given the state the lines before it left in work. Most
// lines are settled by their first code unit: only an empty line, a folded
// line after a Content-* header, a line beginning with "c" or "C" and one
// beginning with "|" need a closer look.
inline Fate judge(TextView line, HeaderRewrite& work) {
    if (line.empty()) {
        work.LastLineContentType = work.LastLineContentEncoding = false;
        return Fate::End;
    }
    const char16_t first = line.front();
    // A folded continuation line begins with a space or a tab; it cannot be
    // the end marker or a header name.
    if (first == u' ' || first == u'\t')
        return work.LastLineContentType || work.LastLineContentEncoding ? Fate::Dropped : Fate::Taken;
    work.LastLineContentType = work.LastLineContentEncoding = false;
    if ((first | 0x20) == u'c') return judgeNamed(line, work);
    if (first == u'|' && line == kEndMarker) return Fate::End;
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
        // Only a line with a space at one of its ends needs trimming.
        const bool trimmed = line.front() == u' ' || line.back() == u' ';
        if (!trimmed && hasLineEnd) {
            if (line.data() != runEnd) {
                flush();
                runStart = line.data();
            }
            runEnd = line.data() + line.size() + kLineEnd.size();
            return;
        }
        const TextView kept = trimmed ? platform::trimSpaces(line) : line;
        if (kept.empty()) return;
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
