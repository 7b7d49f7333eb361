#include "output/compress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>

#include "support/bitmap_reference.h"

namespace kordane {
namespace {

using reference::Bytes;

// Hands out exactly the room asked for, followed by guard bytes, so that a
// write past the reserved room shows.
class GuardedSink final : public ByteSink {
public:
    std::uint8_t* reserve(std::size_t n) override
    {
        room_ = std::make_unique<reference::Guarded>(n);
        return room_->buffer.data();
    }
    void advance(std::size_t n) override
    {
        EXPECT_LE(n, room_->size);
        EXPECT_TRUE(room_->guardIntact());
        const Bytes room = room_->result();
        written_.insert(written_.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(n));
    }
    Bytes written_;

private:
    std::unique_ptr<reference::Guarded> room_;
};

Bytes compressed(std::span<const std::uint8_t> region)
{
    GuardedSink sink;
    CompressData(region, sink);
    return sink.written_;
}

TEST(Compress, WorkedExamples)
{
    EXPECT_EQ(compressed(Bytes{0x00, 0x00, 0x00, 0x7E, 0xFF, 0x81, 0x00}),
              (Bytes{0x00, 0x03, 0x7E, 0xFF, 0x01, 0x81, 0x00, 0x01}));
    EXPECT_EQ(compressed(Bytes(300, 0x00)), (Bytes{0x00, 0xFF, 0x00, 0x2D}));
    EXPECT_EQ(compressed(Bytes(256, 0xFF)), (Bytes{0xFF, 0xFF, 0xFF, 0x01}));
    EXPECT_EQ(compressed(Bytes(255, 0x00)), (Bytes{0x00, 0xFF}));
    EXPECT_TRUE(compressed(Bytes{}).empty());
    Bytes plain(1000);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(1 + i % 254);
    EXPECT_EQ(compressed(plain), plain);
}

TEST(Compress, RunStopsAtTheRegionEnd)
{
    // The bytes after the region have the run's value; none of them is counted.
    for (std::uint8_t v : {0x00, 0xFF}) {
        Bytes band(40, v);
        band[0] = 0x42;
        EXPECT_EQ(compressed(std::span(band).first(20)), (Bytes{0x42, v, 19}));
        EXPECT_EQ(compressed(std::span(band).subspan(1, 3)), (Bytes{v, 3}));
    }
}

TEST(Compress, MatchesPlainCodingAndDecodesBack)
{
    std::mt19937 rng(555);
    for (unsigned density = 0; density <= 8; ++density)
        for (std::size_t n : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 254u, 255u, 256u, 511u, 1000u, 5000u}) {
            // Long stretches of one value, broken at random, exercise the 255 cap.
            Bytes input = reference::randomBytes(n, rng, density);
            if (density == 8)
                for (std::size_t i = 0; i < n; ++i)
                    input[i] = rng() % 300 == 0 ? 0x5A : (i / 400) % 2 ? 0xFF : 0x00;
            const Bytes code = compressed(input);
            EXPECT_EQ(code, reference::compress(input.data(), input.size())) << "n " << n << " density " << density;
            EXPECT_EQ(reference::decompress(code), input);
            EXPECT_LE(code.size(), compressedBound(n));
        }
}


// The coder works on 64-byte blocks: runs that reach a block's end go on in
// the next block, and the last blocks of a region are read apart so that no
// read leaves it. Every edge of that is placed at and around the block ends.
TEST(Compress, RunsAndStretchesAcrossBlockEnds)
{
    std::mt19937 rng(2024);
    for (std::uint8_t v : {0x00, 0xFF})
        for (std::size_t n : {63u, 64u, 65u, 79u, 80u, 81u, 127u, 128u, 129u, 192u, 700u})
            for (std::size_t at = 0; at < n; at += 1 + at / 16)
                for (std::size_t len : {1u, 2u, 63u, 64u, 65u, 254u, 255u, 256u, 510u, 511u}) {
                    // Other bytes around one run of `len` bytes starting at `at`.
                    Bytes input(n);
                    for (auto& b : input)
                        b = static_cast<std::uint8_t>(1 + rng() % 254);
                    for (std::size_t i = at; i < std::min(n, at + len); ++i)
                        input[i] = v;
                    const Bytes code = compressed(input);
                    ASSERT_EQ(code, reference::compress(input.data(), input.size()))
                        << "n " << n << " run of " << len << " at " << at << " value " << int(v);
                }
}

TEST(Compress, MixedItemsAtEveryLength)
{
    // Short runs of both values between short stretches, as in rows of
    // text, for every region length over a few blocks.
    std::mt19937 rng(99);
    Bytes source(600);
    for (std::size_t i = 0; i < source.size();) {
        const std::size_t len = 1 + rng() % 5;
        const unsigned kind = rng() % 3;
        for (std::size_t k = 0; k < len && i < source.size(); ++k, ++i)
            source[i] = kind == 0 ? 0x00 : kind == 1 ? 0xFF : static_cast<std::uint8_t>(1 + rng() % 254);
    }
    for (std::size_t n = 1; n <= source.size(); ++n) {
        const auto region = std::span<const std::uint8_t>(source).first(n);
        const Bytes code = compressed(region);
        ASSERT_EQ(code, reference::compress(region.data(), n)) << "n " << n;
        ASSERT_EQ(reference::decompress(code), Bytes(region.begin(), region.end())) << "n " << n;
    }
}

} // namespace
} // namespace kordane
