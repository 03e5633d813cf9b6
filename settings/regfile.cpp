#include "settings/regfile.h"

#include <cstdio>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/atomicfile.h"
#include "platform/codepage.h"

namespace kw::settings {

namespace rc = platform::status;
namespace regtype = platform::regtype;

namespace {

constexpr char16_t kVersionLine[] = u"Windows Registry Editor Version 5.00";
constexpr char16_t kLineBreak[] = u"\r\n";

// ---- bytes and lines ------------------------------------------------------

struct Lines {
    std::vector<Text> text;    // without their line breaks
    bool lastEnded = true;     // the last line had a line break after it
    RegFileEncoding encoding = RegFileEncoding::Utf16LE;
};

void addLines(Lines& lines, TextView all) {
    while (!all.empty()) {
        const std::size_t end = all.find(u'\n');
        TextView line = all.substr(0, end);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        lines.text.emplace_back(line);
        lines.lastEnded = end != TextView::npos;
        all.remove_prefix(end == TextView::npos ? all.size() : end + 1);
    }
}

Text fromUtf16Bytes(std::string_view bytes) {
    Text text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

Lines decode(std::string_view bytes, const std::filesystem::path& file) {
    Lines lines;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bytes.remove_prefix(2);
        addLines(lines, fromUtf16Bytes(bytes));
        if (bytes.size() % 2 != 0)
            throw RegFileError(file, lines.text.size() + (lines.lastEnded ? 1 : 0),
                               "the file ends in the middle of a character");
        return lines;
    }
    lines.encoding = RegFileEncoding::Utf8;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        lines.encoding = RegFileEncoding::Utf8WithBom;
    }
    // Line by line, so that bytes that are not UTF-8 are reported with their line.
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
        const Text text = platform::fromUtf8(line);
        if (platform::toUtf8(text) != line)
            throw RegFileError(file, lines.text.size() + 1, "the line is neither UTF-8 nor UTF-16LE text");
        addLines(lines, text);
        bytes.remove_prefix(line.size());
    }
    return lines;
}

std::string encode(TextView text, RegFileEncoding encoding) {
    if (encoding == RegFileEncoding::Utf16LE) {
        std::string out("\xFF\xFE");
        out.reserve(2 + 2 * text.size());
        for (char16_t c : text) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
        return out;
    }
    std::string out(encoding == RegFileEncoding::Utf8WithBom ? "\xEF\xBB\xBF" : "");
    out += platform::toUtf8(text);
    return out;
}

// Texts of types that hold text appear in hex as their UTF-16LE bytes.
bool hexAsUtf16(DWORD type) {
    return type == regtype::Sz || type == regtype::ExpandSz || type == regtype::MultiSz;
}

std::string utf16Bytes(TextView text) { return encode(text, RegFileEncoding::Utf16LE).substr(2); }

TextView trimmed(TextView s) {
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
    return s;
}

