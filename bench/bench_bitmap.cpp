// Timings of the bitmap transforms and the run-length coder on two page
// shapes with receipt-like content, each beside its dot-by-dot reference (or,
// for the crop, beside one memcpy of the kept bytes).
//
//   bench_bitmap --benchmark_min_time=0.2
//
// The argument of every benchmark picks the page: 0 is 576 dots × 3000 lines
// (72 bytes per line), 1 is 1680 dots × 2400 lines (210 bytes per line).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "bitmap/crop.h"
#include "bitmap/reduce.h"
#include "bitmap/rotate.h"
#include "output/compress.h"
#include "tests/support/bitmap_reference.h"

namespace {

using kordane::reference::Bytes;

// A receipt-like page: mostly blank lines, lines of text with blank margins
// and sparse glyph bytes, now and then a solid rule.
Bytes receiptPage(std::size_t H, std::size_t L, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes page(H * L, 0);
    for (std::size_t y = 0; y < H; ++y) {
        std::uint8_t* line = page.data() + y * L;
        const unsigned kind = rng() % 16;
        if (kind < 7)
            continue; // blank
        if (kind == 7) {
            for (std::size_t x = L / 16; x < L - L / 16; ++x)
                line[x] = 0xFF; // rule
            continue;
        }
        for (std::size_t x = L / 16; x < L - L / 16; ++x) {
            const unsigned r = rng() % 8;
            line[x] = r < 3 ? 0 : r == 3 ? 0xFF : static_cast<std::uint8_t>(rng());
        }
    }
    return page;
}

Bytes randomBytes(std::size_t n, std::mt19937& rng, unsigned density)
{
    // density 0..8: chance in 8 of a byte being 00 or FF rather than random.
    Bytes b(n);
    for (auto& v : b) {
        const unsigned r = rng() % 16;
        v = r < 2 * density ? (r % 2 ? 0xFF : 0x00) : static_cast<std::uint8_t>(rng());
    }
    return b;
}

struct Page {
    std::uint32_t height;
    std::uint32_t bytesPerLine;
    Bytes bits;
};

const Page& page(std::int64_t which)
{
    static const Page pages[] = {
        {3000, 72, receiptPage(3000, 72, 1)},
        {2400, 210, receiptPage(2400, 210, 2)},
    };
    return pages[which];
}

void describe(benchmark::State& state, const Page& p)
{
    state.SetLabel(std::to_string(8 * p.bytesPerLine) + "x" + std::to_string(p.height));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(p.bits.size()));
}

