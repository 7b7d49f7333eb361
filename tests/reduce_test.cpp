#include "bitmap/reduce.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

#include "support/bitmap_reference.h"

namespace kordane {
namespace {

using reference::Bytes;
using reference::Guarded;

// Runs the reduction into a buffer of exactly the documented size and returns
// the result. With no lines there is room for the zero byte, but it must stay
// untouched, and the result is empty.
Bytes reduced(const Bytes& src, std::uint32_t H, std::uint32_t L, unsigned f)
{
    Guarded dst(reducedSize(H, L, f));
    const int rc = f == 3 ? scale100(src, dst.span(), H, L) : scale50(src, dst.span(), H, L);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(dst.guardIntact()) << "H " << H << " L " << L;
    if (H == 0) {
        EXPECT_EQ(dst.result(), Bytes(dst.size, Guarded::kFill));
        return {};
    }
    return dst.result();
}

TEST(Reduce, WorkedExamples)
{
    EXPECT_EQ(reduced({0x80, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00}, 3, 3, 3), (Bytes{0x91, 0x00}));
    EXPECT_EQ(reduced({0x80, 0x01, 0x00, 0x20}, 2, 2, 2), (Bytes{0x85, 0x00}));
}

TEST(Reduce, SizesAndNothingWritten)
{
    EXPECT_EQ(reducedSize(3000, 72, 3), 1000u * 24 + 1);
    EXPECT_EQ(reducedSize(3000, 72, 2), 1500u * 36 + 1);
    EXPECT_EQ(reducedSize(4, 7, 3), 2u * 2 + 1);
    EXPECT_EQ(reducedSize(5, 5, 2), 3u * 2 + 1);
    EXPECT_EQ(reducedSize(9, 2, 3), 0u);
    EXPECT_EQ(reducedSize(9, 1, 2), 0u);
    const auto max = std::numeric_limits<std::uint32_t>::max();
    if constexpr (sizeof(std::size_t) >= 8) { // odd H rounds up without wrapping
        EXPECT_EQ(reducedSize(max, 6, 2), (std::size_t{max} / 2 + 1) * 3 + 1);
    }
    EXPECT_TRUE(reduced({}, 0, 9, 3).empty());
    EXPECT_TRUE(reduced(Bytes(9 * 2, 0xFF), 9, 2, 3).empty());
    EXPECT_TRUE(reduced(Bytes(9, 0xFF), 9, 1, 2).empty());
}

TEST(Reduce, MatchesDotMappingOverManyShapes)
{
    std::mt19937 rng(31337);
    for (unsigned f : {2u, 3u}) {
        auto check = [&](std::uint32_t H, std::uint32_t L) {
            // Sparse dots, so that "any dot of the block" is not always true.
            Bytes src(std::size_t{H} * L);
            for (auto& b : src)
                b = static_cast<std::uint8_t>(rng() & rng() & rng());
            EXPECT_EQ(reduced(src, H, L, f), reference::reduce(src, H, L, f)) << "f " << f << " H " << H << " L " << L;
        };
        for (std::uint32_t H = 0; H <= 13; ++H)
            for (std::uint32_t L = 0; L <= 11; ++L)
                check(H, L);
        check(301, 72);
        check(97, 211);
    }
}

} // namespace
} // namespace kordane
