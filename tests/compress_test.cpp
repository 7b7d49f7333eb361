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

} // namespace
} // namespace kordane
