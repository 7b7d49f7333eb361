// The region is taken 64 bytes at a time. For each block two bit masks mark
// its 00 bytes and its FF bytes (one bit per byte, from vector compares where
// the processor has them). An item of the code starts wherever a byte's kind
// (00, FF or other) differs from the byte before, so the items of a block are
// the set bits of one mask, each found with a count of trailing zero bits
// rather than by looking at its bytes one by one; receipt bands hold tens of
// thousands of short items, so the work per item is what counts. A run that
// reaches the end of a block is carried into the next one and split into
// runs of at most 255 when it ends. The code is written straight into the
// sink's storage.
#include "output/compress.h"

#include "core/vector_paths.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kordane {
namespace {

constexpr std::size_t kMaxRun = 255;
constexpr std::size_t kBlock = 64;
// Stretches of other bytes are copied 16 bytes at a time: reads may go up to
// 15 bytes past a block, writes up to 15 bytes past the code.
constexpr std::size_t kCopyChunk = 16;
constexpr std::size_t kSlack = kCopyChunk;

struct BlockMasks {
    std::uint64_t zero; // bit i: byte i of the block is 00
    std::uint64_t full; // bit i: byte i of the block is FF
};

// The masks one byte at a time: the only way on processors without vector
// compares, and a reference for the vector way.
inline BlockMasks classifyPlain(const std::uint8_t* p)
{
    BlockMasks m{0, 0};
    for (std::size_t i = 0; i < kBlock; ++i) {
        m.zero |= std::uint64_t{p[i] == 0x00} << i;
        m.full |= std::uint64_t{p[i] == 0xFF} << i;
    }
    return m;
}

#if defined(__SSE2__)
inline BlockMasks classifySse2(const std::uint8_t* p)
{
    const __m128i zeros = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
    std::uint64_t zero = 0, full = 0;
    for (unsigned k = 0; k < kBlock / 16; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        zero |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zeros))))
                << (16 * k);
        full |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, ones))))
                << (16 * k);
    }
    return {zero, full};
}
#endif

// Index of the lowest set bit, 64 when there is none.
inline std::size_t lowestBit(std::uint64_t bits)
{
    return bits ? static_cast<std::size_t>(std::countr_zero(bits)) : kBlock;
}

inline std::uint8_t* putRun(std::uint8_t* o, std::uint8_t value, std::size_t count)
{
    o[0] = value;
    o[1] = static_cast<std::uint8_t>(count);
    return o + 2;
}

// A run of any length, as runs of 255 and the rest.
inline std::uint8_t* putLongRun(std::uint8_t* o, std::uint8_t value, std::size_t count)
{
    for (; count > kMaxRun; count -= kMaxRun)
        o = putRun(o, value, kMaxRun);
    return count ? putRun(o, value, count) : o;
}

// Codes the items of a block that start before byte `stop`, the first one at
// byte `a`. Bit k of `ends` marks an item ending after byte k; every item
// coded here ends inside the block. Kept apart from the block walk so that
// the compiler keeps this loop's few values in registers.
[[gnu::noinline]] std::uint8_t* codeItems(const std::uint8_t* block, std::uint64_t full, std::uint64_t marks,
                                          std::uint64_t ends, std::size_t a, std::size_t stop, std::uint8_t* o)
{
    while (a < stop) {
        const std::size_t b = static_cast<std::size_t>(__builtin_ctzll(ends)) + 1; // ends is never 0
        ends &= ends - 1;
        const std::size_t count = b - a;
        if ((marks >> a) & 1) {
            o[0] = static_cast<std::uint8_t>(0 - ((full >> a) & 1));
            o[1] = static_cast<std::uint8_t>(count);
            o += 2;
        } else {
            const std::uint8_t* const p = block + a;
            std::memcpy(o, p, kCopyChunk);
            for (std::size_t k = kCopyChunk; k < count; k += kCopyChunk)
                std::memcpy(o + k, p + k, kCopyChunk);
            o += count;
        }
        a = b;
    }
    return o;
}

// Codes the whole region into `o`, finding the masks of each block with
// `classify`; returns the end of the code.
template <BlockMasks (*classify)(const std::uint8_t*)>
std::uint8_t* codeRegion(std::span<const std::uint8_t> region, std::uint8_t* o)
{
    const std::size_t n = region.size();
    // A run that reached the end of the last block and may go on.
    std::uint8_t runValue = 0;
    std::size_t runCount = 0;
    // The last blocks are read from here, so that no read leaves the region.
    alignas(16) std::uint8_t copy[kBlock + kCopyChunk] = {};

    for (std::size_t base = 0; base < n; base += kBlock) {
        const std::size_t len = std::min(kBlock, n - base);
        const std::uint8_t* block = region.data() + base;
        if (n - base < kBlock + kCopyChunk) {
            std::memcpy(copy, block, len);
            block = copy;
        }
        BlockMasks m = classify(block);
        // Past the region's end nothing is a run, and every bit ends an item.
        const std::uint64_t beyond = len == kBlock ? 0 : ~0ULL << len;
        m.zero &= ~beyond;
        m.full &= ~beyond;
        const std::uint64_t marks = m.zero | m.full;
        const bool lastBlock = base + len == n;
        // Items start where a byte's kind (00, FF or other) differs from the
        // byte before it, and at the block's first byte.
        std::uint64_t bounds = (m.zero ^ (m.zero << 1)) | (m.full ^ (m.full << 1)) | beyond | 1;

        std::size_t a = 0;
        if (runCount > 0) {
            if ((runValue ? m.full : m.zero) & 1) {
                // The block starts with more of the run.
                a = lowestBit(bounds & ~1ULL);
                runCount += a;
                if (a == len && !lastBlock) {
                    for (; runCount >= kMaxRun; runCount -= kMaxRun)
                        o = putRun(o, runValue, kMaxRun);
                    continue;
                }
            }
            o = putLongRun(o, runValue, runCount);
            runCount = 0;
            if (a == len)
                continue;
        }

        // The remaining items. A run that reaches the block's end may go on in
        // the next block; it is held back and counted on there.
        const std::uint64_t starts = bounds & ~beyond & ~((2ULL << a) - 1);
        const std::size_t last = 63 - static_cast<std::size_t>(std::countl_zero(starts | (1ULL << a)));
        std::size_t stop = len;
        if (!lastBlock && ((marks >> last) & 1)) {
            runValue = (m.full >> last) & 1 ? 0xFF : 0x00;
            runCount = len - last;
            stop = last;
        }
        // Bit k of `ends`: an item ends after byte k. The block's last byte
        // always ends one, so the mask never runs out while items remain.
        const std::uint64_t ends = (starts >> 1) | (beyond >> 1) | (1ULL << (kBlock - 1));
        o = codeItems(block, m.full, marks, ends, a, stop, o);
    }
    return o;
}

} // namespace

void CompressData(std::span<const std::uint8_t> region, ByteSink& out)
{
    if (region.empty())
        return;
    std::uint8_t* const start = out.reserve(compressedBound(region.size()) + kSlack);
#if defined(__SSE2__)
    std::uint8_t* const end = vectorPathsAllowed() ? codeRegion<classifySse2>(region, start)
                                                   : codeRegion<classifyPlain>(region, start);
#else
    std::uint8_t* const end = codeRegion<classifyPlain>(region, start);
#endif
    out.advance(static_cast<std::size_t>(end - start));
}

} // namespace kordane