// Text from the file, quoted for a message.
std::string inQuotes(TextView text) {
    std::string out(1, '"');
    out += platform::toUtf8(text);
    out += '"';
    return out;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The value of 1 to maxDigits hexadecimal digits; nothing for anything else.
std::optional<std::uint32_t> hexNumber(TextView digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (char16_t c : digits) {
        const int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return value;
}

bool startsWithName(TextView text, TextView prefix) {
    return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

// ---- reading ----------------------------------------------------------------

class Parser {
public:
    Parser(const Lines& lines, const std::filesystem::path& file) : lines_(lines), file_(file) {}

    RegistryTree run() {
        bool sawVersion = false;
        for (at_ = 0; at_ < lines_.text.size(); ++at_) {
            const TextView line = trimmed(lines_.text[at_]);
            if (line.empty() || line.front() == u';') continue;
            if (!sawVersion) {
                if (line != kVersionLine) fail("the file must start with the line \"Windows Registry Editor Version 5.00\"");
                sawVersion = true;
            } else if (line.front() == u'[') {
                keyLine(line);
            } else if (line.front() == u'"' || line.front() == u'@') {
                valueLine(line);
            } else {
                fail("expected a [key] line, a \"value\"= line or a ; comment");
            }
        }
        return std::move(tree_);
    }

private:
    [[noreturn]] void fail(const std::string& problem) const { throw RegFileError(file_, at_ + 1, problem); }

    void keyLine(TextView line) {
        if (line.back() != u']') fail("the key line is not closed by ']'");
        TextView inner = line.substr(1, line.size() - 2);
        const bool removal = !inner.empty() && inner.front() == u'-';
        if (removal) inner.remove_prefix(1);
        const std::size_t slash = inner.find(u'\\');
        const TextView rootName = inner.substr(0, slash);
        const std::optional<std::int32_t> root = tree_.rootNamed(rootName);
        if (!root) fail("unknown root key " + inQuotes(rootName));
        KeyPath path{*root, {}};
        if (slash != TextView::npos && !splitKeyPath(inner.substr(slash + 1), path.names))
            fail("the key path has an empty name in it");
        if (removal) {
            tree_.remove(path);
            current_ = nullptr;
        } else {
            bool created = false;
            current_ = tree_.create(path, created);
        }
        sawKey_ = true;
    }

    // A quoted text starting at pos; pos ends after its closing quote.
    Text quoted(TextView line, std::size_t& pos) const {
        Text text;
        for (++pos;; ++pos) {
            if (pos >= line.size()) fail("the text is not closed by a quote");
            const char16_t c = line[pos];
            if (c == u'"') {
                ++pos;
                return text;
            }
            if (c == u'\\' && pos + 1 < line.size() && (line[pos + 1] == u'\\' || line[pos + 1] == u'"')) ++pos;
            text.push_back(line[pos]);
        }
    }

    void valueLine(TextView line) {
        if (!sawKey_) fail("a value comes before the first [key] line");
        std::size_t pos = 0;
        Text name;
        if (line.front() == u'@') pos = 1;
        else name = quoted(line, pos);
        const TextView afterName = trimmed(line.substr(pos));
        if (afterName.empty() || afterName.front() != u'=') fail("expected '=' after the value name");
        const TextView data = trimmed(afterName.substr(1));

        DWORD type = regtype::Sz;
        bool quotedText = false;
        std::string bytes;
        if (data == u"-") {
            if (current_ != nullptr) current_->removeValue(name);
            return;
        }
        if (!data.empty() && data.front() == u'"') {
            std::size_t end = 0;
            const Text text = quoted(data, end);
            if (end != data.size()) fail("unexpected text after the closing quote");
            bytes = platform::toAnsi(text);
            bytes.push_back('\0');
            quotedText = true;
        } else if (startsWithName(data, u"dword:")) {
            const auto number = hexNumber(data.substr(6), 8);
            if (!number) fail("a dword value needs 1 to 8 hexadecimal digits");
            type = regtype::Dword;
            for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((*number >> shift) & 0xFF));
        } else if (startsWithName(data, u"hex")) {
            TextView rest = data.substr(3);
            type = regtype::Binary;
            if (!rest.empty() && rest.front() == u'(') {
                const std::size_t close = rest.find(u')');
                const auto number = close == TextView::npos ? std::nullopt : hexNumber(rest.substr(1, close - 1), 8);
                if (!number) fail("expected a hexadecimal type number in hex(...)");
                type = *number;
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest.front() != u':') fail("expected ':' after hex");
            bytes = hexBytes(rest.substr(1));
            if (hexAsUtf16(type)) bytes = platform::toAnsi(fromUtf16Bytes(bytes));
        } else {
            fail("unknown kind of value: expected \"text\", dword:, hex: or hex(n):");
        }
        // A number or hex data cut off by the end of the file would read as
        // a different value, so it must be followed by its line break.
        if (!quotedText && at_ + 1 == lines_.text.size() && !lines_.lastEnded)
            fail("the value is cut off: the file ends without a line break after it");
        if (current_ != nullptr) current_->setValue(name, type, std::move(bytes));
    }

    // Comma-separated bytes, continued on the next line after a '\'.
    std::string hexBytes(TextView text) {
        std::string bytes;
        for (;;) {
            bool continued = !text.empty() && text.back() == u'\\';
            if (continued) text = trimmed(text.substr(0, text.size() - 1));
            std::size_t start = 0;
            while (start <= text.size() && !text.empty()) {
                const std::size_t comma = text.find(u',', start);
                const TextView piece = trimmed(text.substr(start, comma == TextView::npos ? TextView::npos : comma - start));
                const bool lastPiece = comma == TextView::npos;
                if (piece.empty() && !(lastPiece && continued))
                    fail("a byte is missing between commas");
                if (!piece.empty()) {
                    const auto byte = hexNumber(piece, 2);
                    if (!byte) fail(inQuotes(piece) + " is not a hexadecimal byte");
                    bytes.push_back(static_cast<char>(*byte));
                }
                if (lastPiece) break;
                start = comma + 1;
            }
            if (!continued) return bytes;
            if (at_ + 1 >= lines_.text.size()) fail("the value continues past the end of the file");
            ++at_;
            text = trimmed(lines_.text[at_]);
        }
    }

    const Lines& lines_;
    const std::filesystem::path& file_;
    std::size_t at_ = 0;
    RegistryTree tree_;
    StoredKey* current_ = nullptr;  // null after a [-key] line: its values are ignored
    bool sawKey_ = false;
};

// ---- writing ----------------------------------------------------------------

void checkName(TextView name) {
    if (name.find_first_of(u"\r\n") != TextView::npos)
        throw std::invalid_argument("a name with a line break cannot be kept in a registry file");
}

void appendQuoted(Text& out, TextView text) {
    out += u'"';
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') out += u'\\';
        out += c;
    }
    out += u'"';
}

// Hex data in lines of at most 80 characters, as the registry editor wraps it.
void appendHex(Text& out, std::string_view bytes) {
    static constexpr char16_t digits[] = u"0123456789abcdef";
    std::size_t column = out.size() - out.rfind(u'\n') - 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += u',';
            if (++column >= 77) {
                out += u"\\\r\n  ";
                column = 2;
            }
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 0xF];
        column += 2;
    }
}

