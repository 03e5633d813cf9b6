// A settings backend that keeps the registry in one text file, in the export
// format of the Windows registry editor, so that a person can read and edit
// it and Windows can import it:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Kestrelwood\Thresholds]
//   "Filter"=dword:00000032
//   "Name"="text with \"quotes\" and \\ backslashes"
//   "List"=hex(7):61,00,00,00,00,00
//
// Texts ("...") are REG_SZ and end with an implied NUL, as the registry
// editor imports them; "dword:" holds a 4-byte REG_DWORD; "hex(7):" holds a
// REG_MULTI_SZ, "hex(2):" a REG_EXPAND_SZ and "hex(1):" a REG_SZ that a
// quoted text cannot show, all three as UTF-16LE bytes; "hex:" is REG_BINARY
// and "hex(n):" any other type. "@" names the default value, a line starting
// with ';' is a comment, "[-key]" removes a key and "name"=- a value, and a
// line ending in '\' continues hex data on the next line.
//
// Encoding: a new file is written in UTF-16LE with a byte-order mark and CRLF
// line breaks, as the registry editor writes it. A file is read in UTF-16LE
// when it starts with that mark and in UTF-8 (with or without its mark)
// otherwise, and is written back in the encoding it was read in.
//
// Texts are kept as Unicode: the registry functions' ANSI forms convert at
// their boundary, so a text that the ANSI code page cannot show still reads
// back whole from the file and is never written over with question marks.
//
// Every call reads the file afresh; nothing is cached. A change is made under
// the file's lock and replaces the file as a whole (platform/atomicfile.h),
// so a crash or a second process never leaves half a file behind. A change
// rewrites only the lines of the values it changed and adds what it made;
// every other line (comments, blank lines, order, spelling, line breaks)
// stays exactly as it was.
//
// A file that is not in this format fails every call with
// ERROR_REGISTRY_CORRUPT and is never written over: the problem, naming the
// file and the line, goes to the store's problem sink (standard error unless
// the host gives one) once until it changes, and lastProblem() tells it.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/keystore.h"

namespace kw::settings {

enum class RegFileEncoding { Utf16LE, Utf8, Utf8WithBom };

// A registry file that is not in the format, with the file and the line.
class RegFileError : public std::runtime_error {
public:
    RegFileError(const std::filesystem::path& file, std::size_t line, const std::string& problem);
    std::size_t line() const noexcept { return line_; }

private:
    std::size_t line_;
};

// Where the parts of a file stand: the origins of the tree's keys and values
// index `sections` and `values`.
struct RegFileLayout {
    std::vector<Text> lines;   // without their line breaks
    std::vector<Text> breaks;  // each line's own line break (none after the last)
    bool hasVersionLine = false;  // a file of blank and comment lines has none
    // The lines of one value, first to last, and the value they set.
    struct ValueLines {
        std::size_t first = 0, last = 0;
        DWORD type = 0;
        std::string data;
        bool live = false;  // it sets a value of the tree as read
    };
    std::vector<ValueLines> values;
    // The key line of a section and the line after which a value is added.
    struct Section {
        std::size_t header = 0, last = 0;
    };
    std::vector<Section> sections;
};

struct RegFileContents {
    RegistryTree tree;
    RegFileEncoding encoding = RegFileEncoding::Utf16LE;
    RegFileLayout layout;
};

// Reads the text of a registry file; file only names it in errors. Throws
// RegFileError.
RegFileContents parseRegFile(std::string_view bytes, const std::filesystem::path& file);
// The text of a new registry file holding tree. Throws std::invalid_argument
// for a name the format cannot hold (one with a line break in it).
std::string formatRegFile(const RegistryTree& tree, RegFileEncoding encoding);
// The text of the file that `read` was read from once its tree has become
// `changed`: the lines of changed values are rewritten, values and keys the
// change made are added (to the key's last section, or in new sections at
// the end), and every other line is kept byte for byte. Throws as
// formatRegFile.
std::string rewriteRegFile(const RegFileContents& read, const RegistryTree& changed);

class RegFileStore final : public KeyStore {
public:
    using ProblemSink = std::function<void(const std::string& problem)>;

    explicit RegFileStore(std::filesystem::path file, ProblemSink sink = {}, std::filesystem::path iniDirectory = {});

    const std::filesystem::path& file() const noexcept { return file_; }
    // The problem met by the last call, empty when it met none.
    std::string lastProblem() const;

protected:
    LONG inspect(const Reader& read) override;
    LONG update(const Writer& change) override;

private:
    LONG load(RegFileContents& contents);
    void notice(const std::string& problem);
    void clearProblem();

    std::filesystem::path file_;
    ProblemSink sink_;
    mutable platform::Mutex problemLock_;
    std::string lastProblem_;
    std::string reported_;
};

}  // namespace kw::settings
