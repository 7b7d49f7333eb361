// Plain dot-by-dot versions of the bitmap transforms and the run-length code,
// written straight from the dot mappings, for checking the fast versions and
// for timing against them, and a decoder of the run-length code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kordane::reference {

using Bytes = std::vector<std::uint8_t>;

inline bool dot(const Bytes& b, std::size_t L, std::size_t x, std::size_t y)
{
    return (b[y * L + x / 8] >> (7 - x % 8)) & 1;
}

inline void setDot(Bytes& b, std::size_t L, std::size_t x, std::size_t y)
{
    b[y * L + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
}

// Clockwise: result dot (x', y') is source dot (y', H − 1 − x') for x' < H.
// Counter-clockwise: source dot (8L − 1 − y', x').
inline Bytes quarterTurn(const Bytes& src, std::size_t H, std::size_t L, bool clockwise)
{
    const std::size_t outL = (H + 7) / 8;
    Bytes out(8 * L * outL, 0);
    for (std::size_t y2 = 0; y2 < 8 * L; ++y2)
        for (std::size_t x2 = 0; x2 < H; ++x2) {
            const bool set = clockwise ? dot(src, L, y2, H - 1 - x2) : dot(src, L, 8 * L - 1 - y2, x2);
            if (set)
                setDot(out, outL, x2, y2);
        }
    return out;
}

inline Bytes halfTurn(const Bytes& src)
{
    const std::size_t n = src.size();
    Bytes out(n, 0);
    for (std::size_t x = 0; x < 8 * n; ++x)
        if (dot(src, n, x, 0))
            setDot(out, n, 8 * n - 1 - x, 0);
    return out;
}

// ceil(H / f) lines of L / f bytes and a zero byte, or nothing when either is 0.
inline Bytes reduce(const Bytes& src, std::size_t H, std::size_t L, std::size_t f)
{
    const std::size_t outL = L / f;
    const std::size_t outH = (H + f - 1) / f;
    if (outL == 0 || outH == 0)
        return {};
    Bytes out(outH * outL + 1, 0);
    for (std::size_t y = 0; y < outH; ++y)
        for (std::size_t x = 0; x < 8 * outL; ++x)
            for (std::size_t dy = 0; dy < f; ++dy)
                for (std::size_t dx = 0; dx < f; ++dx)
                    if (f * y + dy < H && dot(src, L, f * x + dx, f * y + dy))
                        setDot(out, outL, x, y);
    return out;
}

inline Bytes crop(const Bytes& src, std::size_t H, std::size_t L, std::size_t skip, std::size_t keep)
{
    Bytes out(H * keep, 0);
    for (std::size_t y = 0; y < H; ++y)
        for (std::size_t x = 0; x < 8 * keep; ++x)
            if (dot(src, L, 8 * skip + x, y))
                setDot(out, keep, x, y);
    return out;
}

inline Bytes compress(const std::uint8_t* p, std::size_t n)
{
    Bytes out;
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t v = p[i];
        if (v == 0x00 || v == 0xFF) {
            std::size_t run = 1;
            while (run < 255 && i + run < n && p[i + run] == v)
                ++run;
            out.push_back(v);
            out.push_back(static_cast<std::uint8_t>(run));
            i += run;
        } else {
            out.push_back(v);
            ++i;
        }
    }
    return out;
}

// Undoes the run-length code; nothing for a marker without a count byte or
// with a count of 0.
inline std::optional<Bytes> decompress(std::span<const std::uint8_t> code)
{
    Bytes out;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const std::uint8_t v = code[i];
        if (v != 0x00 && v != 0xFF) {
            out.push_back(v);
            continue;
        }
        if (i + 1 == code.size() || code[i + 1] == 0)
            return std::nullopt;
        out.insert(out.end(), code[++i], v);
    }
    return out;
}

// A destination buffer with guard bytes after its `size` bytes, to show that
// nothing past them is written.
struct Guarded {
    static constexpr std::size_t kGuard = 16;
    static constexpr std::uint8_t kFill = 0xA5;
    Bytes buffer;
    std::size_t size;

    explicit Guarded(std::size_t n) : buffer(n + kGuard, kFill), size(n) {}
    std::span<std::uint8_t> span() { return {buffer.data(), size}; }
    Bytes result() const { return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)}; }
    bool guardIntact() const
    {
        for (std::size_t i = size; i < buffer.size(); ++i)
            if (buffer[i] != kFill)
                return false;
        return true;
    }
};

} // namespace kordane::reference
