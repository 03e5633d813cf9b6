// Windows-1252. Its bytes 0x80 to 0x9F hold typographic characters; the five
// it leaves undefined map to the C1 controls of the same value, as Windows
// maps them, so that every byte survives a round trip.
#include "platform/codepage.h"

namespace platform {

namespace {

constexpr char16_t kHighBlock[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char toByte(char16_t c) noexcept {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (unsigned i = 0; i < 32; ++i)
        if (kHighBlock[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

// One byte per UTF-16 unit, so the byte count always equals the length of
// the text (each half of a surrogate pair becomes '?').
std::string toAnsi(TextView text) {
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = toByte(text[i]);
    return out;
}

Text fromAnsi(std::string_view bytes) {
    Text out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = b >= 0x80 && b < 0xA0 ? kHighBlock[b - 0x80] : static_cast<char16_t>(b);
    }
    return out;
}

}  // namespace platform
