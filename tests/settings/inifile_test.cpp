// INI mode: RegRead and RegWrite on section/key files, and the profile
// functions' own rules for lists, buffers and removal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/RegRW.h"
#include "settings/inifile.h"
#include "support.h"

namespace kwtest {
namespace {

using kw::RegRW::RegRead;
using kw::RegRW::RegWrite;
using platform::Variant;

constexpr std::int32_t HKCU = platform::root::CurrentUser;
const bool kIni = true;

class IniMode : public ::testing::Test {
protected:
    TempDir dir;
    std::shared_ptr<kw::settings::MemoryStore> store = std::make_shared<kw::settings::MemoryStore>(dir.path());
    UseSettings use{store};
    const Text fileName = u"client.ini";
    std::filesystem::path file = dir / "client.ini";

    Text read(const Text& section, const Text& key, const Text& letter = u"S") {
        return RegRead(section, key, letter, kIni, fileName, HKCU);
    }
    void write(const Text& section, const Text& key, const Variant& value, const Text& letter = u"S") {
        RegWrite(section, key, letter, value, kIni, fileName, HKCU);
    }
};

TEST_F(IniMode, AMissingFileOrKeyReadsAsEmptyTextWhateverTheLetter) {
    EXPECT_EQ(read(u"Main", u"Count", u"D"), u"");
    EXPECT_FALSE(std::filesystem::exists(file)) << "reading creates nothing";
    write(u"Main", u"Name", Variant::text(u"x"));
    EXPECT_EQ(read(u"Main", u"Other", u"D"), u"");
    EXPECT_EQ(read(u"Elsewhere", u"Name"), u"");
    EXPECT_EQ(store->openHandles(), 0u);
}

TEST_F(IniMode, AWriteCreatesTheFileAndSectionAndReadsBackWhateverTheCase) {
    write(u"Main", u"Name", Variant::text(u"value one"));
    write(u"Main", u"Count", Variant::i4(42), u"D");
    EXPECT_EQ(fileBytes(file), "[Main]\r\nName=value one\r\nCount=42\r\n");
    EXPECT_EQ(read(u"MAIN", u"name"), u"value one");
    EXPECT_EQ(read(u"main", u"COUNT", u"D"), u"42") << "the letter is not looked at";
    write(u"Main", u"Long", Variant::text(Text(3000, u'v')));
    EXPECT_EQ(read(u"Main", u"Long"), Text(2047, u'v')) << "a read never gives more than 2047 characters";
}

TEST_F(IniMode, AWriteKeepsEveryOtherLineAndTheFilesLineBreaks) {
    writeFileBytes(file,
                   "; comment\n"
                   "[First]\n"
                   "A = \"quoted\" \n"
                   "\n"
                   "[Second]\n"
                   "B=2\n");
    EXPECT_EQ(read(u"first", u"a"), u"quoted");
    write(u"First", u"C", Variant::text(u"3"));
    write(u"second", u"b", Variant::text(u"20"));
    write(u"Third", u"X", Variant::text(u"1"));
    EXPECT_EQ(fileBytes(file),
              "; comment\n"
              "[First]\n"
              "A = \"quoted\" \n"
              "C=3\n"
              "\n"
              "[Second]\n"
              "B=20\n"
              "\n"
              "[Third]\n"
              "X=1\n");
}

TEST(IniFiles, ListsBuffersAndRemovalsFollowTheProfileFunctions) {
    TempDir dir;
    const kw::settings::IniFiles ini(dir.path());
    writeFileBytes(dir / "a.ini", "[A]\r\nx=1\r\ny=hello\r\n[B]\r\n");
    char buffer[64];
    EXPECT_EQ(ini.getString(nullptr, nullptr, nullptr, buffer, sizeof buffer, "a.ini"), 4u);
    EXPECT_EQ(std::string(buffer, 5), std::string("A\0B\0\0", 5));
    EXPECT_EQ(ini.getString("a", nullptr, nullptr, buffer, 3, "a.ini"), 1u) << "a cut list returns size - 2";
    EXPECT_EQ(std::string(buffer, 3), std::string("x\0\0", 3));
    EXPECT_EQ(ini.getString("A", "y", nullptr, buffer, 3, "a.ini"), 2u) << "a cut value returns size - 1";
    EXPECT_STREQ(buffer, "he");
    EXPECT_EQ(ini.getString("A", "z", "fallback  ", buffer, sizeof buffer, "a.ini"), 8u);
    EXPECT_STREQ(buffer, "fallback") << "the default loses its trailing spaces";

    EXPECT_TRUE(ini.writeString("A", "x", nullptr, "a.ini"));
    EXPECT_TRUE(ini.writeString("B", nullptr, nullptr, "a.ini"));
    EXPECT_EQ(fileBytes(dir / "a.ini"), "[A]\r\ny=hello\r\n");
}

}  // namespace
}  // namespace kwtest
