// INI files with the behaviour of the profile functions GetPrivateProfileStringA
// and WritePrivateProfileStringA, for hosts without them.
//
// The file is kept as the bytes it holds (texts in the ANSI code page), one
// line per entry: "[section]" starts a section, "key=value" sets a key, a
// line starting with ';' is a comment. Sections and keys match whatever
// their letter case, and the first match counts. A value read loses the
// spaces and tabs around it and one pair of enclosing quotes. A write keeps
// every other line as it was, creates the file and the section when they are
// missing, and replaces the file as a whole under its lock (see
// platform/atomicfile.h), so a reader never sees half a file.
#pragma once

#include <filesystem>

#include "platform/com.h"

namespace kw::settings {

class IniFiles {
public:
    // A file name without a full path is taken in directory (the working
    // directory when empty).
    explicit IniFiles(std::filesystem::path directory = {});

    // GetPrivateProfileStringA: a null section lists the section names, a
    // null key the keys of the section, each ended by NUL and the list by a
    // second NUL (cut to fit with size - 2 returned).
    DWORD getString(const char* section, const char* key, const char* defaultText, char* buffer, DWORD size,
                    const char* fileName) const noexcept;
    // WritePrivateProfileStringA.
    BOOL writeString(const char* section, const char* key, const char* text, const char* fileName) const noexcept;

    std::filesystem::path locate(const char* fileName) const;

private:
    std::filesystem::path directory_;
};

}  // namespace kw::settings
