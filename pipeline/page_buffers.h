// Working buffers of a raster job. Each grows to what the current page needs
// and is reused for later pages; sizes are computed with overflow checks, and
// a size that does not fit or cannot be allocated is reported as a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace kordane {

// a × b (× c), or nothing when the product does not fit in size_t.
std::optional<std::size_t> checkedSize(std::size_t a, std::size_t b, std::size_t c = 1);

class PageBuffer {
public:
    // Makes room for n bytes. The content is not kept when the buffer grows.
    // Returns false when the memory cannot be had.
    bool ensure(std::size_t n);
    std::uint8_t* data() { return data_.get(); }
    std::span<std::uint8_t> span(std::size_t n) { return {data_.get(), n}; }
    std::size_t capacity() const { return capacity_; }
    void release();

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
};

struct PageBuffers {
    // The page's pixels as read; trimming keeps a run of its lines.
    PageBuffer pageImage;
    // A monochrome page moves between these two as it is reduced, turned
    // and cropped.
    PageBuffer monoImage;
    PageBuffer reduceBuffer;
    // Each colour plane moves between its plane buffer and its turn buffer.
    PageBuffer firstColourPlane;  // printed in the first colour
    PageBuffer secondColourPlane; // printed in the second colour
    PageBuffer firstTurnBuffer;
    PageBuffer secondTurnBuffer;

    void releaseAll();
};

} // namespace kordane
