// The registry file: its format on disk, what a hand-edited file may hold,
// and that neither a malformed file, nor a second process, nor a writer
// killed half-way ever costs the settings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/General.h"
#include "settings/RegRW.h"
#include "support.h"

namespace kwtest {
namespace {

using kw::RegRW::RegRead;
using kw::RegRW::RegWrite;
using kw::settings::KeyPath;
using kw::settings::RegFileEncoding;
using kw::settings::RegFileError;
using kw::settings::RegFileStore;
using kw::settings::RegistryTree;
using kw::settings::StoredKey;
using platform::Variant;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr std::int32_t HKCU = platform::root::CurrentUser;
constexpr std::int32_t HKLM = platform::root::LocalMachine;

Text read(const Text& key, const Text& name, const Text& letter, std::int32_t root = HKCU) {
    return RegRead(key, name, letter, false, Text(), root);
}
void write(const Text& key, const Text& name, const Text& letter, const Variant& value, std::int32_t root = HKCU) {
    RegWrite(key, name, letter, value, false, Text(), root);
}

// A file store whose problems are collected.
struct FileStore {
    TempDir dir;
    std::filesystem::path file = dir / "settings.reg";
    std::vector<std::string> problems;
    std::shared_ptr<RegFileStore> store =
        std::make_shared<RegFileStore>(file, [this](const std::string& p) { problems.push_back(p); });
    UseSettings use{store};
};

// ---- the format on disk ----------------------------------------------------

TEST(RegFileFormat, TheStoreWritesTheRegistryEditorsExportFormatInUtf16) {
    FileStore f;
    write(u"Software\\T", u"Filter", u"D", Variant::i4(50));
    write(u"Software\\T\\Sub", u"Path", u"S", Variant::text(u"say \"hi\" to C:\\temp"));
    write(u"Software\\T\\Sub", u"List", u"MS", Variant::text(Text(u"x\0y\0\0", 5)));
    write(u"Software\\T", u"Name", u"S", Variant::text(u"caf\u00E9"), HKLM);

    EXPECT_THAT(fileBytes(f.file), StartsWith("\xFF\xFE"));
    EXPECT_EQ(utf16FileText(f.file),
              u"Windows Registry Editor Version 5.00\r\n"
              u"\r\n"
              u"[HKEY_CURRENT_USER\\Software\\T]\r\n"
              u"\"Filter\"=dword:00000032\r\n"
              u"\r\n"
              u"[HKEY_CURRENT_USER\\Software\\T\\Sub]\r\n"
              u"\"Path\"=\"say \\\"hi\\\" to C:\\\\temp\"\r\n"
              u"\"List\"=hex(7):78,00,00,00,79,00,00,00,00,00\r\n"
              u"\r\n"
              u"[HKEY_LOCAL_MACHINE\\Software\\T]\r\n"
              u"\"Name\"=\"caf\u00E9\"\r\n"
              u"\r\n");
    EXPECT_TRUE(f.problems.empty());
}

// A key without values of its own gets no section when it has subkeys: the
// file of one key 1 000 levels deep is one section, not a thousand paths.
TEST(RegFileFormat, AKeyOnlyOnTheWayToItsSubkeysGetsNoSection) {
    RegistryTree tree;
    bool created = false;
    std::vector<Text> path(1000, u"k");
    tree.create(KeyPath{HKCU, path}, created)->setValue(u"V", 4, std::string(4, '\x01'));
    tree.create(KeyPath{HKCU, {u"Empty"}}, created);
    const std::string bytes = kw::settings::formatRegFile(tree, RegFileEncoding::Utf8);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '['), 2);
    const auto back = kw::settings::parseRegFile(bytes, "s.reg");
    EXPECT_EQ(kw::settings::formatRegFile(back.tree, RegFileEncoding::Utf8), bytes);
    EXPECT_NE(bytes.find("[HKEY_CURRENT_USER\\Empty]"), std::string::npos);
}

