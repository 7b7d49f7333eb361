#include "bitmap/rotate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

#include "support/bitmap_reference.h"

namespace kordane {
namespace {

using reference::Bytes;
using reference::Guarded;

Bytes turn(const Bytes& src, std::uint32_t H, std::uint32_t L, bool clockwise)
{
    Guarded dst(quarterTurnSize(H, L));
    const int rc = clockwise ? rotate90Degree(src, dst.span(), H, L) : rotate270Degree(src, dst.span(), H, L);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(dst.guardIntact()) << "H " << H << " L " << L;
    return dst.result();
}

TEST(Rotate, WorkedExamples)
{
    const Bytes src{0xC0, 0x80};
    EXPECT_EQ(turn(src, 2, 1, true), (Bytes{0xC0, 0x40, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(turn(src, 2, 1, false), (Bytes{0, 0, 0, 0, 0, 0, 0x80, 0xC0}));
    Bytes half = src;
    rotate180Degree(half);
    EXPECT_EQ(half, (Bytes{0x01, 0x03}));
    Bytes three{0x81, 0x82, 0x83};
    rotate180Degree(three);
    EXPECT_EQ(three, (Bytes{0xC1, 0x41, 0x81}));
    Bytes one{0x80};
    rotate180Degree(one);
    EXPECT_EQ(one, (Bytes{0x01}));
    Bytes none;
    rotate180Degree(none);
    EXPECT_TRUE(none.empty());
}

TEST(Rotate, Sizes)
{
    EXPECT_EQ(quarterTurnSize(5, 3), 24u);
    EXPECT_EQ(quarterTurnSize(16, 2), 32u);
    EXPECT_EQ(quarterTurnSize(0, 9), 0u);
    EXPECT_EQ(quarterTurnSize(9, 0), 0u);
    const auto max = std::numeric_limits<std::uint32_t>::max();
    if constexpr (sizeof(std::size_t) >= 8)
        EXPECT_EQ(quarterTurnSize(max, 1), std::size_t{1} << 32); // no 32-bit wrap of H + 7
    else
        EXPECT_EQ(quarterTurnSize(max, max), 0u);
}

TEST(Rotate, MatchesDotMappingOverManyShapes)
{
    std::mt19937 rng(20240901);
    auto check = [&](std::uint32_t H, std::uint32_t L) {
        const Bytes src = reference::randomBytes(std::size_t{H} * L, rng, 2);
        EXPECT_EQ(turn(src, H, L, true), reference::quarterTurn(src, H, L, true)) << "H " << H << " L " << L;
        EXPECT_EQ(turn(src, H, L, false), reference::quarterTurn(src, H, L, false)) << "H " << H << " L " << L;
    };
    for (std::uint32_t H = 0; H <= 19; ++H)
        for (std::uint32_t L = 0; L <= 10; ++L)
            check(H, L);
    check(77, 13);
    check(301, 72);
}

TEST(Rotate, QuarterTurnsUndoEachOtherWhenHeightIsWholeBytes)
{
    std::mt19937 rng(7);
    for (std::uint32_t H : {8u, 16u, 64u, 200u})
        for (std::uint32_t L : {1u, 3u, 9u, 72u}) {
            const Bytes src = reference::randomBytes(std::size_t{H} * L, rng, 3);
            EXPECT_EQ(turn(turn(src, H, L, true), 8 * L, H / 8, false), src) << H << "x" << L;
            EXPECT_EQ(turn(turn(src, H, L, false), 8 * L, H / 8, true), src) << H << "x" << L;
        }
}

TEST(Rotate, HalfTurnMatchesDotMappingAndTwiceIsIdentity)
{
    std::mt19937 rng(99);
    for (std::size_t n = 0; n <= 70; ++n) {
        const Bytes src = reference::randomBytes(n, rng, 1);
        Bytes turned = src;
        rotate180Degree(turned);
        EXPECT_EQ(turned, reference::halfTurn(src)) << n;
        rotate180Degree(turned);
        EXPECT_EQ(turned, src) << n;
    }
}

} // namespace
} // namespace kordane
