// Each bitmap transform and the run-length coder against its plain
// reference: the first bytes choose the transform and the bitmap's shape,
// the rest are its dots. The result must equal the reference, and nothing
// past it may be written. The coder takes all the bytes after the first as
// its input; its code must equal the reference's byte for byte, follow what
// the sink held before and stay within its stated bound. That it decodes
// back to the page is the round-trip test's business.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bitmap/crop.h"
#include "bitmap/reduce.h"
#include "bitmap/rotate.h"
#include "output/byte_sink.h"
#include "output/compress.h"
#include "fuzz/fuzz_input.h"
#include "support/bitmap_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kordane;
    namespace ref = kordane::reference;
    fuzz::ByteCursor in{{data, size}};
    const std::uint8_t op = in.next() % 9;
    if (op == 8) {
        const auto input = in.rest();
        VectorSink sink;
        sink.put(0x5A);
        CompressData(input, sink);
        const auto code = sink.view().subspan(1);
        const ref::Bytes expected = ref::compress(input.data(), input.size());
        if (sink.view()[0] != 0x5A || code.size() > compressedBound(input.size()) ||
            !std::equal(code.begin(), code.end(), expected.begin(), expected.end())) {
            std::fprintf(stderr, "run-length code of %zu bytes differs from the reference\n", input.size());
            std::abort();
        }
        return 0;
    }
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
    if (op == 2) {
        room = src.size();
        expected = ref::halfTurn(src);
    } else if (op <= 1) {
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
    // The room, then guard bytes that must stay as they are.
    ref::Bytes out(room + 16, 0xA5);
    if (op == 2) // the half turn works in place
        std::copy(src.begin(), src.end(), out.begin());
    const std::span<std::uint8_t> result(out.data(), room);
    int status = 0; // every transform reports 0
    switch (op) {
    case 0: status = rotate90Degree(src, result, h, l); break;
    case 1: status = rotate270Degree(src, result, h, l); break;
    case 2: rotate180Degree(result); break;
    case 3: status = scale100(src, result, h, l); break;
    case 4: status = scale50(src, result, h, l); break;
    case 5: status = SelectFocusAreaCenter(src, result, h, l); break;
    default: status = SelectFocusArea(src, result, h, l, rotation); break;
    }
    if (status != 0 || std::count(out.begin() + static_cast<long>(room), out.end(), 0xA5) != 16 ||
        !std::equal(result.begin(), result.end(), expected.begin(), expected.end())) {
        std::fprintf(stderr, "transform %u differs from the reference for %u lines of %u bytes\n", op, h, l);
        std::abort();
    }
    return 0;
}
