// Helpers shared by the fuzz targets: a cursor over the fuzzer's bytes that
// hands out small numbers and picks from tables, and an in-memory file that
// the filter's own readers can open like any other input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include <cups/raster.h>

namespace kordane::fuzz {

struct ByteCursor {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;

    // The next byte, or 0 once the bytes are used up.
    std::uint8_t next() { return pos < bytes.size() ? bytes[pos++] : 0; }
    // One entry of a table, chosen by the next byte.
    template <class T, std::size_t N>
    T pick(const T (&table)[N])
    {
        return table[next() % N];
    }
    std::span<const std::uint8_t> rest() const { return bytes.subspan(pos); }
};

// An anonymous in-memory file holding the given bytes, positioned at its
// start. Closed when the object goes away.
class MemoryFile {
public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes) : fd_(::memfd_create("kordane-fuzz", 0))
    {
        // A small write to an in-memory file is whole; a short one fails the file.
        if (fd_ >= 0 && !bytes.empty() && ::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            ::close(fd_);
            fd_ = -1;
        }
        ::lseek(fd_, 0, SEEK_SET);
    }
    ~MemoryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    int fd() const { return fd_; }
    // A path that opens this file, for readers that want a name.
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// False when the raster stream in the file decodes to more than `limit`
// bytes of pixels; the file is read from its start and left there.
inline bool decodesWithin(int fd, std::size_t limit)
{
    ::lseek(fd, 0, SEEK_SET);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    std::size_t total = 0;
    cups_page_header2_t h;
    std::vector<unsigned char> line;
    while (raster && total <= limit && cupsRasterReadHeader2(raster, &h) && h.cupsBytesPerLine != 0 &&
           h.cupsBytesPerLine <= limit) {
        line.resize(h.cupsBytesPerLine);
        for (std::uint32_t y = 0; y < h.cupsHeight && total <= limit; ++y, total += line.size())
            if (cupsRasterReadPixels(raster, line.data(), h.cupsBytesPerLine) == 0)
                break;
    }
    if (raster)
        cupsRasterClose(raster);
    ::lseek(fd, 0, SEEK_SET);
    return total <= limit;
}

} // namespace kordane::fuzz
