// Each bitmap transform against its plain dot-by-dot reference: the first
// bytes choose the transform and the bitmap's shape, the rest are its dots.
// The result must equal the reference and nothing past the result's size may
// be written.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bitmap/crop.h"
#include "bitmap/reduce.h"
#include "bitmap/rotate.h"
#include "fuzz/fuzz_input.h"
#include "support/bitmap_reference.h"

namespace {

namespace ref = kordane::reference;
using kordane::fuzz::ByteCursor;

[[noreturn]] void fail(const char* transform, std::uint32_t h, std::uint32_t l)
{
    std::fprintf(stderr, "%s differs from the reference for %u lines of %u bytes\n", transform, h, l);
    std::abort();
}

void check(const char* transform, const ref::Guarded& out, const ref::Bytes& expected, std::uint32_t h,
           std::uint32_t l)
{
    if (!out.guardIntact() || out.result() != expected)
        fail(transform, h, l);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    ByteCursor in({data, size});
    const std::uint8_t op = in.next() % 8;
    // Lines up to 72 and lines up to 200 bytes: both sides of the 64-byte
    // focus window, heights that are and are not multiples of 2, 3 and 8.
    const std::uint32_t h = in.next() % 73;
    const std::uint32_t l = in.next() % 201;
    ref::Bytes src(std::size_t{h} * l, 0);
    const auto dots = in.rest();
    std::copy_n(dots.begin(), std::min(dots.size(), src.size()), src.begin());

    switch (op) {
    case 0:
    case 1: {
        const bool clockwise = op == 0;
        ref::Guarded out(quarterTurnSize(h, l));
        if (clockwise)
            rotate90Degree(src, out.span(), h, l);
        else
            rotate270Degree(src, out.span(), h, l);
        const ref::Bytes expected = h == 0 || l == 0 ? ref::Bytes{} : ref::quarterTurn(src, h, l, clockwise);
        check(clockwise ? "rotate90Degree" : "rotate270Degree", out, expected, h, l);
        break;
    }
    case 2: {
        ref::Bytes turned = src;
        rotate180Degree(turned);
        if (turned != ref::halfTurn(src))
            fail("rotate180Degree", h, l);
        break;
    }
    case 3:
    case 4: {
        const unsigned f = op == 3 ? 3 : 2;
        ref::Guarded out(reducedSize(h, l, f));
        if (f == 3)
            scale100(src, out.span(), h, l);
        else
            scale50(src, out.span(), h, l);
        // An image without lines gives no result and leaves the room untouched.
        const ref::Bytes expected =
            h == 0 ? ref::Bytes(out.size, ref::Guarded::kFill) : ref::reduce(src, h, l, f);
        check(f == 3 ? "scale100" : "scale50", out, expected, h, l);
        break;
    }
    case 5: {
        const FocusWindow w = focusWindowCenter(l);
        ref::Guarded out(std::size_t{h} * w.keep);
        SelectFocusAreaCenter(src, out.span(), h, l);
        check("SelectFocusAreaCenter", out, ref::crop(src, h, l, w.skip, w.keep), h, l);
        break;
    }
    default: {
        constexpr std::int32_t kRotations[] = {0, 1, 2, 3, -1, 4};
        const std::int32_t rotation = in.pick(kRotations);
        const FocusWindow w = focusWindowEnd(l, rotation);
        if (std::uint64_t{w.skip} + w.keep > l)
            fail("the end window reaches past the line", h, l);
        ref::Guarded out(std::size_t{h} * w.keep);
        SelectFocusArea(src, out.span(), h, l, rotation);
        check("SelectFocusArea", out, ref::crop(src, h, l, w.skip, w.keep), h, l);
        break;
    }
    }
    return 0;
}
