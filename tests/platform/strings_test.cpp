// BSTR and Text: the length prefix decides, U+0000 travels inside text.
#include <gtest/gtest.h>

#include "platform/strings.h"

namespace {

using platform::Bstr;
using platform::Text;

TEST(Bstr, LengthComesFromThePrefixAndEmbeddedNulSurvives) {
    const Text withNul(u"a\0b", 3);
    Bstr b(withNul);
    EXPECT_EQ(SysStringLen(b.get()), 3u);
    EXPECT_EQ(SysStringByteLen(b.get()), 6u);
    EXPECT_EQ(b.get()[3], u'\0') << "a terminator follows the text";
    EXPECT_EQ(b.text(), withNul);

    Bstr copy = b;
    EXPECT_NE(copy.get(), b.get()) << "copies own their buffer";
    EXPECT_EQ(copy.text(), withNul);
}

TEST(Bstr, NullAndEmptyAreBothEmptyText) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(platform::textOf(nullptr), Text());
    Bstr empty{Text()};
    ASSERT_NE(empty.get(), nullptr) << "empty text is an allocated, zero-length BSTR";
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(Bstr, PutReleasesWhatWasHeld) {
    Bstr b(u"first");
    BSTR* slot = b.put();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(u"second");
    EXPECT_EQ(b.text(), u"second");
    BSTR taken = b.detach();
    EXPECT_EQ(b.get(), nullptr);
    SysFreeString(taken);
}

}  // namespace
