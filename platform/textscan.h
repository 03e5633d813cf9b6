// Fast scans over UTF-16 text: the next CR LF pair and the next code unit of
// either of two values. Header blocks and bodies are long, their lines
// short, so these compare many code units at a time where the processor has
// SSE2.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::scan {

// The first CR of a CR LF pair in [p, end), or end when there is none.
// Sixteen code units are searched for CR at a time; a CR found is then
// confirmed by the LF after it.
inline const char16_t* lineEnd(const char16_t* p, const char16_t* end) noexcept {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16(u'\r');
    while (end - p >= 16) {
        const __m128i low = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), cr);
        const __m128i high = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), cr);
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        for (; mask != 0; mask &= mask - 1) {
            const char16_t* const found = p + __builtin_ctz(mask);
            if (end - found >= 2 && found[1] == u'\n') return found;
        }
        p += 16;
    }
#endif
    for (; end - p >= 2; ++p)
        if (p[0] == u'\r' && p[1] == u'\n') return p;
    return end;
}

// The first code unit equal to a or to b in [p, end), or end.
inline const char16_t* either(const char16_t* p, const char16_t* end, char16_t a, char16_t b) noexcept {
#if defined(__SSE2__)
    const __m128i wantedA = _mm_set1_epi16(static_cast<short>(a)), wantedB = _mm_set1_epi16(static_cast<short>(b));
    while (end - p >= 8) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(here, wantedA), _mm_cmpeq_epi16(here, wantedB)));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
        p += 8;
    }
#endif
    for (; p != end; ++p)
        if (*p == a || *p == b) return p;
    return end;
}

}  // namespace platform::scan
