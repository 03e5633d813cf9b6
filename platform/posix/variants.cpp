// VARIANT lifetime and coercion. The coercions follow OLE Automation as it
// behaves for the English (United States) locale: numbers in decimal with at
// most 15 significant digits for Double and 7 for Single, Booleans as True and
// False with VARIANT_ALPHABOOL (otherwise -1 and 0), dates as M/D/YYYY and
// h:mm:ss AM/PM, banker's rounding from real to integer types, and an object
// converted through its default member (DISPID_VALUE).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

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
            default: return DISP_E_BADVARTYPE;
        }
    }
    // direct borrows the referenced value; VariantCopy makes the owned copy.
    return VariantCopy(dest, &direct);
}

namespace {

using Text = std::u16string;

struct Number {
    bool integral = true;
    long long i = 0;
    double d = 0.0;
    double value() const { return integral ? static_cast<double>(i) : d; }
};

Number integer(long long i) { return Number{true, i, 0.0}; }
Number real(double d) { return Number{false, 0, d}; }

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

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
    std::string ascii;
    bool digits = false, point = false, exponent = false;
    if (s[p] == u'+' || s[p] == u'-') ascii.push_back(static_cast<char>(s[p++]));
    for (; p < end; ++p) {
        const char16_t c = s[p];
        if (c >= u'0' && c <= u'9') {
            ascii.push_back(static_cast<char>(c));
            digits = true;
        } else if (c == u',' && !point && !exponent && digits) {
            continue;
        } else if (c == u'.' && !point && !exponent) {
            ascii.push_back('.');
            point = true;
        } else if ((c == u'e' || c == u'E') && digits && !exponent) {
            ascii.push_back('e');
            exponent = true;
            if (p + 1 < end && (s[p + 1] == u'+' || s[p + 1] == u'-')) ascii.push_back(static_cast<char>(s[++p]));
            if (p + 1 >= end) return false;
        } else {
            return false;
        }
    }
    if (!digits) return false;
    char* stop = nullptr;
    const double d = std::strtod(ascii.c_str(), &stop);
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
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<long long>::max())) out = real(static_cast<double>(v.ullVal));
            else out = integer(static_cast<long long>(v.ullVal));
            return S_OK;
        case VT_R4: out = real(v.fltVal); return S_OK;
        case VT_R8: out = real(v.dblVal); return S_OK;
        case VT_DATE: out = real(v.date); return S_OK;
        case VT_CY:
            if (v.cyVal.int64 % 10000 == 0) out = integer(v.cyVal.int64 / 10000);
            else out = real(static_cast<double>(v.cyVal.int64) / 10000.0);
            return S_OK;
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

// Round half to even, then range-check.
HRESULT toInteger(const Number& n, long long lo, long long hi, long long& out) {
    if (n.integral) {
        if (n.i < lo || n.i > hi) return DISP_E_OVERFLOW;
        out = n.i;
        return S_OK;
    }
    if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
    const double r = std::nearbyint(n.d);  // default rounding mode: to nearest, ties to even
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return DISP_E_OVERFLOW;
    out = static_cast<long long>(r);
    return S_OK;
}

Text ascii(const std::string& s) { return Text(s.begin(), s.end()); }

Text formatReal(double d, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, d);
    return ascii(buffer);
}

Text formatCurrency(long long units) {
    const bool negative = units < 0;
    const unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(units) : static_cast<unsigned long long>(units);
    std::string s = std::to_string(magnitude / 10000);
    unsigned long long fraction = magnitude % 10000;
    if (fraction != 0) {
        std::string f = std::to_string(fraction);
        f.insert(0, 4 - f.size(), '0');
        while (!f.empty() && f.back() == '0') f.pop_back();
        s += "." + f;
    }
    return ascii((negative ? "-" : "") + s);
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

HRESULT formatDate(double date, Text& out) {
    if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return DISP_E_OVERFLOW;
    // Negative dates count whole days backwards and the fraction forwards.
    long long whole = static_cast<long long>(date);
    double fraction = std::fabs(date - static_cast<double>(whole));
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        whole += date < 0 ? -1 : 1;
    }
    std::string s;
    if (whole != 0) {
        long long y = 0;
        unsigned m = 0, d = 0;
        civilFromDays(whole, y, m, d);
        s = std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
    }
    if (seconds != 0 || whole == 0) {
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
            if (flags & VARIANT_ALPHABOOL) out = v.boolVal ? u"True" : u"False";
            else out = v.boolVal ? u"-1" : u"0";
            return S_OK;
        case VT_R4: out = formatReal(v.fltVal, 7); return S_OK;
        case VT_R8: out = formatReal(v.dblVal, 15); return S_OK;
        case VT_CY: out = formatCurrency(v.cyVal.int64); return S_OK;
        case VT_DATE: return formatDate(v.date, out);
        case VT_UI8: out = ascii(std::to_string(v.ullVal)); return S_OK;
        case VT_DISPATCH: {
            VARIANT value;
            HRESULT hr = defaultValue(v.pdispVal, value);
            if (FAILED(hr)) return hr;
            hr = toText(value, flags, out);
            VariantClear(&value);
            return hr;
        }
        default: {
            Number n;
            const HRESULT hr = toNumber(v, n);
            if (FAILED(hr)) return hr;
            out = ascii(std::to_string(n.i));
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
    long long i = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_BOOL: out.boolVal = n.value() != 0.0 ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_R4: {
            const double d = n.value();
            if (std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            out.fltVal = static_cast<float>(d);
            break;
        }
        case VT_R8: out.dblVal = n.value(); break;
        case VT_DATE: out.date = n.value(); break;
        case VT_CY: {
            const double units = std::nearbyint(n.value() * 10000.0);
            if (std::fabs(units) >= 9.2233720368547758e18) return DISP_E_OVERFLOW;
            out.cyVal.int64 = static_cast<long long>(units);
            break;
        }
        case VT_I1: hr = toInteger(n, -128, 127, i); out.cVal = static_cast<CHAR>(i); break;
        case VT_UI1: hr = toInteger(n, 0, 255, i); out.bVal = static_cast<BYTE>(i); break;
        case VT_I2: hr = toInteger(n, -32768, 32767, i); out.iVal = static_cast<SHORT>(i); break;
        case VT_UI2: hr = toInteger(n, 0, 65535, i); out.uiVal = static_cast<USHORT>(i); break;
        case VT_I4: case VT_INT: hr = toInteger(n, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), i); out.lVal = static_cast<LONG>(i); break;
        case VT_UI4: case VT_UINT: hr = toInteger(n, 0, 0xFFFFFFFFll, i); out.ulVal = static_cast<ULONG>(i); break;
        case VT_I8: hr = toInteger(n, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max(), i); out.llVal = i; break;
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
