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
    std::vector<Text> breaks;  // each line's own break: CR LF, LF, or none after the last
    bool lastEnded = true;     // the last line had a line break after it
    RegFileEncoding encoding = RegFileEncoding::Utf16LE;
};

void addLines(Lines& lines, TextView all) {
    while (!all.empty()) {
        const std::size_t end = all.find(u'\n');
        TextView line = all.substr(0, end);
        TextView lineBreak = end == TextView::npos ? TextView() : all.substr(end, 1);
        if (end != TextView::npos && !line.empty() && line.back() == u'\r') {
            line.remove_suffix(1);
            lineBreak = all.substr(end - 1, 2);
        }
        lines.text.emplace_back(line);
        lines.breaks.emplace_back(lineBreak);
        lines.lastEnded = end != TextView::npos;
        all.remove_prefix(end == TextView::npos ? all.size() : end + 1);
    }
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

// The origin of a key that the file makes only as the parent of another.
constexpr std::size_t kImpliedByFile = kNoOrigin - 1;

// Marks every live value's lines as live.
void markLive(const StoredKey& key, RegFileLayout& layout) {
    for (const StoredValue& value : key.values)
        if (value.origin < layout.values.size()) layout.values[value.origin].live = true;
    for (const auto& [_, sub] : key.subkeys) markLive(sub, layout);
}

class Parser {
public:
    Parser(const Lines& lines, const std::filesystem::path& file, RegFileLayout& layout)
        : lines_(lines), file_(file), layout_(layout) {}

    RegistryTree run() {
        bool sawVersion = false;
        for (at_ = 0; at_ < lines_.text.size(); ++at_) {
            const TextView line = trimmed(lines_.text[at_]);
            if (line.empty() || line.front() == u';') continue;
            if (!sawVersion) {
                if (line != kVersionLine) fail("the file must start with the line \"Windows Registry Editor Version 5.00\"");
                sawVersion = true;
                layout_.hasVersionLine = true;
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
            // The keys above it are in the file too, without a section.
            StoredKey* above = tree_.root(path.root);
            for (std::size_t i = 0; i + 1 < path.names.size(); ++i) {
                above = above->findSubkey(path.names[i]);
                if (above->origin == kNoOrigin) above->origin = kImpliedByFile;
            }
            current_->origin = layout_.sections.size();
            layout_.sections.push_back({at_, at_});
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
        const std::size_t first = at_;
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
            if (current_ != nullptr) {
                current_->removeValue(name);
                layout_.sections.back().last = at_;
            }
            return;
        }
        if (!data.empty() && data.front() == u'"') {
            std::size_t end = 0;
            const Text text = quoted(data, end);
            if (end != data.size()) fail("unexpected text after the closing quote");
            bytes = utf16Bytes(text);
            bytes.append(2, '\0');
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
        } else {
            fail("unknown kind of value: expected \"text\", dword:, hex: or hex(n):");
        }
        // A number or hex data cut off by the end of the file would read as
        // a different value, so it must be followed by its line break.
        if (!quotedText && at_ + 1 == lines_.text.size() && !lines_.lastEnded)
            fail("the value is cut off: the file ends without a line break after it");
        if (current_ == nullptr) return;
        current_->setValue(name, type, bytes);
        current_->findValue(name)->origin = layout_.values.size();
        layout_.values.push_back({first, at_, type, std::move(bytes)});
        layout_.sections.back().last = at_;
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
    RegFileLayout& layout_;
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
void appendHex(Text& out, std::string_view bytes, TextView lineBreak) {
    static constexpr char16_t digits[] = u"0123456789abcdef";
    const std::size_t lineStart = out.rfind(u'\n');
    std::size_t column = lineStart == Text::npos ? out.size() : out.size() - lineStart - 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += u',';
            if (++column >= 77) {
                out += u'\\';
                out += lineBreak;
                out += u"  ";
                column = 2;
            }
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 0xF];
        column += 2;
    }
}

// One value's line (or lines, for long hex data), each ended by lineBreak.
void appendValue(Text& out, const StoredValue& value, TextView lineBreak) {
    checkName(value.name);
    if (value.name.empty()) out += u'@';
    else appendQuoted(out, value.name);
    out += u'=';
    if (value.type == regtype::Sz && value.data.size() % 2 == 0) {
        const Text all = fromUtf16Bytes(value.data);
        TextView text = all;
        if (!text.empty() && text.back() == u'\0') text.remove_suffix(1);
        if (text.find_first_of(TextView(u"\0\r\n", 3)) == TextView::npos) {
            appendQuoted(out, text);
            out += lineBreak;
            return;
        }
    }
    if (value.type == regtype::Dword && value.data.size() == 4) {
        char number[9];
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
        std::snprintf(number, sizeof number, "%08x", v);
        out += u"dword:";
        out += platform::fromUtf8(number);
        out += lineBreak;
        return;
    }
    if (value.type == regtype::Binary) {
        out += u"hex:";
    } else {
        char type[16];
        std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
        out += platform::fromUtf8(type);
    }
    appendHex(out, value.data, lineBreak);
    out += lineBreak;
}

// A section of its own for key and its values.
void appendSection(Text& out, const Text& path, const StoredKey& key, TextView lineBreak) {
    out += u'[' + path + u']';
    out += lineBreak;
    for (const StoredValue& value : key.values) appendValue(out, value, lineBreak);
    out += lineBreak;
}

// Whether a key below a root needs a section of its own to be in the file.
// A key with subkeys and no values to write needs none: its subkeys'
// sections make it when the file is read. Writing one anyway would repeat
// its path once per level below it, and make the file of one deep key
// quadratic in its depth.
bool needsSection(bool valuesToWrite, const StoredKey& key) { return valuesToWrite || key.subkeys.empty(); }

void appendKey(Text& out, const Text& path, const StoredKey& key) {
    checkName(key.name);
    if (needsSection(!key.values.empty(), key)) appendSection(out, path, key, kLineBreak);
    for (const auto& [_, sub] : key.subkeys) appendKey(out, path + u'\\' + sub.name, sub);
}

// The edits that turn a file as read into the file of a changed tree.
class Rewrite {
public:
    explicit Rewrite(const RegFileContents& read)
        : layout_(read.layout), replaced_(layout_.lines.size()), dropped_(layout_.lines.size()),
          added_(layout_.lines.size()), lineBreak_(styleOf(layout_)) {}

    std::string run(const RegistryTree& changed, RegFileEncoding encoding) {
        std::vector<bool> stillLive(layout_.values.size());
        for (const auto& root : changed.roots()) {
            visit(root.key, root.key.name, true, stillLive);
            for (const auto& [_, sub] : root.key.subkeys) walk(sub, root.key.name + u'\\' + sub.name, stillLive);
        }
        // A value the change removed loses its lines.
        for (std::size_t i = 0; i < layout_.values.size(); ++i)
            if (layout_.values[i].live && !stillLive[i]) drop(layout_.values[i]);
        return encode(text(), encoding);
    }

private:
    // The line break a file uses: that of its first line, CR LF for a new one.
    static Text styleOf(const RegFileLayout& layout) {
        return layout.breaks.empty() || layout.breaks.front().empty() ? Text(kLineBreak) : layout.breaks.front();
    }

    void walk(const StoredKey& key, const Text& path, std::vector<bool>& stillLive) {
        checkName(key.name);
        visit(key, path, false, stillLive);
        for (const auto& [_, sub] : key.subkeys) walk(sub, path + u'\\' + sub.name, stillLive);
    }

    void visit(const StoredKey& key, const Text& path, bool isRoot, std::vector<bool>& stillLive) {
        const bool hasSection = key.origin < layout_.sections.size();
        Text fresh;  // the values the change made
        for (const StoredValue& value : key.values) {
            if (value.origin < layout_.values.size()) {
                stillLive[value.origin] = true;
                const RegFileLayout::ValueLines& lines = layout_.values[value.origin];
                if (lines.type != value.type || lines.data != value.data) {
                    drop(lines);
                    dropped_[lines.first] = false;
                    appendValue(replaced_[lines.first], value, lineBreak_);
                }
            } else {
                appendValue(fresh, value, lineBreak_);
            }
        }
        if (hasSection) {
            added_[layout_.sections[key.origin].last] += fresh;
            return;
        }
        // A key the file does not hold gets a section at the end, unless it
        // is a root without values, or a key that only holds new subkeys
        // (their sections make it).
        const bool inFile = key.origin == kImpliedByFile;
        if (isRoot || inFile ? fresh.empty() : !needsSection(!fresh.empty(), key)) return;
        appended_ += u'[' + path + u']';
        appended_ += lineBreak_;
        appended_ += fresh;
        appended_ += lineBreak_;
    }

    void drop(const RegFileLayout::ValueLines& lines) {
        for (std::size_t i = lines.first; i <= lines.last; ++i) dropped_[i] = true;
    }

    Text text() const {
        Text out;
        for (std::size_t i = 0; i < layout_.lines.size(); ++i) {
            const bool last = i + 1 == layout_.lines.size();
            if (!replaced_[i].empty()) {
                out += replaced_[i];
            } else if (!dropped_[i]) {
                out += layout_.lines[i];
                // What follows the last line needs a line break before it.
                out += layout_.breaks[i].empty() && (!added_[i].empty() || (last && !appended_.empty()))
                           ? TextView(lineBreak_)
                           : TextView(layout_.breaks[i]);
            }
            out += added_[i];
        }
        if (appended_.empty()) return out;
        if (!layout_.hasVersionLine) out += Text(kVersionLine) + lineBreak_;
        // A new section follows a blank line, as the registry editor writes it.
        if (!endsWithBlankLine(out)) out += lineBreak_;
        return out + appended_;
    }

    static bool endsWithBlankLine(TextView out) {
        if (out.empty() || out.back() != u'\n') return false;
        out.remove_suffix(1);
        if (!out.empty() && out.back() == u'\r') out.remove_suffix(1);
        return out.empty() || out.back() == u'\n';
    }

    const RegFileLayout& layout_;
    std::vector<Text> replaced_;  // the new lines of a changed value, at its first line
    std::vector<bool> dropped_;
    std::vector<Text> added_;     // new values after a section's last line
    Text appended_;               // new sections
    Text lineBreak_;
};

}  // namespace

RegFileError::RegFileError(const std::filesystem::path& file, std::size_t line, const std::string& problem)
    : std::runtime_error(file.string() + ":" + std::to_string(line) + ": " + problem), line_(line) {}

RegFileContents parseRegFile(std::string_view bytes, const std::filesystem::path& file) {
    Lines lines = decode(bytes, file);
    RegFileContents contents;
    contents.tree = Parser(lines, file, contents.layout).run();
    for (const auto& root : contents.tree.roots()) markLive(root.key, contents.layout);
    contents.encoding = lines.encoding;
    contents.layout.lines = std::move(lines.text);
    contents.layout.breaks = std::move(lines.breaks);
    return contents;
}

std::string formatRegFile(const RegistryTree& tree, RegFileEncoding encoding) {
    Text out = Text(kVersionLine) + kLineBreak + kLineBreak;
    for (const auto& root : tree.roots()) {
        // A root gets a line of its own only when it holds values itself.
        if (!root.key.values.empty()) appendSection(out, root.key.name, root.key, kLineBreak);
        for (const auto& [_, sub] : root.key.subkeys) appendKey(out, root.key.name + u'\\' + sub.name, sub);
    }
    return encode(out, encoding);
}

std::string rewriteRegFile(const RegFileContents& read, const RegistryTree& changed) {
    return Rewrite(read).run(changed, read.encoding);
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
        platform::replaceFile(file_, rewriteRegFile(contents, contents.tree));
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
