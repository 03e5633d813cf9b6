// Fast scans over UTF-16 text: the next CR LF pair and the next code unit of
// one value. Header blocks and bodies are long, their lines short, so these
// compare eight code units at a time where the processor has SSE2.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::scan {

// The first CR of a CR LF pair in [p, end), or end when there is none.
inline const char16_t* lineEnd(const char16_t* p, const char16_t* end) noexcept {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16(u'\r'), lf = _mm_set1_epi16(u'\n');
    while (end - p >= 9) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const int mask = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(here, cr), _mm_cmpeq_epi16(next, lf)));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
        p += 8;
    }
#endif
    for (; end - p >= 2; ++p)
        if (p[0] == u'\r' && p[1] == u'\n') return p;
    return end;
}

// The first code unit equal to unit in [p, end), or end.
inline const char16_t* unit(const char16_t* p, const char16_t* end, char16_t unit) noexcept {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    while (end - p >= 8) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(here, wanted));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
        p += 8;
    }
#endif
    for (; p != end; ++p)
        if (*p == unit) return p;
    return end;
}

}  // namespace platform::scan
