// Growth of MetaStringToDBI with the number of lines: the cost per line should stay flat from
// 1e4 to 1e5 lines (a cut that copied the rest of the text each time would grow linearly).
#include "tamsrove/cls_DBI.h"

#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <cstddef>
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

void CutAll(benchmark::State& state) {
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

// Every round from a cold heap: glibc would otherwise raise its trim threshold after the first
// large free and keep the freed lines for the next round, so that a round was cold or warm by
// the allocator's history. Fixed thresholds (glibc's defaults) switch that off: the freed lines
// go back to the system, and the next round touches fresh pages.
void BM_MetaStringToDBI(benchmark::State& state) {
#if defined(__GLIBC__)
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    CutAll(state);
}
BENCHMARK(BM_MetaStringToDBI)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

#if defined(__GLIBC__) && defined(__linux__)
// The bytes the allocator hands out for the lines of a cut of count lines.
std::size_t HeldBytes(std::int64_t count) {
    std::u16string text = MetaString(count);
    const struct mallinfo2 before = mallinfo2();
    cls_DBI store;
    store.MetaStringToDBI(text);
    const struct mallinfo2 after = mallinfo2();
    return (after.uordblks + after.hblkhd) - (before.uordblks + before.hblkhd);
}

// The floor of a cut from a cold heap: writing one byte in every 4 KiB page of as much newly
// mapped memory as the cut's lines take. No cut can put its lines into memory the process has
// never touched for less.
void BM_FreshPagesFloor(benchmark::State& state) {
    const std::size_t bytes = HeldBytes(state.range(0));
    for (auto _ : state) {
        void* mapping =
            mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) {
            state.SkipWithError("mmap failed");
            break;
        }
        auto* memory = static_cast<volatile char*>(mapping);
        for (std::size_t at = 0; at < bytes; at += 4096) {
            memory[at] = 1;
        }
        state.PauseTiming();
        munmap(mapping, bytes);
        state.ResumeTiming();
    }
    state.counters["lines"] = static_cast<double>(state.range(0));
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_FreshPagesFloor)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
#endif

#if defined(__GLIBC__)
// The same with the allocator told to keep freed memory, so that each round reuses pages the
// previous one touched: the difference to the plain run is the cost of first-touch page faults.
// Registered last, because the setting stays for the rest of the process.
void BM_MetaStringToDBI_WarmHeap(benchmark::State& state) {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    CutAll(state);
}
BENCHMARK(BM_MetaStringToDBI_WarmHeap)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
#endif

} // namespace

BENCHMARK_MAIN();
