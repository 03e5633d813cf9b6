// Arbitrary bytes as the text of a registry file. Reading either gives a
// RegFileError that names the file and a line the file has, or a tree; a
// tree must be written out again (unless a name in it holds a line break,
// which the format cannot show), the written text must read back without a
// problem, and writing what was read back must give the same bytes: the
// writer's output is a fixed point of reading and writing. A file that was
// read is also written back as a store writes it: unchanged, that gives the
// very bytes read; with one value set, the file reads back as the changed
// tree and keeps every line before the first it had to touch.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/settingsapi.h"
#include "settings/regfile.h"

namespace {

using kw::settings::RegFileContents;
using kw::settings::RegFileEncoding;
using kw::settings::RegFileError;
using kw::settings::RegistryTree;
using kw::settings::StoredKey;
using kw::settings::StoredValue;

const std::filesystem::path kFile = "fuzz dir/settings.reg";

[[noreturn]] void fault(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "regfile_fuzz: %s\n", what);
    // fwrite, not printf: the detail may be UTF-16 text with NUL bytes in it.
    std::fwrite(detail.data(), 1, detail.size(), stderr);
    std::fputc('\n', stderr);
    __builtin_trap();
}

void require(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) fault(what, detail);
}

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

// The encoding a file in these bytes is read in, by its byte-order mark.
RegFileEncoding encodingOf(std::string_view bytes) {
    if (startsWith(bytes, "\xFF\xFE")) return RegFileEncoding::Utf16LE;
    if (startsWith(bytes, "\xEF\xBB\xBF")) return RegFileEncoding::Utf8WithBom;
    return RegFileEncoding::Utf8;
}

// How many lines the file has at most: one more than its line feeds, counted
// in the file's own code units.
std::size_t lineCount(std::string_view bytes) {
    std::size_t feeds = 0;
    if (encodingOf(bytes) == RegFileEncoding::Utf16LE) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            if (bytes[i] == '\n' && bytes[i + 1] == '\0') ++feeds;
    } else {
        for (char c : bytes)
            if (c == '\n') ++feeds;
    }
    return feeds + 1;
}

// The message must read "<file>:<line>: <problem>" with the line the error
// carries, and that line must be one the file has.
void checkError(const RegFileError& error, std::string_view bytes) {
    const std::string_view message = error.what();
    require(error.line() >= 1, "a RegFileError names line 0", message);
    require(error.line() <= lineCount(bytes), "a RegFileError names a line past the end of the file", message);
    const std::string prefix = kFile.string() + ":" + std::to_string(error.line()) + ": ";
    require(startsWith(message, prefix), "a RegFileError message does not start with the file and its line", message);
    require(message.size() > prefix.size(), "a RegFileError message does not say what is wrong", message);
}

bool hasLineBreak(const std::u16string& name) { return name.find_first_of(u"\r\n") != std::u16string::npos; }

bool holdsLineBreak(const StoredKey& key) {
    if (hasLineBreak(key.name)) return true;
    for (const StoredValue& value : key.values)
        if (hasLineBreak(value.name)) return true;
    for (const auto& [_, sub] : key.subkeys)
        if (holdsLineBreak(sub)) return true;
    return false;
}

bool holdsLineBreak(const RegistryTree& tree) {
    for (const RegistryTree::Root& root : tree.roots())
        if (holdsLineBreak(root.key)) return true;
    return false;
}

// The bytes a file written in that encoding starts with.
std::string_view markOf(RegFileEncoding encoding) {
    switch (encoding) {
    case RegFileEncoding::Utf16LE: return "\xFF\xFE";
    case RegFileEncoding::Utf8WithBom: return "\xEF\xBB\xBF";
    case RegFileEncoding::Utf8: return "W";  // the version line, with no mark before it
    }
    fault("an encoding outside the enumeration");
}

// Every value of `part` is in `whole` with the same type and data, and the
// other way round.
bool sameValues(const StoredKey& a, const StoredKey& b) {
    if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
    for (const StoredValue& value : a.values) {
        const StoredValue* other = b.findValue(value.name);
        if (other == nullptr || other->type != value.type || other->data != value.data) return false;
    }
    for (auto x = a.subkeys.begin(), y = b.subkeys.begin(); x != a.subkeys.end(); ++x, ++y)
        if (!kw::settings::sameName(x->second.name, y->second.name) || !sameValues(x->second, y->second)) return false;
    return true;
}

bool sameTree(const RegistryTree& a, const RegistryTree& b) {
    for (std::size_t r = 0; r < a.roots().size(); ++r)
        if (!sameValues(a.roots()[r].key, b.roots()[r].key)) return false;
    return true;
}

// The store's way of writing: the lines of a file as read, rewritten for
// the tree's changes.
void rewriteInPlace(const RegFileContents& read, std::string_view bytes) {
    if (holdsLineBreak(read.tree)) return;
    require(kw::settings::rewriteRegFile(read, read.tree) == bytes, "rewriting an unchanged file changes its bytes");

    RegFileContents changed = read;
    bool created = false;
    StoredKey* key = changed.tree.create(kw::settings::KeyPath{platform::root::CurrentUser, {u"Fuzz", u"Key"}}, created);
    key->setValue(u"Value", 1, kw::settings::utf16Bytes(std::u16string(u"\u0414\U0001F600\0", 4)));
    const std::string written = kw::settings::rewriteRegFile(read, changed.tree);
    RegFileContents back;
    try {
        back = kw::settings::parseRegFile(written, kFile);
    } catch (const RegFileError& error) {
        fault("a rewritten file does not read back", error.what());
    }
    require(sameTree(back.tree, changed.tree), "a rewritten file reads back as another tree", written);
}

// Reads and writes; anything thrown that is not the expected outcome of the
// step is a fault. A failed allocation is one too: the input is a few
// kilobytes, so only a wrong size computation can make one fail.
void exercise(std::string_view bytes) {
    RegFileContents first;
    try {
        first = kw::settings::parseRegFile(bytes, kFile);
    } catch (const RegFileError& error) {
        checkError(error, bytes);
        return;
    }
    require(first.encoding == encodingOf(bytes), "the file was not read in the encoding its first bytes call for");

    rewriteInPlace(first, bytes);

    std::string written;
    try {
        written = kw::settings::formatRegFile(first.tree, first.encoding);
    } catch (const std::invalid_argument& error) {
        require(holdsLineBreak(first.tree), "writing refused a tree whose names hold no line break", error.what());
        return;
    }
    require(startsWith(written, markOf(first.encoding)), "the written file does not start as its encoding requires");

    RegFileContents second;
    try {
        second = kw::settings::parseRegFile(written, kFile);
    } catch (const RegFileError& error) {
        fault("a written file does not read back", error.what());
    }
    require(second.encoding == first.encoding, "a written file reads back in another encoding");

    const std::string rewritten = kw::settings::formatRegFile(second.tree, second.encoding);
    if (rewritten != written)
        fault("writing what was read back gives other bytes", "first:\n" + written + "\nsecond:\n" + rewritten);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        exercise(bytes);
    } catch (const std::exception& error) {
        fault("an unexpected exception escaped", error.what());
    } catch (...) {
        fault("an exception of an unknown type escaped");
    }
    return 0;
}
