// Fast scans over UTF-16 text: the next CR LF (or other) pair of code units
// and the next code unit of either of two values. Header blocks and bodies are long, their lines
// short, so these compare many code units at a time where the processor has
// SSE2.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::scan {

// The first place in [p, end) where first is followed by second, or end
// when there is none. Sixteen code units are searched for first at a time;
// each one found is then confirmed by the unit after it.
inline const char16_t* pair(const char16_t* p, const char16_t* end, char16_t first, char16_t second) noexcept {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(first));
    while (end - p >= 16) {
        const __m128i low = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wanted);
        const __m128i high = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), wanted);
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        for (; mask != 0; mask &= mask - 1) {
            const char16_t* const found = p + __builtin_ctz(mask);
            if (end - found >= 2 && found[1] == second) return found;
        }
        p += 16;
    }
#endif
    for (; end - p >= 2; ++p)
        if (p[0] == first && p[1] == second) return p;
    return end;
}

// The first CR of a CR LF pair in [p, end), or end when there is none.
inline const char16_t* lineEnd(const char16_t* p, const char16_t* end) noexcept { return pair(p, end, u'\r', u'\n'); }

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