TEST(RegFileReading, AHandWrittenUtf8FileIsReadAsTheFormatAllowsAndAWriteChangesOnlyItsOwnLine) {
    FileStore f;
    const std::string handWritten =
                   "; written by hand\n"
                   "Windows Registry Editor Version 5.00\n"
                   "\n"
                   "[HKEY_CURRENT_USER\\Software\\T]\n"
                   "  ; indented comment\n"
                   "\"Text\" = \"say \\\"hi\\\" to C:\\\\temp\"\n"
                   "@=\"default\"\n"
                   "\"Number\"=dword:FFFFFFFF\n"
                   "\"Short\"=dword:7\n"
                   "\"Bin\"=hex:01,02,\\\n"
                   "  03,04\n"
                   "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                   "\"Gone\"=\"x\"\n"
                   "\"Gone\"=-\n"
                   "\n"
                   "[HKEY_CURRENT_USER\\Software\\Removed]\n"
                   "\"V\"=\"1\"\n"
                   "[-HKEY_CURRENT_USER\\Software\\Removed]\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\T]\n"
                   "\"Caf\xC3\xA9\"=\"\xE2\x82\xAC\"";
    writeFileBytes(f.file, handWritten);
    EXPECT_EQ(read(u"Software\\T", u"Text", u"S"), u"say \"hi\" to C:\\temp");
    EXPECT_EQ(read(u"Software\\T", u"", u"S"), u"default");
    EXPECT_EQ(read(u"Software\\T", u"Number", u"D"), u"-1");
    EXPECT_EQ(read(u"Software\\T", u"Short", u"D"), u"7");
    EXPECT_EQ(read(u"Software\\T", u"Multi", u"MS"), Text(u"a\0b\0", 4));
    EXPECT_EQ(read(u"Software\\T", u"Gone", u"S"), u"");
    EXPECT_EQ(read(u"Software\\Removed", u"V", u"S"), u"");
    EXPECT_EQ(read(u"Software\\T", u"caf\u00C9", u"S", HKLM), u"\u20AC");
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(storedValue(*f.store, HKCU, "Software\\T", "Bin", type, data));
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(data, "\x01\x02\x03\x04");
    EXPECT_TRUE(f.problems.empty()) << f.problems.front();

    // A new value goes after the last line of its key's section, with the
    // file's own line break; a changed one replaces its own lines (a hex
    // value that spanned two lines included); nothing else moves.
    write(u"Software\\T", u"Added", u"D", Variant::i4(1));
    write(u"Software\\T", u"Bin", u"D", Variant::i4(2));
    std::string expected = handWritten;
    const std::string bin = "\"Bin\"=hex:01,02,\\\n  03,04\n";
    expected.replace(expected.find(bin), bin.size(), "\"Bin\"=dword:00000002\n");
    expected.insert(expected.find("\"Gone\"=-\n") + 9, "\"Added\"=dword:00000001\n");
    EXPECT_EQ(fileBytes(f.file), expected) << "written back in UTF-8, without a byte-order mark";
    EXPECT_EQ(read(u"Software\\T", u"Text", u"S"), u"say \"hi\" to C:\\temp");
}

// Texts the ANSI code page cannot show stay whole in the file: a write
// elsewhere in it neither turns them into question marks nor drops the
// comments. The component itself reads them through the ANSI functions, as
// on Windows, and so sees what the code page makes of them.
TEST(RegFileReading, AnyUnicodeTextAndTheHandWrittenLinesSurviveACounterUpdate) {
    const Text handWritten =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"; the user's own notes: \u65E5\u672C\u8A9E, \u0414\u043C\u0438\u0442\u0440\u0438\u0439, \U0001F4E7\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Kestrelwood\\Clients\\Outlook]\r\n"
        u"\"SaveTo\"=\"C:\\\\Users\\\\\u0414\u043C\u0438\u0442\u0440\u0438\u0439\\\\mail\"\r\n"
        u"\"\u540D\u524D\"=\"\u5C71\u7530 \U0001F600\"\r\n"
        u"\r\n";
    for (const RegFileEncoding encoding : {RegFileEncoding::Utf16LE, RegFileEncoding::Utf8}) {
        FileStore f;
        const std::string before = encoding == RegFileEncoding::Utf16LE
                                       ? "\xFF\xFE" + kw::settings::utf16Bytes(handWritten)
                                       : platform::toUtf8(handWritten);
        writeFileBytes(f.file, before);

        kw::General::RecheckCount(false);

        const std::string after = fileBytes(f.file);
        ASSERT_EQ(after.substr(0, before.size()), before) << "every line the write did not touch is kept";
        const Text added = encoding == RegFileEncoding::Utf16LE
                               ? kw::settings::fromUtf16Bytes(after.substr(before.size()))
                               : platform::fromUtf8(after.substr(before.size()));
        EXPECT_EQ(added, u"[HKEY_CURRENT_USER\\Software\\Kestrelwood\\Clients\\Outlook\\Recheck]\r\n"
                         u"\"Mails checked\"=dword:00000001\r\n\r\n");
        EXPECT_EQ(read(u"Software\\Kestrelwood\\Clients\\Outlook\\", u"SaveTo", u"S"), u"C:\\Users\\???????\\mail")
            << "the ANSI functions hand the text over in Windows-1252";
        EXPECT_TRUE(f.problems.empty());
    }
}

