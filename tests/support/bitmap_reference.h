// Plain dot-by-dot versions of the bitmap transforms and the run-length code,
// written straight from the dot mappings, for checking the fast versions and
// timing them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kordane::reference {

using Bytes = std::vector<std::uint8_t>;

inline bool dot(const Bytes& b, std::size_t L, std::size_t x, std::size_t y) { return (b[y * L + x / 8] >> (7 - x % 8)) & 1; }
inline void setDot(Bytes& b, std::size_t L, std::size_t x, std::size_t y) { b[y * L + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8)); }

// Clockwise, dot (x', y') of the result is source dot (y', H - 1 - x');
// counter-clockwise, source dot (8L - 1 - y', x').
inline Bytes quarterTurn(const Bytes& src, std::size_t H, std::size_t L, bool clockwise)
{
    const std::size_t outL = (H + 7) / 8;
    Bytes out(8 * L * outL, 0);
    for (std::size_t y = 0; y < 8 * L; ++y)
        for (std::size_t x = 0; x < H; ++x)
            if (clockwise ? dot(src, L, y, H - 1 - x) : dot(src, L, 8 * L - 1 - y, x))
                setDot(out, outL, x, y);
    return out;
}

inline Bytes halfTurn(const Bytes& src)
{
    Bytes out(src.size(), 0);
    for (std::size_t x = 0; x < 8 * src.size(); ++x)
        if (dot(src, 0, x, 0))
            setDot(out, 0, 8 * src.size() - 1 - x, 0);
    return out;
}

// ceil(H / f) lines of L / f bytes and a zero byte; nothing when either is 0.
inline Bytes reduce(const Bytes& src, std::size_t H, std::size_t L, std::size_t f)
{
    const std::size_t outL = L / f, outH = (H + f - 1) / f;
    if (outL == 0 || outH == 0)
        return {};
    Bytes out(outH * outL + 1, 0);
    for (std::size_t y = 0; y < f * outH; ++y)
        for (std::size_t x = 0; x < 8 * f * outL; ++x)
            if (y < H && dot(src, L, x, y))
                setDot(out, outL, x / f, y / f);
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
    for (std::size_t i = 0, run = 1; i < n; i += run, run = 1) {
        out.push_back(p[i]);
        if (p[i] != 0x00 && p[i] != 0xFF)
            continue;
        while (run < 255 && i + run < n && p[i + run] == p[i])
            ++run;
        out.push_back(static_cast<std::uint8_t>(run));
    }
    return out;
}

} // namespace kordane::reference
