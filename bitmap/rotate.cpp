// Quarter turns work on 8 × 8 dot blocks: eight source bytes of one byte
// column (eight consecutive lines) are packed into a 64-bit word, the word is
// transposed as a bit matrix, and each of its eight bytes is one result byte
// of a different result line. The half turn reverses 8 bytes at a time from
// both ends. None of them needs memory beyond the caller's buffers.
#include "bitmap/rotate.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <limits>

namespace kordane {
namespace {

// Transposes the 8 × 8 bit matrix held in x, row r in byte 7 − r (counted
// from the least significant byte), column c in bit 7 − c of its byte: three
// rounds of swapping 1 × 1, 2 × 2 and 4 × 4 sub-blocks across the diagonal.
inline std::uint64_t transpose8x8(std::uint64_t x)
{
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x ^= t ^ (t << 28);
    return x;
}

// Reverses the bit order inside each byte of the word.
inline std::uint64_t reverseBitsInBytes(std::uint64_t x)
{
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
    x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
    x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
    return x;
}

inline std::uint8_t reverseBits(std::uint8_t b)
{
    b = static_cast<std::uint8_t>((b >> 4) | (b << 4));
    b = static_cast<std::uint8_t>(((b & 0xCC) >> 2) | ((b & 0x33) << 2));
    b = static_cast<std::uint8_t>(((b & 0xAA) >> 1) | ((b & 0x55) << 1));
    return b;
}

// Both quarter turns share one walk. Result byte b of every result line holds
// result dots 8b … 8b + 7, which come from eight source lines (rows 0 to 7 of
// the block; rows at or past H are blank). Source byte column j then gives
// the eight result lines of its eight dots at once.
//
// Clockwise, row i of block b is source line H − 1 − 8b − i and the dot in
// column c of byte j lands on result line 8j + c. Counter-clockwise, row i is
// source line 8b + i and that dot lands on result line 8(L − 1 − j) + 7 − c.
template <bool Clockwise>
void quarterTurn(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t height,
                 std::uint32_t bytesPerLine)
{
    const std::size_t lineBytes = bytesPerLine;
    const std::size_t outBytes = (static_cast<std::size_t>(height) + 7) / 8;

    for (std::size_t block = 0; block < outBytes; ++block) {
        // Rows past the bottom read a real line and are masked off after.
        const std::size_t first = 8 * block;
        const std::size_t rows = std::min<std::size_t>(8, height - first);
        const std::uint8_t* row[8];
        for (std::size_t i = 0; i < 8; ++i) {
            const std::size_t r = i < rows ? i : 0;
            const std::size_t line = Clockwise ? height - 1 - first - r : first + r;
            row[i] = src + line * lineBytes;
        }
        const std::uint64_t keep = rows == 8 ? ~0ULL : ~(~0ULL >> (8 * rows));

        std::uint8_t* out = dst + block;
        for (std::size_t j = 0; j < lineBytes; ++j) {
            std::uint64_t x = 0;
            for (std::size_t i = 0; i < 8; ++i)
                x |= static_cast<std::uint64_t>(row[i][j]) << (56 - 8 * i);
            x = transpose8x8(x & keep);
            if constexpr (Clockwise) {
                std::uint8_t* line = out + 8 * j * outBytes;
                for (std::size_t c = 0; c < 8; ++c)
                    line[c * outBytes] = static_cast<std::uint8_t>(x >> (56 - 8 * c));
            } else {
                // Column c goes to line 8(L − 1 − j) + 7 − c: the bytes of x
                // from the least significant up fill eight lines downwards.
                std::uint8_t* line = out + 8 * (lineBytes - 1 - j) * outBytes;
                for (std::size_t c = 0; c < 8; ++c)
                    line[c * outBytes] = static_cast<std::uint8_t>(x >> (8 * c));
            }
        }
    }
}

} // namespace

std::size_t quarterTurnSize(std::uint32_t height, std::uint32_t bytesPerLine)
{
    // P = H rounded up to a multiple of 8, worked out in 64 bits so that
    // heights near 2^32 do not wrap.
    const std::uint64_t padded = (static_cast<std::uint64_t>(height) + 7) & ~std::uint64_t{7};
    if (padded == 0 || bytesPerLine == 0)
        return 0;
    if (padded > std::numeric_limits<std::size_t>::max() / bytesPerLine)
        return 0;
    return static_cast<std::size_t>(padded) * bytesPerLine;
}

int rotate90Degree(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                   std::uint32_t height, std::uint32_t bytesPerLine)
{
    assert(src.size() >= static_cast<std::size_t>(height) * bytesPerLine);
    assert(dst.size() >= quarterTurnSize(height, bytesPerLine));
    quarterTurn<true>(src.data(), dst.data(), height, bytesPerLine);
    return 0;
}

int rotate270Degree(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                    std::uint32_t height, std::uint32_t bytesPerLine)
{
    assert(src.size() >= static_cast<std::size_t>(height) * bytesPerLine);
    assert(dst.size() >= quarterTurnSize(height, bytesPerLine));
    quarterTurn<false>(src.data(), dst.data(), height, bytesPerLine);
    return 0;
}

void rotate180Degree(std::span<std::uint8_t> bitmap)
{
    std::uint8_t* front = bitmap.data();
    std::uint8_t* back = front + bitmap.size(); // one past the last byte

    // Eight bytes from each end per step: reversing the byte order of a word
    // and the bits inside each byte reverses its 64 dots.
    while (back - front >= 16) {
        std::uint64_t head;
        std::uint64_t tail;
        std::memcpy(&head, front, 8);
        std::memcpy(&tail, back - 8, 8);
        head = __builtin_bswap64(reverseBitsInBytes(head));
        tail = __builtin_bswap64(reverseBitsInBytes(tail));
        std::memcpy(front, &tail, 8);
        std::memcpy(back - 8, &head, 8);
        front += 8;
        back -= 8;
    }
    while (back - front >= 2) {
        --back;
        const std::uint8_t head = *front;
        *front = reverseBits(*back);
        *back = reverseBits(head);
        ++front;
    }
    if (front < back)
        *front = reverseBits(*front);
}

} // namespace kordane
