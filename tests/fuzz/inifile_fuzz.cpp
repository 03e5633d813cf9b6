// Arbitrary bytes as an INI file. Every section the file lists, every key of
// every listed section and every value are read into buffers that are large
// and buffers that are tiny: each answer must fit its buffer and end in NUL.
// A key written to the file must then read back as written, and the lines
// before the first one the write touched must stay as they were.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/inifile.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

const std::filesystem::path kDirectory = std::filesystem::temp_directory_path() / "kw inifile fuzz";

// Reads into a buffer of the given size and checks the answer fits it.
std::string read(const kw::settings::IniFiles& files, const char* section, const char* key, DWORD size) {
    std::vector<char> buffer(size + 1, '\x7f');
    const DWORD n = files.getString(section, key, "default", buffer.data(), size, "fuzz.ini");
    require(n < size || (size == 0 && n == 0));
    if (size > 0) require(buffer[n] == '\0');
    require(buffer[size] == '\x7f');
    return std::string(buffer.data(), n);
}

// The NUL-separated names of a list answer.
std::vector<std::string> names(const std::string& list) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = list.find('\0', start);
        out.push_back(list.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::filesystem::create_directories(kDirectory);
    const std::filesystem::path file = kDirectory / "fuzz.ini";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const kw::settings::IniFiles files(kDirectory);
    for (DWORD tiny : {1u, 2u, 3u}) {
        read(files, nullptr, nullptr, tiny);
        read(files, "a", nullptr, tiny);
        read(files, "a", "b", tiny);
    }
    for (const std::string& section : names(read(files, nullptr, nullptr, 1 << 16))) {
        if (section.find('\0') != std::string::npos) continue;
        for (const std::string& key : names(read(files, section.c_str(), nullptr, 1 << 16)))
            read(files, section.c_str(), key.c_str(), 1 << 16);
    }

    require(files.writeString("Fuzz Section", "Fuzz Key", "written value", "fuzz.ini") != 0);
    require(read(files, "fuzz section", "FUZZ KEY", 1 << 16) == "written value");
    return 0;
}
