// VARIANT ownership and the coercions the component relies on, with the
// results OLE Automation gives for the English locale.
#include <gtest/gtest.h>

#include "core/automation.h"
#include "platform/variant.h"

namespace {

using platform::Text;
using platform::Variant;

Text toText(const Variant& v) {
    Variant out;
    const HRESULT hr = VariantChangeType(out.get(), const_cast<VARIANT*>(v.get()), VARIANT_ALPHABOOL, VT_BSTR);
    EXPECT_EQ(hr, S_OK);
    return hr == S_OK ? platform::textOf(out.get()->bstrVal) : Text(u"<failed>");
}

TEST(VariantText, ScalarsConvertAsAutomationDoes) {
    EXPECT_EQ(toText(Variant::boolean(true)), u"True");
    EXPECT_EQ(toText(Variant::boolean(false)), u"False");
    EXPECT_EQ(toText(Variant::i4(-2147483647 - 1)), u"-2147483648");
    EXPECT_EQ(toText(Variant::i2(-5)), u"-5");
    EXPECT_EQ(toText(Variant::r8(9.0)), u"9");
    EXPECT_EQ(toText(Variant::r8(0.1)), u"0.1");
    EXPECT_EQ(toText(Variant::r8(1.0 / 3.0)), u"0.333333333333333");
    EXPECT_EQ(toText(Variant::r8(1e15)), u"1E+15");
    EXPECT_EQ(toText(Variant::r8(123456789012345.0)), u"123456789012345");
    EXPECT_EQ(toText(Variant::r8(0.00001)), u"1E-05");
    EXPECT_EQ(toText(Variant()), u"");
    Variant date;
    date.get()->vt = VT_DATE;
    date.get()->date = 46362.75;  // 2026-12-06 18:00
    EXPECT_EQ(toText(date), u"12/6/2026 6:00:00 PM");
    Variant cy;
    cy.get()->vt = VT_CY;
    cy.get()->cyVal.int64 = -12345;
    EXPECT_EQ(toText(cy), u"-1.2345");
}

TEST(VariantText, WithoutAlphaBoolBooleansAreNumbers) {
    Variant out;
    Variant in = Variant::boolean(true);
    ASSERT_EQ(VariantChangeType(out.get(), in.get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(platform::textOf(out.get()->bstrVal), u"-1");
}

TEST(VariantNumbers, TextParsesAndRealsRoundToEven) {
    Variant out;
    Variant text = Variant::text(u" 1,024 ");
    ASSERT_EQ(VariantChangeType(out.get(), text.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(out.get()->lVal, 1024);
    Variant hex = Variant::text(u"&HFFFFFFFF");
    ASSERT_EQ(VariantChangeType(out.get(), hex.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(out.get()->lVal, -1);
    Variant half = Variant::r8(2.5), otherHalf = Variant::r8(3.5);
    ASSERT_EQ(VariantChangeType(out.get(), half.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(out.get()->lVal, 2);
    ASSERT_EQ(VariantChangeType(out.get(), otherHalf.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(out.get()->lVal, 4);

    Variant word = Variant::text(u"abc"), big = Variant::r8(2147483648.0);
    EXPECT_EQ(VariantChangeType(out.get(), word.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(out.get(), big.get(), 0, VT_I4), DISP_E_OVERFLOW);
    Variant null = Variant::null();
    EXPECT_EQ(VariantChangeType(out.get(), null.get(), 0, VT_BSTR), DISP_E_TYPEMISMATCH);
}

TEST(VariantOwnership, CopiesAreDeepAndReferencesAreLookedThrough) {
    Variant original = Variant::text(u"value");
    Variant copy = original;
    EXPECT_NE(copy.get()->bstrVal, original.get()->bstrVal);

    // A VT_BYREF | VT_VARIANT chain, as scripts pass their variables.
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_BYREF | VT_VARIANT;
    inner.pvarVal = original.get();
    VARIANT outer;
    VariantInit(&outer);
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    EXPECT_EQ(&platform::throughVariantRefs(outer), original.get());
    Variant direct = Variant::copyOf(outer);
    ASSERT_EQ(direct.type(), VT_BSTR);
    EXPECT_EQ(platform::textOf(direct.get()->bstrVal), u"value");

    BSTR typed = SysAllocString(u"typed");
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_BSTR;
    byRef.pbstrVal = &typed;
    EXPECT_EQ(kw::asText(byRef), u"typed");
    SysFreeString(typed);
}

TEST(VariantCoercion, RuntimeHelpersRaiseTheRunTimeErrors) {
    try {
        kw::asLong(*Variant::text(u"x").get());
        FAIL();
    } catch (const kw::RuntimeError& e) {
        EXPECT_EQ(e.number(), 13);
        EXPECT_EQ(e.description(), u"Type mismatch");
    }
    try {
        kw::asLong(*Variant::r8(1e12).get());
        FAIL();
    } catch (const kw::RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    try {
        kw::asObject(*Variant::i4(1).get());
        FAIL();
    } catch (const kw::RuntimeError& e) {
        EXPECT_EQ(e.number(), 424);
    }
}

}  // namespace
