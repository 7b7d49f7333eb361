// A destination for printer bytes: the printer stream in the filter, a plain
// memory buffer in tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

namespace kordane {

// Writers ask for room, fill it, then say how much of it they used. That lets
// bulk producers (image data, compression) write straight into the sink's
// storage without a byte-by-byte call per output byte.
class ByteSink {
public:
    virtual ~ByteSink() = default;

    // Room for at least n more bytes at the end of the sink. The pointer stays
    // valid until the next call on the sink.
    virtual std::uint8_t* reserve(std::size_t n) = 0;
    // The first n bytes of the last reserved room are now part of the output.
    virtual void advance(std::size_t n) = 0;

    void put(std::span<const std::uint8_t> bytes)
    {
        if (bytes.empty())
            return;
        std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
        advance(bytes.size());
    }
    void put(std::uint8_t byte) { put(std::span<const std::uint8_t>(&byte, 1)); }
};

// Collects everything in memory.
class VectorSink final : public ByteSink {
public:
    std::uint8_t* reserve(std::size_t n) override
    {
        if (storage_.size() - used_ < n)
            storage_.resize(std::max(used_ + n, 2 * storage_.size()));
        return storage_.data() + used_;
    }
    void advance(std::size_t n) override { used_ += n; }

    std::span<const std::uint8_t> view() const { return {storage_.data(), used_}; }
    std::vector<std::uint8_t> bytes() const { return {storage_.begin(), storage_.begin() + static_cast<std::ptrdiff_t>(used_)}; }
    void clear() { used_ = 0; }

private:
    std::vector<std::uint8_t> storage_;
    std::size_t used_ = 0;
};

} // namespace kordane
