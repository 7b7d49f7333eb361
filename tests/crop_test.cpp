#include "bitmap/crop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "support/bitmap_reference.h"

namespace kordane {
namespace {

using reference::Bytes;
using reference::Guarded;

struct Window {
    std::uint32_t skip, keep;
    bool operator==(const Window&) const = default;
};
Window of(FocusWindow w) { return {w.skip, w.keep}; }

TEST(Crop, Windows)
{
    EXPECT_EQ(of(focusWindowCenter(70)), (Window{3, 64}));
    EXPECT_EQ(of(focusWindowCenter(71)), (Window{3, 64})); // odd L: one byte nearer the start
    EXPECT_EQ(of(focusWindowCenter(72)), (Window{4, 64}));
    EXPECT_EQ(of(focusWindowCenter(65)), (Window{0, 64}));
    for (std::int32_t rotation : {1, 3}) {
        EXPECT_EQ(of(focusWindowEnd(70, rotation)), (Window{6, 64}));
        EXPECT_EQ(of(focusWindowEnd(72, rotation)), (Window{8, 64}));
        EXPECT_EQ(of(focusWindowEnd(65, rotation)), (Window{1, 64}));
    }
    for (std::int32_t rotation : {0, 2, -1, 4}) {
        EXPECT_EQ(of(focusWindowEnd(70, rotation)), (Window{23, 47}));
        EXPECT_EQ(of(focusWindowEnd(72, rotation)), (Window{24, 48}));
        EXPECT_EQ(of(focusWindowEnd(99, rotation)), (Window{33, 66}));
        EXPECT_EQ(of(focusWindowEnd(100, rotation)), (Window{33, 67}));
    }
}

TEST(Crop, KeepsEveryDotOfTheWindowAndWritesNoFurther)
{
    std::mt19937 rng(4242);
    for (std::uint32_t H : {0u, 1u, 5u, 33u})
        for (std::uint32_t L : {20u, 65u, 70u, 71u, 72u, 99u, 100u, 210u})
            for (std::int32_t mode : {-1, 0, 1, 2, 3}) { // -1: centre window
                const Bytes src = reference::randomBytes(std::size_t{H} * L, rng, 2);
                const FocusWindow w = mode < 0 ? focusWindowCenter(L) : focusWindowEnd(L, mode);
                Guarded dst(std::size_t{H} * w.keep);
                const int rc = mode < 0 ? SelectFocusAreaCenter(src, dst.span(), H, L)
                                        : SelectFocusArea(src, dst.span(), H, L, mode);
                EXPECT_EQ(rc, 0);
                EXPECT_TRUE(dst.guardIntact());
                EXPECT_EQ(dst.result(), reference::crop(src, H, L, w.skip, w.keep)) << H << "x" << L << " mode " << mode;
            }
}

} // namespace
} // namespace kordane