// ---- malformed files ---------------------------------------------------------

TEST(RegFileProblems, ATruncatedFileIsReportedWithItsLineAndNeverWrittenOver) {
    FileStore f;
    write(u"Software\\T", u"Name", u"S", Variant::text(u"kept"));
    write(u"Software\\T", u"Filter", u"D", Variant::i4(50));
    const std::string whole = fileBytes(f.file);
    const Text text = utf16FileText(f.file);
    const std::size_t digits = text.find(u"dword:") + 8;  // two digits into the number
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(digits), u'\n');
    const std::string where = f.file.string() + ":" + std::to_string(line) + ": ";

    for (const std::size_t cut : {2 + 2 * digits, 2 + 2 * digits + 1}) {
        f.problems.clear();
        const std::string truncated = whole.substr(0, cut);
        writeFileBytes(f.file, truncated);
        EXPECT_EQ(read(u"Software\\T", u"Filter", u"D"), u"0");
        EXPECT_EQ(read(u"Software\\T", u"Name", u"S"), u"");
        ASSERT_EQ(f.problems.size(), 1u) << "reported once, not at every call";
        EXPECT_THAT(f.problems[0], StartsWith(where));
        EXPECT_EQ(f.store->lastProblem(), f.problems[0]);

        write(u"Software\\T", u"Filter", u"D", Variant::i4(60));
        EXPECT_EQ(fileBytes(f.file), truncated) << "a write to a malformed file fails and replaces nothing";
    }

    writeFileBytes(f.file, whole);
    EXPECT_EQ(read(u"Software\\T", u"Filter", u"D"), u"50");
    EXPECT_EQ(f.store->lastProblem(), "");
}

TEST(RegFileProblems, EachKindOfMistakeNamesItsLine) {
    const std::string head = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n";
    const std::pair<std::string, std::size_t> files[] = {
        {"REGEDIT4\n", 1},
        {"Windows Registry Editor Version 5.00\n\"A\"=\"1\"\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X\n", 2},
        {"Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\X]\n", 2},
        {head + "\"A\"=\"1\" junk\n", 3},
        {head + "\"A\"=dword:123456789\n", 3},
        {head + "\"A\"=hex:01,,02\n", 3},
        {head + "\"A\"=hex:01,\\\n  0g\n", 4},
        {head + "\"A\"=hex:01,\\\n", 3},
        {head + "\"A\"=\"\xC3\"\n", 3},
    };
    for (const auto& [text, line] : files) {
        try {
            kw::settings::parseRegFile(text, "s.reg");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const RegFileError& e) {
            EXPECT_EQ(e.line(), line) << e.what();
            EXPECT_THAT(e.what(), StartsWith("s.reg:" + std::to_string(line) + ": "));
        }
    }
}

// Every key and value of part is also in whole, with the same type and data.
void expectWithin(const StoredKey& part, const StoredKey& whole, const std::string& where) {
    for (const auto& value : part.values) {
        const auto* original = whole.findValue(value.name);
        ASSERT_NE(original, nullptr) << where << ": value " << platform::toUtf8(value.name);
        EXPECT_EQ(value.type, original->type) << where;
        EXPECT_EQ(value.data, original->data) << where << ": value " << platform::toUtf8(value.name);
    }
    for (const auto& [_, sub] : part.subkeys) {
        const auto* original = whole.findSubkey(sub.name);
        ASSERT_NE(original, nullptr) << where << ": key " << platform::toUtf8(sub.name);
        expectWithin(sub, *original, where);
    }
}

