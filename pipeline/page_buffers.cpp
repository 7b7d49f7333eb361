#include "pipeline/page_buffers.h"

#include <limits>
#include <new>

namespace kordane {

std::optional<std::size_t> checkedSize(std::size_t a, std::size_t b, std::size_t c)
{
    std::size_t ab = 0, abc = 0;
    if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc))
        return std::nullopt;
    return abc;
}

bool PageBuffer::ensure(std::size_t n)
{
    if (n <= capacity_ && data_)
        return true;
    data_.reset();
    capacity_ = 0;
    // Never a zero-sized allocation, so data() always points somewhere.
    auto* fresh = new (std::nothrow) std::uint8_t[n == 0 ? 1 : n];
    if (fresh == nullptr)
        return false;
    data_.reset(fresh);
    capacity_ = n;
    return true;
}

void PageBuffer::release()
{
    data_.reset();
    capacity_ = 0;
}

void PageBuffers::releaseAll()
{
    for (PageBuffer* b : {&pageImage, &reduceBuffer, &monoImage, &firstColourPlane, &secondColourPlane,
                          &firstTurnBuffer, &secondTurnBuffer})
        b->release();
}

} // namespace kordane
