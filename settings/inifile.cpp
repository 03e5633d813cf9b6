#include "settings/inifile.h"

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/atomicfile.h"
#include "platform/codepage.h"
#include "platform/casefold.h"

namespace kw::settings {

namespace {

using Bytes = std::string;
using BytesView = std::string_view;

BytesView trimmed(BytesView s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool sameAnsiName(BytesView a, BytesView b) { return platform::sameName(platform::fromAnsi(a), platform::fromAnsi(b)); }

// One line of the file, as the profile functions see it.
struct Entry {
    enum Kind { Blank, Comment, Section, Key } kind = Blank;
    BytesView name;   // section or key name, trimmed
    BytesView value;  // key value, trimmed; empty for a key line without '='
    bool hasValue = false;
};

Entry classify(BytesView line) {
    const BytesView text = trimmed(line);
    Entry e;
    if (text.empty()) return e;
    if (text.front() == ';') {
        e.kind = Entry::Comment;
    } else if (text.front() == '[') {
        e.kind = Entry::Section;
        const std::size_t close = text.find(']');
        e.name = trimmed(text.substr(1, close == BytesView::npos ? BytesView::npos : close - 1));
    } else {
        e.kind = Entry::Key;
        const std::size_t eq = text.find('=');
        e.name = trimmed(text.substr(0, eq));
        if (eq != BytesView::npos) {
            e.hasValue = true;
            e.value = trimmed(text.substr(eq + 1));
            if (e.value.size() >= 2 && (e.value.front() == '"' || e.value.front() == '\'') &&
                e.value.back() == e.value.front())
                e.value = e.value.substr(1, e.value.size() - 2);
        }
    }
    return e;
}

// The file as lines (without their line breaks) and the line break it uses.
struct IniText {
    std::vector<Bytes> lines;
    Bytes lineBreak = "\r\n";

    explicit IniText(BytesView bytes) {
        const std::size_t firstBreak = bytes.find('\n');
        if (firstBreak != BytesView::npos && (firstBreak == 0 || bytes[firstBreak - 1] != '\r')) lineBreak = "\n";
        while (!bytes.empty()) {
            const std::size_t end = bytes.find('\n');
            BytesView line = bytes.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines.emplace_back(line);
            bytes.remove_prefix(end == BytesView::npos ? bytes.size() : end + 1);
        }
    }

    Bytes join() const {
        Bytes out;
        for (const Bytes& line : lines) out += line + lineBreak;
        return out;
    }

    // The index of the first section of that name, or lines.size().
    std::size_t findSection(BytesView section) const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Entry e = classify(lines[i]);
            if (e.kind == Entry::Section && sameAnsiName(e.name, section)) return i;
        }
        return lines.size();
    }
    // The end of the section whose header is at index header.
    std::size_t sectionEnd(std::size_t header) const {
        std::size_t i = header + 1;
        while (i < lines.size() && classify(lines[i]).kind != Entry::Section) ++i;
        return i;
    }
};

// Copies text into buffer, cut to size - 1 bytes and NUL-terminated.
DWORD copyOut(BytesView text, char* buffer, DWORD size) {
    if (size == 0 || buffer == nullptr) return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    if (n > 0) std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// Copies a list of NUL-ended names and the closing NUL; a list that does not
// fit is cut and still ends in two NULs, and size - 2 is returned.
DWORD copyList(const std::vector<BytesView>& names, char* buffer, DWORD size) {
    if (size == 0 || buffer == nullptr) return 0;
    Bytes list;
    for (BytesView name : names) (list += name) += '\0';
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

}  // namespace

IniFiles::IniFiles(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::filesystem::path IniFiles::locate(const char* fileName) const {
    const std::filesystem::path name(platform::fromAnsi(fileName));
    return name.is_absolute() || directory_.empty() ? name : directory_ / name;
}

DWORD IniFiles::getString(const char* section, const char* key, const char* defaultText, char* buffer, DWORD size,
                          const char* fileName) const noexcept {
    try {
        // The default loses its trailing spaces.
        BytesView fallback = defaultText == nullptr ? BytesView() : BytesView(defaultText);
        while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);

        std::optional<Bytes> bytes;
        if (fileName != nullptr && *fileName != '\0') bytes = platform::readWholeFile(locate(fileName));
        const IniText file(bytes ? BytesView(*bytes) : BytesView());

        std::vector<BytesView> names;
        if (section == nullptr) {
            for (const Bytes& line : file.lines)
                if (const Entry e = classify(line); e.kind == Entry::Section) names.push_back(e.name);
            return copyList(names, buffer, size);
        }
        const std::size_t header = file.findSection(section);
        if (header == file.lines.size()) return key == nullptr ? copyList(names, buffer, size) : copyOut(fallback, buffer, size);
        const std::size_t end = file.sectionEnd(header);
        for (std::size_t i = header + 1; i < end; ++i) {
            const Entry e = classify(file.lines[i]);
            if (e.kind != Entry::Key) continue;
            if (key == nullptr) names.push_back(e.name);
            else if (e.hasValue && sameAnsiName(e.name, key)) return copyOut(e.value, buffer, size);
        }
        return key == nullptr ? copyList(names, buffer, size) : copyOut(fallback, buffer, size);
    } catch (const std::exception&) {
        // An unreadable file reads as a missing one.
        return copyOut(BytesView(), buffer, size);
    }
}

BOOL IniFiles::writeString(const char* section, const char* key, const char* text,
                           const char* fileName) const noexcept {
    if (section == nullptr) return key == nullptr && text == nullptr ? TRUE : FALSE;
    if (fileName == nullptr || *fileName == '\0') return FALSE;
    try {
        const std::filesystem::path path = locate(fileName);
        platform::FileLock lock(platform::lockPathFor(path));
        const std::optional<Bytes> bytes = platform::readWholeFile(path);
        IniText file(bytes ? BytesView(*bytes) : BytesView());

        const std::size_t header = file.findSection(section);
        const bool haveSection = header < file.lines.size();
        auto& lines = file.lines;
        if (key == nullptr) {
            if (!haveSection) return TRUE;
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                        lines.begin() + static_cast<std::ptrdiff_t>(file.sectionEnd(header)));
        } else if (!haveSection) {
            if (text == nullptr) return TRUE;
            if (!lines.empty() && !trimmed(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + Bytes(section) + "]");
            lines.push_back(Bytes(key) + "=" + text);
        } else {
            const std::size_t end = file.sectionEnd(header);
            std::size_t found = end;
            std::size_t lastFilled = header;
            for (std::size_t i = header + 1; i < end; ++i) {
                const Entry e = classify(lines[i]);
                if (e.kind != Entry::Blank) lastFilled = i;
                if (found == end && e.kind == Entry::Key && e.hasValue && sameAnsiName(e.name, key)) found = i;
            }
            if (text == nullptr) {
                if (found == end) return TRUE;
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(found));
            } else if (found < end) {
                // The key keeps the spelling it has in the file.
                lines[found] = Bytes(classify(lines[found]).name) + "=" + text;
            } else {
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastFilled + 1), Bytes(key) + "=" + text);
            }
        }
        platform::replaceFile(path, file.join());
        return TRUE;
    } catch (const std::exception&) {
        // A file that cannot be read, locked or replaced is not written.
        return FALSE;
    }
}

}  // namespace kw::settings
