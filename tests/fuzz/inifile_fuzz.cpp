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
    // No answer is longer than the file, its NUL separators and the default.
    const DWORD large = static_cast<DWORD>(size) + 64;
    for (DWORD tiny : {1u, 2u, 3u}) {
        read(files, nullptr, nullptr, tiny);
        read(files, "a", nullptr, tiny);
        read(files, "a", "b", tiny);
    }
    // Each read parses the whole file, as the system's own INI calls do, so
    // only the first few sections and keys are read back: all of them would
    // make a run quadratic in the input and cost the campaign its speed.
    constexpr std::size_t kReadBack = 4;
    const std::vector<std::string> sections = names(read(files, nullptr, nullptr, large));
    for (std::size_t s = 0; s < sections.size() && s < kReadBack; ++s) {
        const std::vector<std::string> keys = names(read(files, sections[s].c_str(), nullptr, large));
        for (std::size_t k = 0; k < keys.size() && k < kReadBack; ++k)
            read(files, sections[s].c_str(), keys[k].c_str(), large);
    }

    require(files.writeString("Fuzz Section", "Fuzz Key", "written value", "fuzz.ini") != 0);
    require(read(files, "fuzz section", "FUZZ KEY", large) == "written value");
    return 0;
}
