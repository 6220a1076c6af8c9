// Growth of MetaStringToDBI with the number of lines: the cost per line should stay flat from
// 1e4 to 1e5 lines (a cut that copied the rest of the text each time would grow linearly).
#include "classes/cls_DBI.h"

#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>
#include <memory>
#include <string>

namespace {

// count lines of 40 characters, each followed by CR LF; the same text for the same count.
std::u16string MetaString(std::int64_t count) {
    std::u16string text;
    text.reserve(static_cast<std::size_t>(count) * 42);
    std::uint32_t seed = 12345;
    for (std::int64_t line = 0; line < count; ++line) {
        for (int i = 0; i < 40; ++i) {
            seed = seed * 1103515245U + 12345U;
            text += static_cast<char16_t>(0x20 + (seed >> 16U) % 0x5F);
        }
        text += u"\r\n";
    }
    return text;
}

void BM_MetaStringToDBI(benchmark::State& state) {
    const std::u16string source = MetaString(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::u16string text = source;
        auto store = std::make_unique<cls_DBI>();
        state.ResumeTiming();
        store->MetaStringToDBI(text);
        benchmark::DoNotOptimize(store->LinesNumber());
        state.PauseTiming();
        store.reset(); // freeing the lines is not part of the cut
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_MetaStringToDBI)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

#if defined(__GLIBC__)
// The same with the allocator told to keep freed memory, so that each round reuses pages the
// previous one touched: the difference to the plain run is the cost of first-touch page faults.
// Registered last, because the setting stays for the rest of the process.
void BM_MetaStringToDBI_WarmHeap(benchmark::State& state) {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    BM_MetaStringToDBI(state);
}
BENCHMARK(BM_MetaStringToDBI_WarmHeap)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
#endif

} // namespace

BENCHMARK_MAIN();
