// Each bitmap transform against its dot-by-dot reference: the first bytes
// choose the transform and the bitmap's shape, the rest are its dots. The
// result must equal the reference, and nothing past it may be written.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bitmap/crop.h"
#include "bitmap/reduce.h"
#include "bitmap/rotate.h"
#include "fuzz/fuzz_input.h"
#include "support/bitmap_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    namespace ref = kordane::reference;
    fuzz::ByteCursor in({data, size});
    const std::uint8_t op = in.next() % 8;
    // Lines up to 72 and up to 200 bytes: both sides of the 64-byte focus
    // window; heights that are and are not multiples of 2, 3 and 8.
    const std::uint32_t h = in.next() % 73, l = in.next() % 201;
    ref::Bytes src(std::size_t{h} * l, 0);
    std::copy_n(in.rest().begin(), std::min(in.rest().size(), src.size()), src.begin());

    ref::Bytes expected;
    std::size_t room = 0;
    constexpr std::int32_t kRotations[] = {0, 1, 2, 3, -1, 4};
    const std::int32_t rotation = in.pick(kRotations);
    const FocusWindow window = op == 5 ? focusWindowCenter(l) : focusWindowEnd(l, rotation);
    if (op <= 1) {
        room = quarterTurnSize(h, l);
        expected = h == 0 || l == 0 ? ref::Bytes{} : ref::quarterTurn(src, h, l, op == 0);
    } else if (op == 3 || op == 4) {
        const unsigned f = op == 3 ? 3 : 2;
        room = reducedSize(h, l, f);
        // An image without lines leaves the room untouched.
        expected = h == 0 ? ref::Bytes(room, 0xA5) : ref::reduce(src, h, l, f);
    } else if (op >= 5) {
        if (std::uint64_t{window.skip} + window.keep > l)
            std::abort();
        room = std::size_t{h} * window.keep;
        expected = ref::crop(src, h, l, window.skip, window.keep);
    }
    ref::Guarded out(room);
    int status = 0; // every transform reports 0
    switch (op) {
    case 0: status = rotate90Degree(src, out.span(), h, l); break;
    case 1: status = rotate270Degree(src, out.span(), h, l); break;
    case 2: expected = ref::halfTurn(src); out.buffer = src; out.size = src.size(); rotate180Degree(out.span()); break;
    case 3: status = scale100(src, out.span(), h, l); break;
    case 4: status = scale50(src, out.span(), h, l); break;
    case 5: status = SelectFocusAreaCenter(src, out.span(), h, l); break;
    default: status = SelectFocusArea(src, out.span(), h, l, rotation); break;
    }
    if (status != 0 || (op != 2 && !out.guardIntact()) || out.result() != expected) {
        std::fprintf(stderr, "transform %u differs from the reference for %u lines of %u bytes\n", op, h, l);
        std::abort();
    }
    return 0;
}
