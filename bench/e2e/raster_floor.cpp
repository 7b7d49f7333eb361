// The least any raster filter can do: start, load the CUPS libraries, read
// every page of the raster stream on standard input (one header read and one
// pixel read per page) and write the pixels unchanged to standard output.
// The end-to-end benchmark times the filter against this program.
#include <cups/raster.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>
#include <unistd.h>

namespace {

bool writeAll(const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(STDOUT_FILENO, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

int main()
{
    cups_raster_t* raster = cupsRasterOpen(STDIN_FILENO, CUPS_RASTER_READ);
    if (raster == nullptr) {
        std::fputs("raster_floor: not a raster stream\n", stderr);
        return 1;
    }
    std::vector<std::uint8_t> pixels;
    cups_page_header2_t header;
    int pages = 0;
    int status = 0;
    while (cupsRasterReadHeader2(raster, &header)) {
        const std::size_t size = std::size_t{header.cupsHeight} * header.cupsBytesPerLine;
        if (size == 0 || size > 0xFFFFFFFFu)
            break;
        if (pixels.size() < size)
            pixels.resize(size);
        if (cupsRasterReadPixels(raster, pixels.data(), static_cast<unsigned>(size)) != size) {
            std::fputs("raster_floor: short page\n", stderr);
            status = 1;
            break;
        }
        if (!writeAll(pixels.data(), size)) {
            status = 1;
            break;
        }
        ++pages;
    }
    cupsRasterClose(raster);
    return pages > 0 ? status : 1;
}
