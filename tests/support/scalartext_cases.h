// The text of every kind of scalar VARIANT the variable dump can meet, as the
// run time's variant-to-text conversion gives it for the English (United
// States) locale. One table serves both builds: the native test holds our own
// conversion to it, and the Windows check holds the system's (OLE Automation,
// Wine's under test) to it, so the two agree case by case.
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

#include "platform/variant.h"

namespace kwtest {

struct ScalarTextCase {
    VARTYPE type;
    std::uint64_t bits = 0;        // the value: integers, R4/R8/DATE bit patterns, CY units, DECIMAL's low 64 bits
    std::uint32_t high = 0;        // DECIMAL: the high 32 bits
    std::uint8_t scale = 0;        // DECIMAL
    std::uint8_t sign = 0;         // DECIMAL
    std::u16string_view text = {};  // BSTR
    std::u16string_view expected = {};
};

constexpr std::uint64_t i64(long long v) { return static_cast<std::uint64_t>(v); }
constexpr std::uint64_t r4(float v) { return std::bit_cast<std::uint32_t>(v); }
constexpr std::uint64_t r8(double v) { return std::bit_cast<std::uint64_t>(v); }
// A date: whole days from 1899-12-30 plus seconds into that day.
constexpr std::uint64_t dt(double days, double seconds = 0.0) { return r8(days + seconds / 86400.0); }

inline constexpr ScalarTextCase kScalarTextCases[] = {
    {.type = VT_I1, .bits = i64(-128), .expected = u"-128"},
    {.type = VT_UI1, .bits = 255, .expected = u"255"},
    {.type = VT_I2, .bits = i64(-32768), .expected = u"-32768"},
    {.type = VT_UI2, .bits = 65535, .expected = u"65535"},
    {.type = VT_I4, .bits = i64(-2147483647 - 1), .expected = u"-2147483648"},
    {.type = VT_I4, .bits = 0, .expected = u"0"},
    {.type = VT_UI4, .bits = 4294967295u, .expected = u"4294967295"},
    {.type = VT_INT, .bits = i64(-7), .expected = u"-7"},
    {.type = VT_UINT, .bits = 4294967295u, .expected = u"4294967295"},
    {.type = VT_I8, .bits = i64(-9223372036854775807ll - 1), .expected = u"-9223372036854775808"},
    {.type = VT_UI8, .bits = 18446744073709551615u, .expected = u"18446744073709551615"},

    // Single: 7 significant digits, exponent form from 1E+07 and below 1E-04.
    {.type = VT_R4, .bits = r4(-0.0f), .expected = u"0"},
    {.type = VT_R4, .bits = r4(0.1f), .expected = u"0.1"},
    {.type = VT_R4, .bits = r4(1234567.0f), .expected = u"1234567"},
    {.type = VT_R4, .bits = r4(12345678.0f), .expected = u"1.234568E+07"},
    {.type = VT_R4, .bits = r4(1e-5f), .expected = u"1E-05"},
    {.type = VT_R4, .bits = r4(3.4028235e38f), .expected = u"3.402823E+38"},
    {.type = VT_R4, .bits = r4(1.4e-45f), .expected = u"1.401298E-45"},

    // Double: 15 significant digits, exponent form from 1E+15 and below 1E-04.
    {.type = VT_R8, .bits = r8(-0.0), .expected = u"0"},
    {.type = VT_R8, .bits = r8(0.1), .expected = u"0.1"},
    {.type = VT_R8, .bits = r8(1.0 / 3.0), .expected = u"0.333333333333333"},
    {.type = VT_R8, .bits = r8(2.0 / 3.0), .expected = u"0.666666666666667"},
    {.type = VT_R8, .bits = r8(123456789012345.0), .expected = u"123456789012345"},
    {.type = VT_R8, .bits = r8(1e15), .expected = u"1E+15"},
    {.type = VT_R8, .bits = r8(999999999999999.9), .expected = u"1E+15"},
    {.type = VT_R8, .bits = r8(1234567890123456.0), .expected = u"1.23456789012346E+15"},
    {.type = VT_R8, .bits = r8(1e-4), .expected = u"0.0001"},
    {.type = VT_R8, .bits = r8(0.000123456789012345678), .expected = u"0.000123456789012346"},
    {.type = VT_R8, .bits = r8(1e-5), .expected = u"1E-05"},
    {.type = VT_R8, .bits = r8(-1e100), .expected = u"-1E+100"},
    {.type = VT_R8, .bits = r8(-1e-300), .expected = u"-1E-300"},
    {.type = VT_R8, .bits = r8(1.7976931348623157e308), .expected = u"1.79769313486232E+308"},
    {.type = VT_R8, .bits = r8(4.9406564584124654e-324), .expected = u"4.94065645841247E-324"},

    // Currency: four decimal places at most, trailing zeros left out.
    {.type = VT_CY, .bits = i64(-12345), .expected = u"-1.2345"},
    {.type = VT_CY, .bits = 50000, .expected = u"5"},
    {.type = VT_CY, .bits = 1, .expected = u"0.0001"},
    {.type = VT_CY, .bits = i64(-9223372036854775807ll - 1), .expected = u"-922337203685477.5808"},
    {.type = VT_CY, .bits = 9223372036854775807u, .expected = u"922337203685477.5807"},

    // Dates: the time alone without whole days, the date alone without a
    // fraction; times round to the second and midnight carries the day.
    {.type = VT_DATE, .bits = dt(0), .expected = u"12:00:00 AM"},
    {.type = VT_DATE, .bits = dt(0.5), .expected = u"12:00:00 PM"},
    {.type = VT_DATE, .bits = dt(-0.5), .expected = u"12:00:00 PM"},
    {.type = VT_DATE, .bits = dt(1), .expected = u"12/31/1899"},
    {.type = VT_DATE, .bits = dt(1.5), .expected = u"12/31/1899 12:00:00 PM"},
    {.type = VT_DATE, .bits = dt(-1.25), .expected = u"12/29/1899 6:00:00 AM"},
    {.type = VT_DATE, .bits = dt(60), .expected = u"2/28/1900"},
    {.type = VT_DATE, .bits = dt(61), .expected = u"3/1/1900"},
    {.type = VT_DATE, .bits = dt(36585), .expected = u"2/29/2000"},
    {.type = VT_DATE, .bits = dt(46362.75), .expected = u"12/6/2026 6:00:00 PM"},
    {.type = VT_DATE, .bits = dt(-657434), .expected = u"1/1/100"},
    {.type = VT_DATE, .bits = dt(2958465), .expected = u"12/31/9999"},
    {.type = VT_DATE, .bits = dt(1, 0.4), .expected = u"12/31/1899 12:00:00 AM"},
    {.type = VT_DATE, .bits = dt(1, 1.6), .expected = u"12/31/1899 12:00:02 AM"},
    {.type = VT_DATE, .bits = dt(1, 43199.6), .expected = u"12/31/1899 12:00:00 PM"},
    {.type = VT_DATE, .bits = dt(1, 86399.4), .expected = u"12/31/1899 11:59:59 PM"},
    {.type = VT_DATE, .bits = dt(1, 86399.6), .expected = u"1/1/1900 12:00:00 AM"},
    {.type = VT_DATE, .bits = dt(36526, 86399.6), .expected = u"1/2/2000 12:00:00 AM"},
    {.type = VT_DATE, .bits = dt(0, 86399.6), .expected = u"12:00:00 AM"},
    {.type = VT_DATE, .bits = dt(-1, -86399.6), .expected = u"12/30/1899 12:00:00 AM"},
    {.type = VT_DATE, .bits = dt(2958465, 86399.4), .expected = u"12/31/9999 11:59:59 PM"},

    // Booleans: any value other than 0 is True.
    {.type = VT_BOOL, .bits = 0, .expected = u"False"},
    {.type = VT_BOOL, .bits = i64(-1), .expected = u"True"},
    {.type = VT_BOOL, .bits = 1, .expected = u"True"},
    {.type = VT_BOOL, .bits = 2, .expected = u"True"},

    // DECIMAL: every digit, no trailing zeros, no sign on zero.
    {.type = VT_DECIMAL, .expected = u"0"},
    {.type = VT_DECIMAL, .scale = 2, .sign = DECIMAL_NEG, .expected = u"0"},
    {.type = VT_DECIMAL, .bits = 150, .scale = 2, .expected = u"1.5"},
    {.type = VT_DECIMAL, .bits = 15, .scale = 1, .sign = DECIMAL_NEG, .expected = u"-1.5"},
    {.type = VT_DECIMAL, .bits = 9000, .scale = 7, .expected = u"0.0009"},
    {.type = VT_DECIMAL, .bits = 1, .scale = 10, .expected = u"0.0000000001"},
    {.type = VT_DECIMAL, .bits = 0, .high = 1, .expected = u"18446744073709551616"},
    {.type = VT_DECIMAL, .bits = 1, .scale = 28, .sign = DECIMAL_NEG, .expected = u"-0.0000000000000000000000000001"},
    {.type = VT_DECIMAL, .bits = 18446744073709551615u, .high = 4294967295u, .scale = 28,
     .expected = u"7.9228162514264337593543950335"},
    {.type = VT_DECIMAL, .bits = 18446744073709551615u, .high = 4294967295u, .sign = DECIMAL_NEG,
     .expected = u"-79228162514264337593543950335"},

    // Text is itself, U+0000 included.
    {.type = VT_BSTR, .text = u"", .expected = u""},
    {.type = VT_BSTR, .text = std::u16string_view(u"a\0b", 3), .expected = std::u16string_view(u"a\0b", 3)},
    {.type = VT_BSTR, .text = u"<x & \"y\">", .expected = u"<x & \"y\">"},
};

// The VARIANT a case describes.
inline platform::Variant scalarOf(const ScalarTextCase& c) {
    if (c.type == VT_BSTR) return platform::Variant::text(c.text);
    platform::Variant out;
    VARIANT& v = *out.get();
    switch (c.type) {
        case VT_I1: v.cVal = static_cast<CHAR>(c.bits); break;
        case VT_UI1: v.bVal = static_cast<BYTE>(c.bits); break;
        case VT_I2: v.iVal = static_cast<SHORT>(c.bits); break;
        case VT_UI2: v.uiVal = static_cast<USHORT>(c.bits); break;
        case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(c.bits); break;
        case VT_I4: case VT_INT: v.lVal = static_cast<LONG>(c.bits); break;
        case VT_UI4: case VT_UINT: v.ulVal = static_cast<ULONG>(c.bits); break;
        case VT_R4: v.fltVal = std::bit_cast<float>(static_cast<std::uint32_t>(c.bits)); break;
        case VT_R8: v.dblVal = std::bit_cast<double>(c.bits); break;
        case VT_DATE: v.date = std::bit_cast<double>(c.bits); break;
        case VT_CY: v.cyVal.int64 = static_cast<LONGLONG>(c.bits); break;
        case VT_I8: v.llVal = static_cast<LONGLONG>(c.bits); break;
        case VT_UI8: v.ullVal = c.bits; break;
        case VT_DECIMAL:
            v.decVal.scale = c.scale;
            v.decVal.sign = c.sign;
            v.decVal.Hi32 = c.high;
            v.decVal.Lo64 = c.bits;
            break;
        default: break;
    }
    v.vt = c.type;  // after the value: a DECIMAL overlays vt
    return out;
}

}  // namespace kwtest
