// Reductions by whole bytes: the f source bytes of a block column are OR-ed
// across the f lines of the group first (a result dot is set when any dot of
// its f × f block is), then each of the f OR-ed bytes is looked up in a table
// giving the result bits it feeds, and the f lookups are OR-ed together.
#include "bitmap/reduce.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <limits>

namespace kordane {
namespace {

using ReductionTable = std::array<std::array<std::uint8_t, 256>, 3>;

// Entry [k][b]: the result bits that byte b feeds when it is byte k of a group
// of `factor` source bytes. Dot q of byte k is group dot 8k + q and feeds
// result dot (8k + q) / factor, which is bit 7 − that of the result byte.
constexpr ReductionTable makeTable(unsigned factor)
{
    ReductionTable table{};
    for (unsigned k = 0; k < factor; ++k)
        for (unsigned b = 0; b < 256; ++b) {
            unsigned bits = 0;
            for (unsigned q = 0; q < 8; ++q)
                if (b & (0x80u >> q))
                    bits |= 0x80u >> ((8 * k + q) / factor);
            table[k][b] = static_cast<std::uint8_t>(bits);
        }
    return table;
}

template <unsigned F>
void reduce(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t height,
            std::uint32_t bytesPerLine)
{
    static constexpr ReductionTable table = makeTable(F);

    const std::size_t lineBytes = bytesPerLine;
    const std::size_t outPerLine = lineBytes / F;
    if (height == 0 || outPerLine == 0)
        return;

    const std::size_t groups = height / F + (height % F != 0);
    std::uint8_t* out = dst;
    for (std::size_t group = 0; group < groups; ++group) {
        // Lines past the bottom stand in as copies of the group's first line:
        // OR-ing a line in twice changes nothing.
        const std::size_t first = group * F;
        const std::uint8_t* row[F];
        for (std::size_t i = 0; i < F; ++i)
            row[i] = src + (first + i < height ? first + i : first) * lineBytes;

        for (std::size_t j = 0; j < outPerLine; ++j) {
            const std::size_t at = F * j;
            unsigned bits = 0;
            for (std::size_t k = 0; k < F; ++k) {
                unsigned any = 0;
                for (std::size_t i = 0; i < F; ++i)
                    any |= row[i][at + k];
                bits |= table[k][any];
            }
            *out++ = static_cast<std::uint8_t>(bits);
        }
    }
    *out = 0;
}

} // namespace

std::size_t reducedSize(std::uint32_t height, std::uint32_t bytesPerLine, unsigned factor)
{
    if (factor != 2 && factor != 3)
        return 0;
    const std::uint64_t perLine = bytesPerLine / factor;
    if (perLine == 0)
        return 0;
    const std::uint64_t lines = height / factor + (height % factor != 0);
    // lines × perLine < 2^64 as both are below 2^32; only size_t can be short.
    const std::uint64_t total = lines * perLine;
    if (total >= std::numeric_limits<std::size_t>::max())
        return 0;
    return static_cast<std::size_t>(total + 1);
}

int scale100(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
             std::uint32_t height, std::uint32_t bytesPerLine)
{
    assert(src.size() >= static_cast<std::size_t>(height) * bytesPerLine);
    assert(dst.size() >= reducedSize(height, bytesPerLine, 3));
    reduce<3>(src.data(), dst.data(), height, bytesPerLine);
    return 0;
}

int scale50(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
            std::uint32_t height, std::uint32_t bytesPerLine)
{
    assert(src.size() >= static_cast<std::size_t>(height) * bytesPerLine);
    assert(dst.size() >= reducedSize(height, bytesPerLine, 2));
    reduce<2>(src.data(), dst.data(), height, bytesPerLine);
    return 0;
}

} // namespace kordane
