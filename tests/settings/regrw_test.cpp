// RegRead and RegWrite against every backend kind: the bytes that reach the
// backend, the texts that come back, and the failures they swallow.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "settings/RegRW.h"
#include "support.h"

namespace kwtest {
namespace {

using kw::RegRW::RegRead;
using kw::RegRW::RegWrite;
using platform::Variant;
using ::testing::ElementsAre;

constexpr std::int32_t HKCU = platform::root::CurrentUser;
constexpr std::int32_t HKLM = platform::root::LocalMachine;
const bool kRegistry = false;
const Text kNoFile;
constexpr char16_t kKey[] = u"Software\\Kestrelwood\\Test";

template <class Kind>
class StoreContract : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<kw::settings::KeyStore> store = Kind::make(dir);
    std::shared_ptr<RecordingApi> recorder = std::make_shared<RecordingApi>(store);
    UseSettings use{recorder};

    static Text read(const Text& name, const Text& letter, std::int32_t root = HKCU) {
        return RegRead(kKey, name, letter, kRegistry, kNoFile, root);
    }
    static void write(const Text& name, const Text& letter, const Variant& value, std::int32_t root = HKCU) {
        RegWrite(kKey, name, letter, value, kRegistry, kNoFile, root);
    }
    // Stores a value of any type and bytes directly through the backend.
    void put(const std::string& name, DWORD type, const std::string& bytes) {
        platform::RegKey key = 0;
        ASSERT_EQ(store->RegCreateKeyA(platform::rootKey(HKCU), "Software\\Kestrelwood\\Test", &key), 0);
        ASSERT_EQ(store->RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                        static_cast<DWORD>(bytes.size())),
                  0);
        store->RegCloseKey(key);
    }
    ApiCall lastSet() const {
        const auto sets = recorder->callsTo("RegSetValueExA");
        return sets.empty() ? ApiCall{} : sets.back();
    }
};
TYPED_TEST_SUITE(StoreContract, StoreKinds, StoreKindNames);

TYPED_TEST(StoreContract, AMissingKeyOrValueReadsAsEmptyTextOrZero) {
    const auto expectDefaults = [this] {
        EXPECT_EQ(this->read(u"Filter", u"D"), u"0");
        EXPECT_EQ(this->read(u"Filter", u"S"), u"");
        EXPECT_EQ(this->read(u"Filter", u"MS"), u"");
        EXPECT_EQ(this->read(u"Filter", u"B"), u"");
        EXPECT_EQ(this->read(u"Filter", u"X"), u"");
    };
    expectDefaults();
    // The failed open leaves the handle 0, and 0 is closed all the same.
    const auto closes = this->recorder->callsTo("RegCloseKey");
    ASSERT_EQ(closes.size(), 5u);
    for (const ApiCall& c : closes) EXPECT_EQ(c.key, 0u);

    this->write(u"Other", u"D", Variant::i4(1));
    expectDefaults();
}