void appendValue(Text& out, const StoredValue& value) {
    checkName(value.name);
    if (value.name.empty()) out += u'@';
    else appendQuoted(out, value.name);
    out += u'=';
    if (value.type == regtype::Sz) {
        TextView text;
        const Text all = platform::fromAnsi(value.data);
        text = all;
        if (!text.empty() && text.back() == u'\0') text.remove_suffix(1);
        if (text.find_first_of(TextView(u"\0\r\n", 3)) == TextView::npos) {
            appendQuoted(out, text);
            out += kLineBreak;
            return;
        }
    }
    if (value.type == regtype::Dword && value.data.size() == 4) {
        char number[9];
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        std::snprintf(number, sizeof number, "%08x", v);
        out += u"dword:";
        out += platform::fromAnsi(number);
        out += kLineBreak;
        return;
    }
    if (value.type == regtype::Binary) {
        out += u"hex:";
    } else {
        char type[16];
        std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
        out += platform::fromAnsi(type);
    }
    appendHex(out, hexAsUtf16(value.type) ? utf16Bytes(platform::fromAnsi(value.data)) : value.data);
    out += kLineBreak;
}

void appendKey(Text& out, const Text& path, const StoredKey& key) {
    checkName(key.name);
    out += u'[' + path + u']' + kLineBreak;
    for (const StoredValue& value : key.values) appendValue(out, value);
    out += kLineBreak;
    for (const StoredKey& sub : key.subkeys) appendKey(out, path + u'\\' + sub.name, sub);
}

}  // namespace