template <bool Clockwise>
void QuarterTurn(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    Bytes dst(kordane::quarterTurnSize(p.height, p.bytesPerLine));
    for (auto _ : state) {
        if constexpr (Clockwise)
            kordane::rotate90Degree(p.bits, dst, p.height, p.bytesPerLine);
        else
            kordane::rotate270Degree(p.bits, dst, p.height, p.bytesPerLine);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    describe(state, p);
}

template <bool Clockwise>
void QuarterTurnReference(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(kordane::reference::quarterTurn(p.bits, p.height, p.bytesPerLine, Clockwise));
    describe(state, p);
}

void HalfTurn(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    Bytes bits = p.bits;
    for (auto _ : state) {
        kordane::rotate180Degree(bits);
        benchmark::ClobberMemory();
    }
    describe(state, p);
}

void HalfTurnReference(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(kordane::reference::halfTurn(p.bits));
    describe(state, p);
}

template <unsigned Factor>
void Reduce(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    Bytes dst(kordane::reducedSize(p.height, p.bytesPerLine, Factor));
    for (auto _ : state) {
        if constexpr (Factor == 3)
            kordane::scale100(p.bits, dst, p.height, p.bytesPerLine);
        else
            kordane::scale50(p.bits, dst, p.height, p.bytesPerLine);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    describe(state, p);
}

template <unsigned Factor>
void ReduceReference(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(kordane::reference::reduce(p.bits, p.height, p.bytesPerLine, Factor));
    describe(state, p);
}

// Both crops keep a window of the page; -1 picks the centre window, 0 or 1
// the end window for that rotation.
template <int Mode>
kordane::FocusWindow windowFor(std::uint32_t bytesPerLine)
{
    return Mode < 0 ? kordane::focusWindowCenter(bytesPerLine) : kordane::focusWindowEnd(bytesPerLine, Mode);
}

template <int Mode>
void Crop(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    Bytes dst(std::size_t{p.height} * windowFor<Mode>(p.bytesPerLine).keep);
    for (auto _ : state) {
        if constexpr (Mode < 0)
            kordane::SelectFocusAreaCenter(p.bits, dst, p.height, p.bytesPerLine);
        else
            kordane::SelectFocusArea(p.bits, dst, p.height, p.bytesPerLine, Mode);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    describe(state, p);
}

// The floor for a crop: one memcpy of as many bytes as the crop keeps.
template <int Mode>
void CropMemcpy(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    const std::size_t kept = std::size_t{p.height} * windowFor<Mode>(p.bytesPerLine).keep;
    Bytes dst(kept);
    for (auto _ : state) {
        std::memcpy(dst.data(), p.bits.data(), kept);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    describe(state, p);
}

// The same bytes taken where they stand: one memcpy per line of the line's
// window. On a page larger than the nearer caches this reads the same cache
// lines as the crop, so it shows what memory alone costs.
template <int Mode>
void CropLineMemcpy(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    const auto window = windowFor<Mode>(p.bytesPerLine);
    Bytes dst(std::size_t{p.height} * window.keep);
    for (auto _ : state) {
        for (std::size_t y = 0; y < p.height; ++y)
            std::memcpy(dst.data() + y * window.keep, p.bits.data() + y * p.bytesPerLine + window.skip, window.keep);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    describe(state, p);
}

void Compress(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    kordane::VectorSink sink;
    for (auto _ : state) {
        sink.clear();
        kordane::CompressData(p.bits, sink);
        benchmark::DoNotOptimize(sink.view().data());
    }
    describe(state, p);
    state.counters["ratio"] = static_cast<double>(sink.view().size()) / static_cast<double>(p.bits.size());
}

void CompressReference(benchmark::State& state)
{
    const Page& p = page(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(kordane::reference::compress(p.bits.data(), p.bits.size()));
    describe(state, p);
}

// Worst case for the coder: random bytes, a 00 or FF about every 128 bytes.
void CompressNoise(benchmark::State& state)
{
    std::mt19937 rng(3);
    const Bytes noise = randomBytes(std::size_t{72} * 3000, rng, 0);
    kordane::VectorSink sink;
    for (auto _ : state) {
        sink.clear();
        kordane::CompressData(noise, sink);
        benchmark::DoNotOptimize(sink.view().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * noise.size()));
}

#define BOTH_PAGES ->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)

BENCHMARK(QuarterTurn<true>) BOTH_PAGES;
BENCHMARK(QuarterTurnReference<true>) BOTH_PAGES;
BENCHMARK(QuarterTurn<false>) BOTH_PAGES;
BENCHMARK(QuarterTurnReference<false>) BOTH_PAGES;
BENCHMARK(HalfTurn) BOTH_PAGES;
BENCHMARK(HalfTurnReference) BOTH_PAGES;
BENCHMARK(Reduce<3>) BOTH_PAGES;
BENCHMARK(ReduceReference<3>) BOTH_PAGES;
BENCHMARK(Reduce<2>) BOTH_PAGES;
BENCHMARK(ReduceReference<2>) BOTH_PAGES;
BENCHMARK(Crop<-1>) BOTH_PAGES;
BENCHMARK(CropMemcpy<-1>) BOTH_PAGES;
BENCHMARK(CropLineMemcpy<-1>) BOTH_PAGES;
BENCHMARK(Crop<0>) BOTH_PAGES;
BENCHMARK(CropMemcpy<0>) BOTH_PAGES;
BENCHMARK(CropLineMemcpy<0>) BOTH_PAGES;
BENCHMARK(Crop<1>) BOTH_PAGES;
BENCHMARK(CropMemcpy<1>) BOTH_PAGES;
BENCHMARK(CropLineMemcpy<1>) BOTH_PAGES;
BENCHMARK(Compress) BOTH_PAGES;
BENCHMARK(CompressReference) BOTH_PAGES;
BENCHMARK(CompressNoise)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
