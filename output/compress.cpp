// The region is scanned eight bytes at a time: a run of 00 or FF is measured
// by comparing whole words with the run's value, and a stretch of other bytes
// is measured by a word test for "some byte is 00 or FF", then copied out in
// one piece. The code is written straight into the sink's storage.
#include "output/compress.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kordane {
namespace {

constexpr std::size_t kMaxRun = 255;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

inline std::uint64_t load(const std::uint8_t* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Index in memory order of the first byte of w whose marker bit (any bit for
// a nonzero test, the top bit for a mask) is set; w must not be 0.
inline std::size_t firstMarkedByte(std::uint64_t w)
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::size_t>(std::countr_zero(w)) / 8;
    else
        return static_cast<std::size_t>(std::countl_zero(w)) / 8;
}

// 80 in every byte of w that is 00, 00 in every other byte. Exact per byte:
// no carry crosses from one byte into the next.
inline std::uint64_t zeroBytes(std::uint64_t w)
{
    return ~(((w & kLow7) + kLow7) | w | kLow7);
}

// Bytes from p on that equal `value` (00 or FF), counting at most `limit`.
inline std::size_t runLength(const std::uint8_t* p, std::size_t limit, std::uint8_t value)
{
    const std::uint64_t pattern = value ? ~0ULL : 0ULL;
    std::size_t n = 0;
    for (; limit - n >= 8; n += 8) {
        const std::uint64_t diff = load(p + n) ^ pattern;
        if (diff)
            return n + firstMarkedByte(diff);
    }
    while (n < limit && p[n] == value)
        ++n;
    return n;
}

// The first 00 or FF byte in [p, end), or end.
inline const std::uint8_t* findRunStart(const std::uint8_t* p, const std::uint8_t* end)
{
    for (; end - p >= 8; p += 8) {
        const std::uint64_t w = load(p);
        const std::uint64_t marks = zeroBytes(w) | zeroBytes(~w);
        if (marks)
            return p + firstMarkedByte(marks);
    }
    while (p < end && *p != 0x00 && *p != 0xFF)
        ++p;
    return p;
}

} // namespace

void CompressData(std::span<const std::uint8_t> region, ByteSink& out)
{
    if (region.empty())
        return;

    std::uint8_t* const start = out.reserve(compressedBound(region.size()));
    std::uint8_t* o = start;
    const std::uint8_t* p = region.data();
    const std::uint8_t* const end = p + region.size();

    // While 8 input bytes remain, the room left is at least 16 bytes (the code
    // never outgrows twice the input consumed), so whole words may be stored
    // and only part of them kept.
    while (end - p >= 8) {
        const std::uint64_t w = load(p);
        const std::uint8_t value = *p;
        if (value == 0x00 || value == 0xFF) {
            const std::size_t limit = std::min<std::size_t>(kMaxRun, static_cast<std::size_t>(end - p));
            const std::size_t run = runLength(p, limit, value);
            o[0] = value;
            o[1] = static_cast<std::uint8_t>(run);
            o += 2;
            p += run;
            continue;
        }
        const std::uint64_t marks = zeroBytes(w) | zeroBytes(~w);
        if (marks) {
            const std::size_t literal = firstMarkedByte(marks);
            std::memcpy(o, &w, 8);
            o += literal;
            p += literal;
        } else {
            const std::uint8_t* const next = findRunStart(p + 8, end);
            const std::size_t literal = static_cast<std::size_t>(next - p);
            std::memcpy(o, p, literal);
            o += literal;
            p = next;
        }
    }
    while (p < end) {
        const std::uint8_t value = *p;
        if (value == 0x00 || value == 0xFF) {
            const std::size_t run = runLength(p, static_cast<std::size_t>(end - p), value);
            o[0] = value;
            o[1] = static_cast<std::uint8_t>(run);
            o += 2;
            p += run;
        } else {
            *o++ = value;
            ++p;
        }
    }
    out.advance(static_cast<std::size_t>(o - start));
}

} // namespace kordane
