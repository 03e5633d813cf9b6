// VARIANT ownership and the coercions the component relies on, with the
// results OLE Automation gives for the English locale.
#include <gtest/gtest.h>

#include "core/automation.h"
#include "platform/variant.h"
#include "standins/recorder.h"
#include "support/raised.h"
#include "support/reference.h"
#include "support/scalartext_cases.h"

namespace {

using platform::Text;
using platform::Variant;

Text toText(const Variant& v) {
    Variant out;
    const HRESULT hr = VariantChangeType(out.get(), const_cast<VARIANT*>(v.get()), VARIANT_ALPHABOOL, VT_BSTR);
    EXPECT_EQ(hr, S_OK);
    return hr == S_OK ? platform::textOf(out.get()->bstrVal) : Text(u"<failed>");
}

// The same table is held against the system's conversion in the Windows
// checks, so both builds write every scalar alike.
TEST(VariantText, EveryScalarTypeReadsAsTheSystemWritesIt) {
    for (const kwtest::ScalarTextCase& c : kwtest::kScalarTextCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", expected " << standins::utf8(c.expected));
        EXPECT_EQ(kw::asText(*kwtest::scalarOf(c)), Text(c.expected));
    }
}

TEST(VariantText, WithoutAlphaBoolBooleansAreNumbers) {
    Variant out;
    Variant in = Variant::boolean(true);
    ASSERT_EQ(VariantChangeType(out.get(), in.get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(platform::textOf(out.get()->bstrVal), u"-1");
    in.get()->boolVal = 1;
    ASSERT_EQ(VariantChangeType(out.get(), in.get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(platform::textOf(out.get()->bstrVal), u"1");
}

Variant decimal(std::uint64_t low, std::uint8_t scale, bool negative = false, std::uint32_t high = 0) {
    return kwtest::scalarOf({.type = VT_DECIMAL, .bits = low, .high = high, .scale = scale,
                             .sign = static_cast<std::uint8_t>(negative ? DECIMAL_NEG : 0)});
}

// Into DECIMAL: exact from integers, currency and text, 15 significant
// digits from a double, as many decimal places as fit.
TEST(VariantDecimal, ValuesBecomeDecimalsExactlyWhereTheyAre) {
    struct Case {
        Variant from;
        HRESULT hr;
        const char16_t* text;
    };
    Variant cy, empty;
    cy.get()->vt = VT_CY;
    cy.get()->cyVal.int64 = -12345;
    Variant big;
    big.get()->vt = VT_I8;
    big.get()->llVal = -9223372036854775807ll - 1;
    const Case cases[] = {
        {Variant::r8(1.5), S_OK, u"1.5"},
        {Variant::r8(0.1), S_OK, u"0.1"},
        {Variant::r8(1.0 / 3.0), S_OK, u"0.333333333333333"},
        {Variant::r8(-2.5e-20), S_OK, u"-0.000000000000000000025"},
        {Variant::r8(1e30), DISP_E_OVERFLOW, nullptr},
        {Variant::text(u" 123.4500 "), S_OK, u"123.45"},
        {Variant::text(u"-1,000.5e-3"), S_OK, u"-1.0005"},
        {Variant::text(u"79228162514264337593543950335"), S_OK, u"79228162514264337593543950335"},
        {Variant::text(u"79228162514264337593543950336"), DISP_E_OVERFLOW, nullptr},
        {Variant::text(u"1.23456789012345678901234567890123"), S_OK, u"1.2345678901234567890123456789"},
        {Variant::text(u"0.00000000000000000000000000005"), S_OK, u"0"},
        {Variant::text(u"x"), DISP_E_TYPEMISMATCH, nullptr},
        {cy, S_OK, u"-1.2345"},
        {big, S_OK, u"-9223372036854775808"},
        {Variant::boolean(true), S_OK, u"-1"},
        {empty, S_OK, u"0"},
    };
    for (const Case& c : cases) {
        Variant out;
        const HRESULT hr = VariantChangeType(out.get(), const_cast<VARIANT*>(c.from.get()), 0, VT_DECIMAL);
        EXPECT_EQ(hr, c.hr);
        if (hr != S_OK || c.text == nullptr) continue;
        EXPECT_EQ(out.type(), VT_DECIMAL);
        EXPECT_EQ(toText(out), c.text);
    }
}

TEST(VariantDecimal, ExactValuesRoundToEvenIntoIntegersAndCurrency) {
    Variant out;
    const struct {
        Variant from;
        VARTYPE to;
        HRESULT hr;
        long long value;
    } cases[] = {
        {decimal(25, 1), VT_I4, S_OK, 2},
        {decimal(35, 1), VT_I4, S_OK, 4},
        {decimal(25, 1, true), VT_I4, S_OK, -2},
        {decimal(15, 1, true), VT_I8, S_OK, -2},
        {decimal(0, 0, false, 1), VT_I8, DISP_E_OVERFLOW, 0},
        {decimal(2147483648ull, 0), VT_I4, DISP_E_OVERFLOW, 0},
        {decimal(1234566, 5), VT_CY, S_OK, 123457},
        {decimal(12345, 4, true), VT_CY, S_OK, -12345},
        {Variant::text(u"99999999999999999999999999999999999999"), VT_CY, DISP_E_OVERFLOW, 0},
        {Variant::text(u"-922337203685477.5808"), VT_CY, S_OK, -9223372036854775807ll - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VariantChangeType(out.get(), const_cast<VARIANT*>(c.from.get()), 0, c.to), c.hr);
        if (c.hr != S_OK) continue;
        EXPECT_EQ(c.to == VT_I4 ? out.get()->lVal : c.to == VT_I8 ? out.get()->llVal : out.get()->cyVal.int64, c.value);
    }
    Variant full = decimal(~0ull, 0);
    ASSERT_EQ(VariantChangeType(out.get(), full.get(), 0, VT_UI8), S_OK);
    EXPECT_EQ(out.get()->ullVal, ~0ull);
    Variant half = decimal(35, 1, true);
    ASSERT_EQ(VariantChangeType(out.get(), half.get(), 0, VT_R8), S_OK);
    EXPECT_EQ(out.get()->dblVal, -3.5);
    ASSERT_EQ(VariantChangeType(out.get(), half.get(), VARIANT_ALPHABOOL, VT_BOOL), S_OK);
    EXPECT_EQ(out.get()->boolVal, VARIANT_TRUE);
    Variant invalid = decimal(1, 29);
    EXPECT_EQ(VariantChangeType(out.get(), invalid.get(), 0, VT_BSTR), E_INVALIDARG);
}

TEST(VariantDecimal, ReferencesAndArraysCarryTheWholeDecimal) {
    Variant value = decimal(150, 2, true);
    EXPECT_EQ(kw::asText(kwtest::reference(VT_DECIMAL, &value.get()->decVal)), u"-1.5");

    Variant array = Variant::array(VT_DECIMAL, SafeArrayCreateVector(VT_DECIMAL, 0, 1));
    LONG at = 0;
    ASSERT_EQ(SafeArrayPutElement(array.get()->parray, &at, &value.get()->decVal), S_OK);
    DECIMAL back{};
    ASSERT_EQ(SafeArrayGetElement(array.get()->parray, &at, &back), S_OK);
    EXPECT_EQ(back.Lo64, 150u);
    EXPECT_EQ(back.sign, DECIMAL_NEG);
}

TEST(VariantNumbers, TextParsesAndRealsRoundToEven) {
    Variant late;
    late.get()->vt = VT_DATE;
    late.get()->date = 2958466.0;  // after 9999-12-31
    const struct {
        Variant from;
        VARTYPE to;
        HRESULT hr;
        LONG value = 0;
    } rows[] = {
        {Variant::text(u" 1,024 "), VT_I4, S_OK, 1024},       {Variant::text(u"&HFFFFFFFF"), VT_I4, S_OK, -1},
        {Variant::r8(2.5), VT_I4, S_OK, 2},                  {Variant::r8(3.5), VT_I4, S_OK, 4},
        {Variant::text(u"abc"), VT_I4, DISP_E_TYPEMISMATCH}, {Variant::r8(2147483648.0), VT_I4, DISP_E_OVERFLOW},
        {Variant::null(), VT_BSTR, DISP_E_TYPEMISMATCH},     {late, VT_BSTR, E_INVALIDARG},
    };
    for (const auto& row : rows) {
        Variant out;
        EXPECT_EQ(VariantChangeType(out.get(), const_cast<VARIANT*>(row.from.get()), 0, row.to), row.hr);
        EXPECT_EQ(row.hr == S_OK ? out.get()->lVal : 0, row.value);
    }
}

TEST(VariantOwnership, CopiesAreDeepAndReferencesAreLookedThrough) {
    Variant original = Variant::text(u"value");
    Variant copy = original;
    EXPECT_NE(copy.get()->bstrVal, original.get()->bstrVal);

    // A VT_BYREF | VT_VARIANT chain, as scripts pass their variables.
    VARIANT inner = kwtest::reference(VT_VARIANT, original.get());
    const VARIANT outer = kwtest::reference(VT_VARIANT, &inner);
    EXPECT_EQ(&platform::throughVariantRefs(outer), original.get());
    Variant direct = Variant::copyOf(outer);
    ASSERT_EQ(direct.type(), VT_BSTR);
    EXPECT_EQ(platform::textOf(direct.get()->bstrVal), u"value");

    BSTR typed = SysAllocString(u"typed");
    EXPECT_EQ(kw::asText(kwtest::reference(VT_BSTR, &typed)), u"typed");
    SysFreeString(typed);
}

TEST(VariantCoercion, RuntimeHelpersRaiseTheRunTimeErrors) {
    const kw::RuntimeError null = kwtest::raisedBy([] { kw::asText(*Variant::null()); });
    EXPECT_EQ(null.number(), 94);
    EXPECT_EQ(null.description(), u"Invalid use of Null");
    const kw::RuntimeError text = kwtest::raisedBy([] { kw::asLong(*Variant::text(u"x")); });
    EXPECT_EQ(text.number(), 13);
    EXPECT_EQ(text.description(), u"Type mismatch");
    EXPECT_EQ(kwtest::raisedBy([] { kw::asLong(*Variant::r8(1e12)); }).number(), 6);
    EXPECT_EQ(kwtest::raisedBy([] { kw::asObject(*Variant::i4(1)); }).number(), 424);
}

}  // namespace
