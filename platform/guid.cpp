#include "platform/guid.h"

namespace platform {

namespace {
int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool readHex(std::u16string_view text, std::size_t at, int digits, unsigned long long& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigit(text[at + static_cast<std::size_t>(i)]);
        if (d < 0) return false;
        out = out * 16 + static_cast<unsigned>(d);
    }
    return true;
}
}  // namespace

std::optional<GUID> parseGuid(std::u16string_view text) {
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
    if (text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-') return std::nullopt;
    GUID g{};
    unsigned long long v = 0;
    if (!readHex(text, 1, 8, v)) return std::nullopt;
    g.Data1 = static_cast<decltype(g.Data1)>(v);
    if (!readHex(text, 10, 4, v)) return std::nullopt;
    g.Data2 = static_cast<decltype(g.Data2)>(v);
    if (!readHex(text, 15, 4, v)) return std::nullopt;
    g.Data3 = static_cast<decltype(g.Data3)>(v);
    for (int i = 0; i < 2; ++i) {
        if (!readHex(text, 20 + 2 * static_cast<std::size_t>(i), 2, v)) return std::nullopt;
        g.Data4[i] = static_cast<unsigned char>(v);
    }
    for (int i = 0; i < 6; ++i) {
        if (!readHex(text, 25 + 2 * static_cast<std::size_t>(i), 2, v)) return std::nullopt;
        g.Data4[2 + i] = static_cast<unsigned char>(v);
    }
    return g;
}

std::u16string formatGuid(const GUID& g) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(38);
    auto put = [&](unsigned long long v, int count) {
        for (int i = count - 1; i >= 0; --i) out.push_back(digits[(v >> (4 * i)) & 0xF]);
    };
    out.push_back(u'{');
    put(g.Data1, 8);
    out.push_back(u'-');
    put(g.Data2, 4);
    out.push_back(u'-');
    put(g.Data3, 4);
    out.push_back(u'-');
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    out.push_back(u'-');
    for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
    out.push_back(u'}');
    return out;
}

}  // namespace platform
