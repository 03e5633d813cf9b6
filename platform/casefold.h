// Letter case as the system's case mapping gives it for the Latin, Greek and
// Cyrillic letters; every other character is its own upper and lower case.
// Used wherever text is lower- or upper-cased or names are matched without
// regard to letter case (file names, registry names, markers in text).
#pragma once

#include "platform/strings.h"
#include "platform/textscan.h"

namespace platform {

constexpr char16_t upperChar(char16_t c) noexcept {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c < 0xB5) return c;
    if (c == 0xB5) return 0x39C;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c == 0x131) return u'I';
    // Latin Extended-A: upper and lower case alternate in pairs.
    const bool upperEven = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool upperOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (upperEven) return static_cast<char16_t>(c & ~1u);
    if (upperOdd) return (c & 1u) != 0 ? c : static_cast<char16_t>(c - 1);
    if (c == 0x192) return 0x191;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

constexpr char16_t lowerChar(char16_t c) noexcept {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c < 0xC0) return c;
    if (c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c == 0x130) return u'i';
    const bool upperEven = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool upperOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (upperEven) return static_cast<char16_t>(c | 1u);
    if (upperOdd) return (c & 1u) != 0 ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x191) return 0x192;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    return c;
}

inline Text upperCase(TextView text) {
    Text out(text);
    for (char16_t& c : out) c = upperChar(c);
    return out;
}

inline Text lowerCase(TextView text) {
    Text out(text);
    for (char16_t& c : out) c = lowerChar(c);
    return out;
}

// Whether text, lower-cased, holds lowerWord (given in lower case) at pos.
constexpr bool loweredAt(TextView text, std::size_t pos, TextView lowerWord) noexcept {
    if (pos > text.size() || text.size() - pos < lowerWord.size()) return false;
    for (std::size_t i = 0; i < lowerWord.size(); ++i)
        if (lowerChar(text[pos + i]) != lowerWord[i]) return false;
    return true;
}

// Whether text, lower-cased, contains lowerWord (given in lower case),
// without making the lower-cased copy; linear in text for the short words
// searched for. Only the places where the word can begin are compared,
// found many code units at a time: an ASCII unit that is no letter stands
// only for itself, so a word that begins with two such units (such as "<!")
// can only begin where that very pair stands; an ASCII letter other than
// "i" stands for itself and its capital ("i" also for U+0130).
inline bool containsLowered(TextView text, TextView lowerWord) noexcept {
    if (lowerWord.empty()) return true;
    const auto onlyItself = [](char16_t unit) { return unit < 0x80 && !(unit >= u'a' && unit <= u'z'); };
    const char16_t first = lowerWord.front();
    const char16_t* const end = text.data() + text.size();
    const auto at = [&](const char16_t* p) { return loweredAt(text, static_cast<std::size_t>(p - text.data()), lowerWord); };
    if (lowerWord.size() >= 2 && onlyItself(first) && onlyItself(lowerWord[1])) {
        for (const char16_t* p = scan::pair(text.data(), end, first, lowerWord[1]); p != end;
             p = scan::pair(p + 1, end, first, lowerWord[1]))
            if (at(p)) return true;
        return false;
    }
    if (first < 0x80 && first != u'i') {
        const char16_t other = onlyItself(first) ? first : static_cast<char16_t>(first - 0x20);
        for (const char16_t* p = scan::either(text.data(), end, first, other); p != end;
             p = scan::either(p + 1, end, first, other))
            if (at(p)) return true;
        return false;
    }
    for (std::size_t pos = 0; pos + lowerWord.size() <= text.size(); ++pos)
        if (loweredAt(text, pos, lowerWord)) return true;
    return false;
}

// Two names are the same when their upper-case forms are equal.
constexpr bool sameName(TextView a, TextView b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperChar(a[i]) != upperChar(b[i])) return false;
    return true;
}

}  // namespace platform