RegFileError::RegFileError(const std::filesystem::path& file, std::size_t line, const std::string& problem)
    : std::runtime_error(file.string() + ":" + std::to_string(line) + ": " + problem), line_(line) {}

RegFileContents parseRegFile(std::string_view bytes, const std::filesystem::path& file) {
    const Lines lines = decode(bytes, file);
    RegFileContents contents;
    contents.tree = Parser(lines, file).run();
    contents.encoding = lines.encoding;
    return contents;
}

std::string formatRegFile(const RegistryTree& tree, RegFileEncoding encoding) {
    Text out = Text(kVersionLine) + kLineBreak + kLineBreak;
    for (const auto& root : tree.roots()) {
        // A root gets a line of its own only when it holds values itself.
        if (!root.key.values.empty()) {
            out += u'[' + root.key.name + u']' + kLineBreak;
            for (const StoredValue& value : root.key.values) appendValue(out, value);
            out += kLineBreak;
        }
        for (const StoredKey& sub : root.key.subkeys) appendKey(out, root.key.name + u'\\' + sub.name, sub);
    }
    return encode(out, encoding);
}

// ---- the store ----------------------------------------------------------------

RegFileStore::RegFileStore(std::filesystem::path file, ProblemSink sink, std::filesystem::path iniDirectory)
    : KeyStore(std::move(iniDirectory)), file_(std::move(file)), sink_(std::move(sink)) {
    if (!sink_) sink_ = [](const std::string& problem) { std::fprintf(stderr, "settings: %s\n", problem.c_str()); };
}

std::string RegFileStore::lastProblem() const {
    std::lock_guard<platform::Mutex> hold(problemLock_);
    return lastProblem_;
}

// A problem goes to the sink once, until a different one takes its place or
// the file reads well again.
void RegFileStore::notice(const std::string& problem) {
    bool report = false;
    {
        std::lock_guard<platform::Mutex> hold(problemLock_);
        lastProblem_ = problem;
        report = reported_ != problem;
        if (report) reported_ = problem;
    }
    if (report) sink_(problem);
}

void RegFileStore::clearProblem() {
    std::lock_guard<platform::Mutex> hold(problemLock_);
    lastProblem_.clear();
    reported_.clear();
}

LONG RegFileStore::load(RegFileContents& contents) {
    try {
        const std::optional<std::string> bytes = platform::readWholeFile(file_);
        contents = bytes ? parseRegFile(*bytes, file_) : RegFileContents{};
    } catch (const RegFileError& error) {
        notice(error.what());
        return rc::RegistryCorrupt;
    } catch (const std::system_error& error) {
        notice(error.what());
        return rc::CantRead;
    }
    clearProblem();
    return rc::Success;
}

LONG RegFileStore::inspect(const Reader& read) {
    RegFileContents contents;
    const LONG loaded = load(contents);
    return loaded == rc::Success ? read(contents.tree) : loaded;
}

LONG RegFileStore::update(const Writer& change) {
    std::optional<platform::FileLock> lock;
    try {
        lock.emplace(platform::lockPathFor(file_));
    } catch (const std::system_error& error) {
        notice(error.what());
        return rc::CantWrite;
    }
    RegFileContents contents;
    const LONG loaded = load(contents);
    if (loaded != rc::Success) return loaded;
    bool changed = false;
    const LONG status = change(contents.tree, changed);
    if (status != rc::Success || !changed) return status;
    try {
        platform::replaceFile(file_, formatRegFile(contents.tree, contents.encoding));
    } catch (const std::system_error& error) {
        notice(error.what());
        return rc::CantWrite;
    } catch (const std::invalid_argument& error) {
        notice(file_.string() + ": " + error.what());
        return rc::InvalidParameter;
    }
    return rc::Success;
}

}  // namespace kw::settings
