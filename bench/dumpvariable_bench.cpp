// The variable dump of an error report on an array of 100 000 texts, beside
// a copy of the same characters: the dump's cost per byte of its output.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/safearray.h"
#include "errorcapture/DumpVariable.h"

namespace {

using kw::Text;

const std::vector<Text>& texts() {
    static const std::vector<Text> items = [] {
        std::vector<Text> all;
        for (int i = 0; i < 100000; ++i) all.push_back(u"Received: from relay" + Text(static_cast<std::size_t>(i % 30), u'x'));
        return all;
    }();
    return items;
}

void BM_DumpVariable_100000Texts(benchmark::State& state) {
    const kw::Variant array = kw::textArray(texts());
    std::size_t produced = 0;
    for (auto _ : state) {
        const Text dump = kw::DumpVariable(u"sSplitHeader", *array, 99, 4);
        produced = dump.size();
        benchmark::DoNotOptimize(dump.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(produced * sizeof(char16_t)));
    state.counters["dump_chars"] = static_cast<double>(produced);
}
BENCHMARK(BM_DumpVariable_100000Texts)->Unit(benchmark::kMillisecond);

}  // namespace
