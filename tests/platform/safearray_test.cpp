// SAFEARRAY bounds per dimension and element ownership.
#include <gtest/gtest.h>

#include "core/safearray.h"
#include "support/raised.h"

namespace {

using platform::Text;
using platform::Variant;

TEST(SafeArray, BoundsArePerDimensionAndMissingDimensionsFail) {
    SAFEARRAYBOUND bounds[] = {{2, 1}, {1, 0}, {3, -1}};  // (1 To 2, 0 To 0, -1 To 1)
    SAFEARRAY* a = SafeArrayCreate(VT_I4, 3, bounds);
    ASSERT_NE(a, nullptr);
    LONG lo = 0, hi = 0;
    ASSERT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 2);
    ASSERT_EQ(SafeArrayGetLBound(a, 3, &lo), S_OK);
    EXPECT_EQ(lo, -1);
    EXPECT_EQ(SafeArrayGetLBound(a, 4, &lo), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetDim(a), 3u);

    LONG index[] = {2, 0, 1};
    LONG value = 42, read = 0;
    ASSERT_EQ(SafeArrayPutElement(a, index, &value), S_OK);
    ASSERT_EQ(SafeArrayGetElement(a, index, &read), S_OK);
    EXPECT_EQ(read, 42);
    LONG outside[] = {3, 0, 0};
    EXPECT_EQ(SafeArrayGetElement(a, outside, &read), DISP_E_BADINDEX);
    SafeArrayDestroy(a);
}

TEST(SafeArray, UnsizedArraysAndMissingDimensionsAreSubscriptErrors) {
    EXPECT_EQ(kwtest::raisedBy([] { kw::lowerBound(nullptr, 1); }).number(), 9);
    Variant texts = kw::textArray({u"x", u"y"});
    EXPECT_EQ(kwtest::raisedBy([&] { kw::upperBound(texts.get()->parray, 2); }).number(), 9);
    EXPECT_EQ(kw::upperBound(texts.get()->parray, 1), 1);
}

TEST(SafeArray, TextArraysOwnAndCopyTheirElements) {
    Variant texts = kw::textArray({u"x", Text(u"a\0b", 3)});
    ASSERT_EQ(texts.type(), VT_ARRAY | VT_BSTR);
    Variant copy = texts;
    ASSERT_NE(copy.get()->parray, texts.get()->parray);
    LONG index = 1;
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.get()->parray, &index, &element), S_OK);
    EXPECT_EQ(platform::textOf(element), Text(u"a\0b", 3));
    SysFreeString(element);
}

}  // namespace
