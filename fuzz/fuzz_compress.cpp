// The run-length coder against its plain reference: the code must equal the
// reference's byte for byte and stay within its stated bound. That it
// decodes back to the page is the round-trip test's business.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "output/byte_sink.h"
#include "output/compress.h"
#include "support/bitmap_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace ref = kordane::reference;
    const std::span<const std::uint8_t> input(data, size);
    kordane::VectorSink sink;
    // Something already in the sink: the code must be appended after it.
    sink.put(0x5A);
    kordane::CompressData(input, sink);
    const auto all = sink.view();
    const auto code = all.subspan(1);
    const ref::Bytes expected = ref::compress(data, size);
    if (all[0] != 0x5A || code.size() > kordane::compressedBound(size) ||
        !std::equal(code.begin(), code.end(), expected.begin(), expected.end())) {
        std::fprintf(stderr, "run-length code of %zu bytes differs from the reference\n", size);
        std::abort();
    }
    return 0;
}
