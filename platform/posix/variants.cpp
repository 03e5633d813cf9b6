// VARIANT lifetime and coercion. The coercions follow OLE Automation as it
// behaves for the English (United States) locale: numbers in decimal with at
// most 15 significant digits for Double and 7 for Single, integers, currency
// and DECIMAL with every digit, Booleans as True and False with
// VARIANT_ALPHABOOL (otherwise their number), dates as M/D/YYYY and
// h:mm:ss AM/PM, banker's rounding to integer types and to currency, and an
// object converted through its default member (DISPID_VALUE).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "platform/com.h"

void VariantInit(VARIANTARG* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
    if (v == nullptr) return E_INVALIDARG;
    if ((v->vt & VT_BYREF) == 0) {
        if (v->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else {
            switch (v->vt) {
                case VT_BSTR: SysFreeString(v->bstrVal); break;
                case VT_DISPATCH:
                case VT_UNKNOWN:
                    if (v->punkVal != nullptr) v->punkVal->Release();
                    break;
                case VT_RECORD:
                    if (v->pRecInfo != nullptr) v->pRecInfo->Release();
                    break;
                default: break;
            }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if (dest == src) return S_OK;
    VARIANT copy;
    VariantInit(&copy);
    copy = *src;
    if ((src->vt & VT_BYREF) == 0) {
        if (src->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
            if (FAILED(hr)) return hr;
        } else if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal != nullptr) {
            src->punkVal->AddRef();
        } else if (src->vt == VT_RECORD) {
            return DISP_E_BADVARTYPE;  // records are never copied by this layer
        }
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if ((src->vt & VT_BYREF) == 0) return VariantCopy(dest, src);
    const VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
    if (base == VT_VARIANT) return VariantCopyInd(dest, src->pvarVal);
    VARIANT direct;
    VariantInit(&direct);
    direct.vt = base;
    if (base & VT_ARRAY) {
        direct.parray = *src->pparray;
    } else {
        switch (base) {
            case VT_I1: case VT_UI1: direct.bVal = *src->pbVal; break;
            case VT_I2: case VT_UI2: direct.iVal = *src->piVal; break;
            case VT_BOOL: direct.boolVal = *src->pboolVal; break;
            case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: direct.lVal = *src->plVal; break;
            case VT_R4: direct.fltVal = *src->pfltVal; break;
            case VT_I8: case VT_UI8: direct.llVal = *src->pllVal; break;
            case VT_R8: direct.dblVal = *src->pdblVal; break;
            case VT_DATE: direct.date = *src->pdate; break;
            case VT_CY: direct.cyVal = *src->pcyVal; break;
            case VT_BSTR: direct.bstrVal = *src->pbstrVal; break;
            case VT_DISPATCH: direct.pdispVal = *src->ppdispVal; break;
            case VT_UNKNOWN: direct.punkVal = *src->ppunkVal; break;
            case VT_DECIMAL:
                direct.decVal = *src->pdecVal;  // overwrites vt
                direct.vt = VT_DECIMAL;
                break;
            default: return DISP_E_BADVARTYPE;
        }
    }
    // direct borrows the referenced value; VariantCopy makes the owned copy.
    return VariantCopy(dest, &direct);
}

namespace {

using Text = std::u16string;
using Wide = unsigned __int128;

Text ascii(std::string_view s) { return Text(s.begin(), s.end()); }

constexpr unsigned kMaxDecimalScale = 28;
constexpr Wide kDecimalLimit = Wide(1) << 96;  // a DECIMAL's magnitude is below this

Wide powerOfTen(unsigned n) {
    Wide p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// An exact number: (-1)^negative * magnitude / 10^scale. Integers, currency
// and DECIMAL values are held this way, so that converting between them and
// to text never goes through binary floating point.
struct Exact {
    bool negative = false;
    Wide magnitude = 0;
    unsigned scale = 0;
};

Exact exactInteger(long long i) {
    return Exact{i < 0, i < 0 ? Wide(0) - Wide(static_cast<__int128>(i)) : Wide(static_cast<__int128>(i)), 0};
}

// Rounds to at most `scale` decimal places, half to even.
void roundToScale(Exact& e, unsigned scale) {
    if (e.scale <= scale) return;
    const unsigned dropped = e.scale - scale;
    e.scale = scale;
    if (dropped > 38) {  // 10^39 exceeds every magnitude: less than half a unit is left
        e.magnitude = 0;
        return;
    }
    const Wide divisor = powerOfTen(dropped), rest = e.magnitude % divisor, half = divisor / 2;
    e.magnitude /= divisor;
    if (rest > half || (rest == half && (e.magnitude & 1) != 0)) ++e.magnitude;
}

std::string digitsOf(Wide magnitude) {
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    return std::string(digits.rbegin(), digits.rend());
}

// As OLE writes a DECIMAL: every digit, no exponent, no trailing zeros after
// the decimal point, and no sign on zero.
std::string exactText(const Exact& e) {
    std::string digits = digitsOf(e.magnitude);
    if (e.scale > 0) {
        if (digits.size() <= e.scale) digits.insert(0, e.scale - digits.size() + 1, '0');
        digits.insert(digits.size() - e.scale, 1, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (e.negative && e.magnitude != 0) digits.insert(0, 1, '-');
    return digits;
}

double exactValue(const Exact& e) {
    if (e.scale == 0 && e.magnitude < (Wide(1) << 53)) {
        const auto d = static_cast<double>(static_cast<unsigned long long>(e.magnitude));
        return e.negative ? -d : d;
    }
    return std::strtod(exactText(e).c_str(), nullptr);  // correctly rounded
}

HRESULT fromDecimal(const DECIMAL& d, Exact& out) {
    if (d.scale > kMaxDecimalScale || (d.sign & ~DECIMAL_NEG) != 0) return E_INVALIDARG;
    out = Exact{(d.sign & DECIMAL_NEG) != 0, (Wide(d.Hi32) << 64) | d.Lo64, d.scale};
    return S_OK;
}

// Fits e into a DECIMAL, giving up decimal places where it must.
HRESULT toDecimal(Exact e, DECIMAL& out) {
    roundToScale(e, kMaxDecimalScale);
    while (e.magnitude >= kDecimalLimit && e.scale > 0) roundToScale(e, e.scale - 1);
    if (e.magnitude >= kDecimalLimit) return DISP_E_OVERFLOW;
    out.scale = static_cast<BYTE>(e.scale);
    out.sign = e.negative && e.magnitude != 0 ? DECIMAL_NEG : 0;
    out.Hi32 = static_cast<ULONG>(e.magnitude >> 64);
    out.Lo64 = static_cast<ULONGLONG>(e.magnitude);
    return S_OK;
}

// A double as a decimal of its 15 significant digits, as OLE takes it.
HRESULT exactFromReal(double d, Exact& out) {
    if (!std::isfinite(d)) return DISP_E_OVERFLOW;
    out = Exact{std::signbit(d), 0, 0};
    if (d == 0.0) return S_OK;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(d));  // d.dddddddddddddde[+-]x
    const char* exponentAt = std::strchr(buffer, 'e');
    const int exponent = std::atoi(exponentAt + 1) - 14;
    for (const char* c = buffer; c != exponentAt; ++c)
        if (*c != '.') out.magnitude = out.magnitude * 10 + static_cast<unsigned>(*c - '0');
    if (exponent > 0) {
        if (exponent > 15) return DISP_E_OVERFLOW;  // 15 digits and 16 zeros pass 2^96
        out.magnitude *= powerOfTen(static_cast<unsigned>(exponent));
    } else {
        out.scale = static_cast<unsigned>(-exponent);
    }
    while (out.scale > 0 && out.magnitude % 10 == 0) {
        out.magnitude /= 10;
        --out.scale;
    }
    return S_OK;
}

// A number as the coercions see it: exact where the source is (integers,
// currency, DECIMAL, numeric text within 38 digits), else a double.
struct Number {
    bool exact = true;
    Exact value;
    double real = 0.0;
    double asDouble() const { return exact ? exactValue(value) : real; }
    bool isZero() const { return exact ? value.magnitude == 0 : real == 0.0; }
};

Number integer(long long i) { return Number{true, exactInteger(i), 0.0}; }
Number real(double d) { return Number{false, Exact{}, d}; }

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

// The exact value of plain numeric text (sign, digits, point, exponent, as
// parseNumber leaves it), when it has at most 38 significant digits and its
// exponent keeps it within reach.
bool parseExact(const std::string& s, Exact& out) {
    out = Exact{};
    std::size_t p = 0;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) out.negative = s[p++] == '-';
    unsigned digits = 0;
    long long scale = 0;
    bool point = false;
    for (; p < s.size() && s[p] != 'e'; ++p) {
        if (s[p] == '.') {
            point = true;
            continue;
        }
        if (out.magnitude == 0 && s[p] == '0') {
            if (point) ++scale;
            continue;
        }
        if (++digits > 38) return false;
        out.magnitude = out.magnitude * 10 + static_cast<unsigned>(s[p] - '0');
        if (point) ++scale;
    }
    if (p < s.size()) {
        char* stop = nullptr;
        const long exponent = std::strtol(s.c_str() + p + 1, &stop, 10);
        if (exponent > 38 || exponent < -38) return false;
        scale -= exponent;
    }
    if (scale < 0) {
        if (digits - scale > 38) return false;
        out.magnitude *= powerOfTen(static_cast<unsigned>(-scale));
        scale = 0;
    }
    if (scale > 38 + kMaxDecimalScale) return false;
    out.scale = static_cast<unsigned>(scale);
    return true;
}

// Parses the numeric text forms OLE accepts for the English locale: optional
// sign, digits with optional thousands separators, a decimal point, an
// exponent, and the &H / &O forms, surrounded by blanks.
bool parseNumber(const Text& s, Number& out) {
    std::size_t p = 0, end = s.size();
    while (p < end && isSpace(s[p])) ++p;
    while (end > p && isSpace(s[end - 1])) --end;
    if (p == end) return false;
    if (end - p > 2 && s[p] == u'&' && (s[p + 1] == u'H' || s[p + 1] == u'h' || s[p + 1] == u'O' || s[p + 1] == u'o')) {
        const bool hex = s[p + 1] == u'H' || s[p + 1] == u'h';
        unsigned long long v = 0;
        for (std::size_t k = p + 2; k < end; ++k) {
            const char16_t c = s[k];
            int digit = -1;
            if (c >= u'0' && c <= u'9') digit = c - u'0';
            else if (hex && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
            if (digit < 0 || (!hex && digit > 7)) return false;
            v = v * (hex ? 16u : 8u) + static_cast<unsigned>(digit);
            if (v > 0xFFFFFFFFull) return false;
        }
        // As in OLE, &H forms are 32-bit patterns: &HFFFFFFFF is -1.
        out = integer(v > 0x7FFFFFFFull ? static_cast<long long>(v) - 0x100000000ll : static_cast<long long>(v));
        return true;
    }
    std::string plain;
    bool digits = false, point = false, exponent = false;
    if (s[p] == u'+' || s[p] == u'-') plain.push_back(static_cast<char>(s[p++]));
    for (; p < end; ++p) {
        const char16_t c = s[p];
        if (c >= u'0' && c <= u'9') {
            plain.push_back(static_cast<char>(c));
            digits = true;
        } else if (c == u',' && !point && !exponent && digits) {
            continue;
        } else if (c == u'.' && !point && !exponent) {
            plain.push_back('.');
            point = true;
        } else if ((c == u'e' || c == u'E') && digits && !exponent) {
            plain.push_back('e');
            exponent = true;
            if (p + 1 < end && (s[p + 1] == u'+' || s[p + 1] == u'-')) plain.push_back(static_cast<char>(s[++p]));
            if (p + 1 >= end) return false;
        } else {
            return false;
        }
    }
    if (!digits) return false;
    Exact exactValue;
    if (parseExact(plain, exactValue)) {
        out = Number{true, exactValue, 0.0};
        return true;
    }
    char* stop = nullptr;
    const double d = std::strtod(plain.c_str(), &stop);
    if (stop == nullptr || *stop != '\0' || !std::isfinite(d)) return false;
    out = real(d);
    return true;
}

HRESULT defaultValue(IDispatch* object, VARIANT& out) {
    if (object == nullptr) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(&out);
    const HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &out,
                                      nullptr, nullptr);
    if (FAILED(hr)) return hr;
    if (out.vt == VT_DISPATCH || out.vt == VT_UNKNOWN) {
        VariantClear(&out);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT toNumber(const VARIANT& v, Number& out) {
    switch (v.vt) {
        case VT_EMPTY: out = integer(0); return S_OK;
        case VT_I1: out = integer(static_cast<signed char>(v.cVal)); return S_OK;
        case VT_UI1: out = integer(v.bVal); return S_OK;
        case VT_I2: out = integer(v.iVal); return S_OK;
        case VT_UI2: out = integer(v.uiVal); return S_OK;
        case VT_BOOL: out = integer(v.boolVal); return S_OK;
        case VT_I4: case VT_INT: out = integer(v.lVal); return S_OK;
        case VT_UI4: case VT_UINT: out = integer(v.ulVal); return S_OK;
        case VT_I8: out = integer(v.llVal); return S_OK;
        case VT_UI8: out = Number{true, Exact{false, v.ullVal, 0}, 0.0}; return S_OK;
        case VT_R4: out = real(v.fltVal); return S_OK;
        case VT_R8: out = real(v.dblVal); return S_OK;
        case VT_DATE: out = real(v.date); return S_OK;
        case VT_CY:
            out = integer(v.cyVal.int64);
            out.value.scale = 4;
            return S_OK;
        case VT_DECIMAL:
            out = Number{};
            return fromDecimal(v.decVal, out.value);
        case VT_BSTR: {
            const Text s = v.bstrVal == nullptr ? Text() : Text(v.bstrVal, SysStringLen(v.bstrVal));
            return parseNumber(s, out) ? S_OK : DISP_E_TYPEMISMATCH;
        }
        case VT_DISPATCH: {
            VARIANT value;
            HRESULT hr = defaultValue(v.pdispVal, value);
            if (FAILED(hr)) return hr;
            hr = toNumber(value, out);
            VariantClear(&value);
            return hr;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

// Rounds half to even, then checks the range lo..hi.
HRESULT toInteger(const Number& n, __int128 lo, __int128 hi, __int128& out) {
    if (n.exact) {
        Exact whole = n.value;
        roundToScale(whole, 0);
        if (whole.magnitude > (Wide(1) << 100)) return DISP_E_OVERFLOW;
        out = whole.negative ? -static_cast<__int128>(whole.magnitude) : static_cast<__int128>(whole.magnitude);
        return out < lo || out > hi ? DISP_E_OVERFLOW : S_OK;
    }
    if (!std::isfinite(n.real)) return DISP_E_OVERFLOW;
    const double r = std::nearbyint(n.real);  // default rounding mode: to nearest, ties to even
    if (r < static_cast<double>(lo) || r >= static_cast<double>(hi) + 1.0) return DISP_E_OVERFLOW;
    out = static_cast<__int128>(r);
    return S_OK;
}

HRESULT toExact(const Number& n, Exact& out) {
    if (n.exact) {
        out = n.value;
        return S_OK;
    }
    return exactFromReal(n.real, out);
}

// OLE writes 15 significant digits for a Double and 7 for a Single, in the
// shorter of the fixed and exponent forms, and never a negative zero.
Text formatReal(double d, int digits) {
    if (d == 0.0) return u"0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, d);
    return ascii(buffer);
}

// Days since 1899-12-30 to a civil date (proleptic Gregorian).
void civilFromDays(long long days, long long& y, unsigned& m, unsigned& d) {
    long long z = days - 25569 + 719468;  // 1899-12-30 is 25569 days before 1970-01-01
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

// A date as OLE writes it for the English (United States) locale. The whole
// part counts days from 1899-12-30 and the fraction is the time of that day,
// also for negative dates. The time is rounded to the second; rounding up to
// midnight carries into the next day. The value decides the form: no whole
// days gives the time alone, no fraction the date alone.
HRESULT formatDate(double date, Text& out) {
    if (!std::isfinite(date) || date <= -657435.0 || date >= 2958466.0) return E_INVALIDARG;
    long long days = static_cast<long long>(date);  // toward zero
    const double fraction = std::fabs(date - static_cast<double>(days));
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds == 86400) {
        seconds = 0;
        ++days;
    }
    const bool timeOnly = static_cast<long long>(date) == 0, dateOnly = !timeOnly && fraction == 0.0;
    std::string s;
    if (!timeOnly) {
        long long y = 0;
        unsigned m = 0, d = 0;
        civilFromDays(days, y, m, d);
        s = std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
    }
    if (!dateOnly) {
        const long long h = seconds / 3600, min = seconds / 60 % 60, sec = seconds % 60;
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld %s", h % 12 == 0 ? 12 : h % 12, min, sec, h < 12 ? "AM" : "PM");
        if (!s.empty()) s += " ";
        s += buffer;
    }
    out = ascii(s);
    return S_OK;
}

HRESULT toText(const VARIANT& v, USHORT flags, Text& out) {
    switch (v.vt) {
        case VT_EMPTY: out.clear(); return S_OK;
        case VT_BSTR: out = v.bstrVal == nullptr ? Text() : Text(v.bstrVal, SysStringLen(v.bstrVal)); return S_OK;
        case VT_BOOL:
            // Any non-zero value is true; without VARIANT_ALPHABOOL the value
            // is written as the number it holds.
            if (flags & VARIANT_ALPHABOOL) out = v.boolVal != VARIANT_FALSE ? u"True" : u"False";
            else out = ascii(std::to_string(v.boolVal));
            return S_OK;
        case VT_R4: out = formatReal(v.fltVal, 7); return S_OK;
        case VT_R8: out = formatReal(v.dblVal, 15); return S_OK;
        case VT_DATE: return formatDate(v.date, out);
        case VT_DISPATCH: {
            VARIANT value;
            HRESULT hr = defaultValue(v.pdispVal, value);
            if (FAILED(hr)) return hr;
            hr = toText(value, flags, out);
            VariantClear(&value);
            return hr;
        }
        default: {
            // Integers, currency and DECIMAL: exact.
            Number n;
            const HRESULT hr = toNumber(v, n);
            if (FAILED(hr)) return hr;
            out = n.exact ? ascii(exactText(n.value)) : formatReal(n.real, 15);
            return S_OK;
        }
    }
}

HRESULT convert(VARIANT& out, const VARIANT& src, USHORT flags, VARTYPE vt) {
    if (src.vt == vt && vt != VT_DISPATCH) return VariantCopy(&out, &src);
    if ((src.vt & VT_ARRAY) || (vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    if (src.vt == VT_NULL) return vt == VT_NULL ? S_OK : DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY) return S_OK;
    if (vt == VT_BSTR) {
        Text s;
        const HRESULT hr = toText(src, flags, s);
        if (FAILED(hr)) return hr;
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return out.bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (src.vt != VT_DISPATCH && src.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
        if (src.punkVal == nullptr) {
            out.vt = vt;
            out.punkVal = nullptr;
            return S_OK;
        }
        void* p = nullptr;
        const HRESULT hr = src.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        out.vt = vt;
        out.punkVal = static_cast<IUnknown*>(p);
        return S_OK;
    }
    Number n;
    if (vt == VT_BOOL && src.vt == VT_BSTR) {
        const Text s = src.bstrVal == nullptr ? Text() : Text(src.bstrVal, SysStringLen(src.bstrVal));
        if (s == u"True" || s == u"#TRUE#") n = integer(-1);
        else if (s == u"False" || s == u"#FALSE#") n = integer(0);
        else if (!parseNumber(s, n)) return DISP_E_TYPEMISMATCH;
    } else {
        const HRESULT hr = toNumber(src, n);
        if (FAILED(hr)) return hr;
    }
    __int128 i = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_BOOL: out.boolVal = n.isZero() ? VARIANT_FALSE : VARIANT_TRUE; break;
        case VT_R4: {
            const double d = n.asDouble();
            if (std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            out.fltVal = static_cast<float>(d);
            break;
        }
        case VT_R8: out.dblVal = n.asDouble(); break;
        case VT_DATE: out.date = n.asDouble(); break;
        case VT_CY:
            // Four decimal places, rounded half to even.
            if (n.exact) {
                Exact units = n.value;
                roundToScale(units, 4);
                if (units.magnitude >= (Wide(1) << 100)) return DISP_E_OVERFLOW;
                units.magnitude *= powerOfTen(4 - units.scale);
                units.scale = 0;
                hr = toInteger(Number{true, units, 0.0}, std::numeric_limits<long long>::min(),
                               std::numeric_limits<long long>::max(), i);
                out.cyVal.int64 = static_cast<long long>(i);
            } else {
                const double units = std::nearbyint(n.real * 10000.0);
                if (!(std::fabs(units) < 9.2233720368547758e18)) return DISP_E_OVERFLOW;
                out.cyVal.int64 = static_cast<long long>(units);
            }
            break;
        case VT_DECIMAL: {
            Exact value;
            hr = toExact(n, value);
            if (SUCCEEDED(hr)) hr = toDecimal(value, out.decVal);  // overwrites vt, set below
            break;
        }
        case VT_I1: hr = toInteger(n, -128, 127, i); out.cVal = static_cast<CHAR>(i); break;
        case VT_UI1: hr = toInteger(n, 0, 255, i); out.bVal = static_cast<BYTE>(i); break;
        case VT_I2: hr = toInteger(n, -32768, 32767, i); out.iVal = static_cast<SHORT>(i); break;
        case VT_UI2: hr = toInteger(n, 0, 65535, i); out.uiVal = static_cast<USHORT>(i); break;
        case VT_I4: case VT_INT: hr = toInteger(n, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), i); out.lVal = static_cast<LONG>(i); break;
        case VT_UI4: case VT_UINT: hr = toInteger(n, 0, 0xFFFFFFFFll, i); out.ulVal = static_cast<ULONG>(i); break;
        case VT_I8: hr = toInteger(n, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max(), i); out.llVal = static_cast<long long>(i); break;
        case VT_UI8: hr = toInteger(n, 0, std::numeric_limits<unsigned long long>::max(), i); out.ullVal = static_cast<unsigned long long>(i); break;
        default: return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    out.vt = vt;
    return S_OK;
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID, USHORT flags, VARTYPE vt) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    VARIANT direct;
    VariantInit(&direct);
    HRESULT hr = VariantCopyInd(&direct, src);
    if (FAILED(hr)) return hr;
    VARIANT out;
    VariantInit(&out);
    hr = convert(out, direct, flags, vt);
    VariantClear(&direct);
    if (FAILED(hr)) {
        VariantClear(&out);
        return hr;
    }
    VariantClear(dest);
    *dest = out;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
    return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}
