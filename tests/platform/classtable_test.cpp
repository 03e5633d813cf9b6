// Object creation over the class table, and GUID text.
#include <gtest/gtest.h>

#include "platform/classtable.h"
#include "platform/comptr.h"
#include "platform/guid.h"

namespace {

constexpr CLSID kClass = platform::makeGuid("82C135B0-535D-46A3-81E0-E11633649D0A");

TEST(Guid, ParsesAndFormatsTheRegistryForm) {
    const auto parsed = platform::parseGuid(u"{82c135b0-535d-46a3-81e0-e11633649d0a}");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(*parsed == kClass);
    EXPECT_EQ(platform::formatGuid(kClass), u"{82C135B0-535D-46A3-81E0-E11633649D0A}");
    EXPECT_FALSE(platform::parseGuid(u"82C135B0-535D-46A3-81E0-E11633649D0A").has_value());
    EXPECT_FALSE(platform::parseGuid(u"{82C135B0-535D-46A3-81E0-E11633649D0G}").has_value());
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(u"{82C135B0-535D-46A3-81E0-E11633649D0A}", &clsid), S_OK);
    EXPECT_EQ(CLSIDFromString(u"nonsense", &clsid), CO_E_CLASSSTRING);
}

TEST(ClassTable, ProgIdsMatchWithoutLetterCaseAndUnknownClassesFail) {
    int made = 0;
    platform::registerClass(kClass, u"Some.Thing", [&made](REFIID, void** ppv) {
        ++made;
        *ppv = nullptr;
        return E_NOINTERFACE;
    });
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"some.THING", &clsid), S_OK);
    EXPECT_TRUE(clsid == kClass);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), E_NOINTERFACE);
    EXPECT_EQ(made, 1);

    platform::revokeClass(kClass);
    EXPECT_EQ(CLSIDFromProgID(u"Some.Thing", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
