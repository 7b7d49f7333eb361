// The job's input: standard input or the file named on the command line,
// with the bytes already looked at to recognise a raster stream handed back
// first, so that nothing is lost even when the input is a pipe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <sys/types.h>

namespace kordane {

class InputSource {
public:
    explicit InputSource(int fd) : fd_(fd) {}

    int fd() const { return fd_; }

    // Reads up to buffer.size() bytes: first the bytes peeked at, then from
    // the descriptor (retrying when a signal interrupts). Returns the number
    // of bytes read, 0 at the end of the input, -1 on a read error (errno set).
    ssize_t read(std::span<std::uint8_t> buffer);

    // True when the input starts with a raster stream's sync word. Reads up
    // to four bytes, which later reads return again.
    bool startsWithRasterSyncWord();

private:
    int fd_;
    std::array<std::uint8_t, 4> peeked_{};
    std::size_t peekedSize_ = 0;
    std::size_t peekedPos_ = 0;
};

} // namespace kordane
