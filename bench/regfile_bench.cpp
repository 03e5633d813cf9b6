// Settings kept in a registry file: reads and writes of one value per second
// through the component's RegRead and RegWrite, beside plain file I/O of the
// same bytes (a read of the whole file; a write of it to a new file, flushed
// to the disk and renamed over the old one, which is what every change of
// the store costs at least). Files of 30 values (a user's settings) and of
// 30 000 values (about 2 MB) in the registry editor's UTF-16LE format.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/atomicfile.h"
#include "platform/settingsapi.h"
#include "settings/RegRW.h"
#include "settings/regfile.h"

namespace {

using platform::Text;
namespace fs = std::filesystem;

constexpr char16_t kKey[] = u"Software\\Kestrelwood\\Bench\\K0";

// A registry file of `values` text values, ten to a key, and the store on it
// as the process's settings backend while it lives.
class RegFileScene {
public:
    explicit RegFileScene(std::int64_t values) {
        dir_ = fs::temp_directory_path() / ("kw_regfile_bench_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        file = dir_ / "settings.reg";
        std::u16string text = u"\uFEFFWindows Registry Editor Version 5.00\r\n";
        for (std::int64_t i = 0; i < values; ++i) {
            const std::u16string n = platform::fromUtf8(std::to_string(i));
            if (i % 10 == 0)
                text += u"\r\n[HKEY_CURRENT_USER\\Software\\Kestrelwood\\Bench\\K" + platform::fromUtf8(std::to_string(i / 10)) + u"]\r\n";
            text += u"\"Value" + n + u"\"=\"some setting " + n + u"\"\r\n";
        }
        bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        previous_ = platform::setSettingsApi(std::make_shared<kw::settings::RegFileStore>(file));
    }
    ~RegFileScene() {
        platform::setSettingsApi(previous_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path file;
    std::string bytes;

private:
    fs::path dir_;
    std::shared_ptr<platform::SettingsApi> previous_;
};

void BM_RegFile_RegRead(benchmark::State& state) {
    RegFileScene scene(state.range(0));
    const bool noIni = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(kw::RegRW::RegRead(kKey, u"Value5", u"S", noIni, Text(), platform::root::CurrentUser));
    state.SetItemsProcessed(state.iterations());
    state.counters["file_bytes"] = static_cast<double>(scene.bytes.size());
}
BENCHMARK(BM_RegFile_RegRead)->Arg(30)->Arg(30000)->Unit(benchmark::kMicrosecond);

void BM_RegFile_PlainRead(benchmark::State& state) {
    RegFileScene scene(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(platform::readWholeFile(scene.file));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegFile_PlainRead)->Arg(30)->Arg(30000)->Unit(benchmark::kMicrosecond);

void BM_RegFile_RegWrite(benchmark::State& state) {
    RegFileScene scene(state.range(0));
    const bool noIni = false;
    const std::int32_t root = platform::root::CurrentUser;
    std::int32_t value = 0;
    for (auto _ : state)
        kw::RegRW::RegWrite(kKey, u"Counter", u"D", platform::Variant::i4(++value % 2), noIni, Text(), root);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegFile_RegWrite)->Arg(30)->Arg(30000)->Unit(benchmark::kMicrosecond);

// The floor of a change: the bytes written to a new file, flushed, and
// renamed over the old one.
void BM_RegFile_PlainReplace(benchmark::State& state) {
    RegFileScene scene(state.range(0));
    fs::path temporary = scene.file;
    temporary += ".new";
    for (auto _ : state) {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        benchmark::DoNotOptimize(::write(fd, scene.bytes.data(), scene.bytes.size()));
        ::fsync(fd);
        ::close(fd);
        std::rename(temporary.c_str(), scene.file.c_str());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegFile_PlainReplace)->Arg(30)->Arg(30000)->Unit(benchmark::kMicrosecond);

}  // namespace