// Each row writes one value with a letter and reads it back with another:
// the type and bytes that reach the backend (text without a terminator,
// numbers as four little-endian bytes, texts in the ANSI code page) and the
// text that comes back. The letters ignore their case.
TYPED_TEST(StoreContract, EachLetterWritesItsTypeAndBytesAndReadsThemBack) {
    const std::string zero(4, '\0');
    const struct {
        const char16_t* letter;
        Variant value;
        DWORD type;
        std::string bytes;
        const char16_t* readAs;
        Text expected;
    } rows[] = {
        {u"S", Variant::text(u"abc"), 1, "abc", u"s", u"abc"},
        {u"S", Variant::text(Text(u"ab\0cd", 5)), 1, std::string("ab\0cd", 5), u"S", u"ab"},
        {u"S", Variant::text(Text(254, u'x')), 1, std::string(254, 'x'), u"S", Text(254, u'x')},
        // 255 bytes leave no room for the terminator; 400 do not fit the buffer.
        {u"S", Variant::text(Text(255, u'y')), 1, std::string(255, 'y'), u"S", u""},
        {u"S", Variant::text(Text(400, u'z')), 1, std::string(400, 'z'), u"S", u""},
        {u"S", Variant::text(u"Gr\u00FC\u00DFe \u20AC \u0100"), 1, "Gr\xFC\xDF" "e \x80 ?", u"S", u"Gr\u00FC\u00DFe \u20AC ?"},
        // A value that cannot be taken as text is written as empty text.
        {u"S", Variant::error(DISP_E_PARAMNOTFOUND), 1, "", u"S", u""},
        {u"D", Variant::i4(50), 4, std::string("\x32\0\0\0", 4), u"d", u"50"},
        {u"D", Variant::text(u"-7"), 4, "\xF9\xFF\xFF\xFF", u"D", u"-7"},
        // A number that cannot be converted, or is out of range, is written as 0.
        {u"D", Variant::text(u"not a number"), 4, zero, u"D", u"0"},
        {u"D", Variant::r8(3e10), 4, zero, u"D", u"0"},
        // A multi-string keeps its separators and loses its last character.
        {u"MS", Variant::text(Text(u"one\0two\0\0", 9)), 7, std::string("one\0two\0\0", 9), u"ms", Text(u"one\0two\0", 8)},
        // B reads up to the first space.
        {u"S", Variant::text(u"yes and more"), 1, "yes and more", u"b", u"yes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::toUtf8(row.letter) + " read as " + platform::toUtf8(row.readAs));
        this->write(u"Filter", row.letter, row.value);
        const ApiCall set = this->lastSet();
        EXPECT_EQ(set.type, row.type);
        EXPECT_EQ(set.data, row.bytes);
        EXPECT_EQ(set.size, row.bytes.size()) << "nothing is appended to the caller's text";
        this->recorder->calls.clear();
        EXPECT_EQ(this->read(u"Filter", row.readAs), row.expected);
        if (row.type == 7) {
            // The size is learned first with no buffer, then the data is read.
            const auto queries = this->recorder->callsTo("RegQueryValueExA");
            ASSERT_EQ(queries.size(), 2u);
            EXPECT_EQ(queries[0].size, 0u);
            EXPECT_EQ(queries[1].size, 9u);
        }
    }
    // Values stored by other programs: the type is not looked at.
    this->put("Filter", 4, std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(this->read(u"Filter", u"D"), u"-1");
    this->put("Flag", 3, std::string("\x01\x02", 2));
    EXPECT_EQ(this->read(u"Flag", u"B"), u"\x01\x02");
}

TYPED_TEST(StoreContract, AnUnknownLetterQueriesNothingAndWritesOnlyTheKey) {
    this->write(u"Filter", u"S", Variant::text(u"kept"));
    this->recorder->calls.clear();
    EXPECT_EQ(this->read(u"Filter", u"Q"), u"");
    EXPECT_THAT(this->recorder->functions(), ElementsAre("RegOpenKeyA", "RegCloseKey"));

    this->recorder->calls.clear();
    RegWrite(u"Software\\Kestrelwood\\New", u"Filter", u"B", Variant::text(u"x"), kRegistry, kNoFile, HKCU);
    EXPECT_THAT(this->recorder->functions(), ElementsAre("RegCreateKeyA", "RegCloseKey"));
    platform::RegKey key = 0;
    EXPECT_EQ(this->store->RegOpenKeyA(platform::rootKey(HKCU), "Software\\Kestrelwood\\New", &key), 0)
        << "the key has been created";
    this->store->RegCloseKey(key);
    EXPECT_EQ(this->read(u"Filter", u"S"), u"kept");
}

TYPED_TEST(StoreContract, EveryKeyOpenedIsClosed) {
    this->write(u"A", u"S", Variant::text(u"1"));
    this->write(u"B", u"D", Variant::i4(2));
    this->write(u"C", u"MS", Variant::text(u"3"));
    this->write(u"D", u"?", Variant::text(u"4"));
    for (const Text letter : {u"S", u"D", u"MS", u"B", u"?"}) this->read(u"A", letter);
    RegRead(u"Missing\\Key", u"A", u"S", kRegistry, kNoFile, HKCU);
    EXPECT_EQ(this->store->openHandles(), 0u);
    EXPECT_EQ(this->recorder->callsTo("RegCloseKey").size(),
              this->recorder->callsTo("RegOpenKeyA").size() + this->recorder->callsTo("RegCreateKeyA").size());
}

TYPED_TEST(StoreContract, RootsAndKeyPathsAreSeparateAndNamesIgnoreCase) {
    this->write(u"Identity", u"S", Variant::text(u"machine"), HKLM);
    EXPECT_EQ(this->read(u"Identity", u"S", HKLM), u"machine");
    EXPECT_EQ(this->read(u"Identity", u"S", HKCU), u"");
    EXPECT_EQ(RegRead(u"SOFTWARE\\kestrelwood\\test", u"IDENTITY", u"S", kRegistry, kNoFile, HKLM), u"machine");
    // A trailing backslash names the same key.
    EXPECT_EQ(RegRead(u"Software\\Kestrelwood\\Test\\", u"Identity", u"S", kRegistry, kNoFile, HKLM), u"machine");
    // Key paths cross the backend in the ANSI code page too.
    RegWrite(u"Software\\Caf\u00E9", u"V", u"D", Variant::i4(1), kRegistry, kNoFile, HKCU);
    EXPECT_EQ(this->recorder->callsTo("RegCreateKeyA").back().name, "Software\\Caf\xE9");
    EXPECT_EQ(RegRead(u"Software\\CAF\u00C9", u"v", u"D", kRegistry, kNoFile, HKCU), u"1");
}

TEST(AnsiCodePage, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const Text text = platform::fromAnsi(all);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x81], u'\u0081');
    EXPECT_EQ(text[0x9F], u'\u0178');
    EXPECT_EQ(platform::toAnsi(text), all);
    EXPECT_EQ(platform::toAnsi(u"\u0080\u4E2D\U0001F600"), "????") << "one '?' per UTF-16 unit";
}

// ---- failures are swallowed ------------------------------------------------

TEST(StoreFailures, WithoutABackendEverySettingReadsAsMissing) {
    UseSettings use(nullptr);
    EXPECT_EQ(RegRead(kKey, u"V", u"d", kRegistry, kNoFile, HKCU), u"0");
    EXPECT_EQ(RegRead(kKey, u"V", u"S", kRegistry, kNoFile, HKCU), u"");
    EXPECT_NO_THROW(RegWrite(kKey, u"V", u"D", Variant::i4(1), kRegistry, kNoFile, HKCU));
}

}  // namespace
}  // namespace kwtest