TEST(RegFileProblems, AFileCutAnywhereIsEitherAnErrorAtTheCutOrHoldsOnlyValuesItHad) {
    RegistryTree tree;
    bool created = false;
    StoredKey& key = *tree.create(KeyPath{HKCU, {u"Software", u"T"}}, created);
    key.setValue(u"", 1, kw::settings::utf16Bytes(Text(u"default\0", 8)));
    key.setValue(u"Text", 1, kw::settings::utf16Bytes(Text(u"caf\u00E9 \"q\" \\ \u0414 \U0001F600 end\0", 20)));
    key.setValue(u"Number", 4, std::string("\x78\x56\x34\x12", 4));
    key.setValue(u"Binary", 3, std::string(40, '\x5A'));
    key.setValue(u"Multi", 7, kw::settings::utf16Bytes(Text(u"a\0bb\0\0", 6)));
    tree.create(KeyPath{HKLM, {u"Software", u"Other"}}, created)->setValue(u"N", 4, std::string(4, '\x01'));
    const std::string bytes = kw::settings::formatRegFile(tree, RegFileEncoding::Utf8);

    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::string where = "cut at " + std::to_string(cut);
        try {
            const auto part = kw::settings::parseRegFile(bytes.substr(0, cut), "s.reg");
            for (std::size_t r = 0; r < tree.roots().size(); ++r)
                expectWithin(part.tree.roots()[r].key, tree.roots()[r].key, where);
        } catch (const RegFileError& e) {
            const auto lastLine = cut == 0 ? 1 : 1 + std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut - 1), '\n');
            EXPECT_EQ(e.line(), static_cast<std::size_t>(lastLine)) << where << ": " << e.what();
        }
    }
    const auto whole = kw::settings::parseRegFile(bytes, "s.reg");
    for (std::size_t r = 0; r < tree.roots().size(); ++r) expectWithin(tree.roots()[r].key, whole.tree.roots()[r].key, "whole");
}

// ---- other processes -----------------------------------------------------------

// The exit status of a child process that ended, or -1 when it was killed.
int exitStatus(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RegFileProcesses, TwoProcessesCountingAtOnceNeverCorruptTheFile) {
    FileStore f;
    constexpr int kCounts = 60;
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int rc = 0;
            for (int i = 0; i < kCounts; ++i) {
                try {
                    kw::General::RecheckCount(i % 2 == 0);
                } catch (const kw::RuntimeError&) {
                    rc = 1;
                }
            }
            ::_exit(f.store->lastProblem().empty() ? rc : 2);
        }
    }
    for (pid_t child : children) EXPECT_EQ(exitStatus(child), 0);

    ASSERT_NO_THROW(kw::settings::parseRegFile(fileBytes(f.file), f.file));
    const Text key = u"Software\\Kestrelwood\\Clients\\Outlook\\Recheck";
    const int checked = std::stoi(platform::toUtf8(read(key, u"Mails checked", u"D")));
    const int spam = std::stoi(platform::toUtf8(read(key, u"Mails spam", u"D")));
    EXPECT_GE(checked, kCounts) << "increments may be lost, but not more than one process's";
    EXPECT_LE(checked, 2 * kCounts);
    EXPECT_GE(spam, kCounts / 2);
    EXPECT_LE(spam, kCounts);
    EXPECT_TRUE(f.problems.empty());
}

TEST(RegFileProcesses, AWriterKilledAtAnyPointLeavesTheOldOrTheNewContents) {
    FileStore f;
    const Text key = u"Software\\T";
    constexpr std::size_t kLength = 1500;
    write(key, u"Blob", u"MS", Variant::text(Text(kLength, u'A')));
    std::mt19937 rng(20240601);
    for (int round = 0; round < 24; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 1;; ++i) {
                write(key, u"Blob", u"MS", Variant::text(Text(kLength, i % 2 ? u'B' : u'A')));
                write(key, u"Count", u"D", Variant::i4(i));
            }
        }
        ::usleep(500 + rng() % 6000);
        ::kill(child, SIGKILL);
        EXPECT_EQ(exitStatus(child), -1);

        kw::settings::RegFileContents contents;
        ASSERT_NO_THROW(contents = kw::settings::parseRegFile(fileBytes(f.file), f.file)) << "round " << round;
        const StoredKey* stored = contents.tree.find(KeyPath{HKCU, {u"Software", u"T"}});
        ASSERT_NE(stored, nullptr);
        const auto* blob = stored->findValue(u"Blob");
        ASSERT_NE(blob, nullptr);
        const Text text = kw::settings::fromUtf16Bytes(blob->data);
        EXPECT_TRUE(text == Text(kLength, u'A') || text == Text(kLength, u'B'));
    }
    EXPECT_TRUE(f.problems.empty());
}

}  // namespace
}  // namespace kwtest
