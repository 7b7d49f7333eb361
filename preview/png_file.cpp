#include "preview/png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace kordane::preview {

namespace {

// Writes the canvas as an 8-bit palette PNG. libpng reports its errors by
// a long jump back here, so this function holds no objects with
// destructors.
bool writeRows(std::FILE* f, const Canvas& canvas, png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, canvas.width, canvas.height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colours[InkCount];
    const auto& pal = palette();
    for (std::size_t i = 0; i < pal.size(); ++i)
        colours[i] = png_color{pal[i].r, pal[i].g, pal[i].b};
    png_set_PLTE(png, info, colours, InkCount);
    png_write_info(png, info);
    for (std::uint32_t y = 0; y < canvas.height; ++y)
        png_write_row(png, canvas.pixels.data() + std::size_t{y} * canvas.width);
    png_write_end(png, info);
    return true;
}

} // namespace

bool writePng(const std::string& path, const Canvas& canvas, std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && writeRows(f, canvas, png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok)
        error = path + ": the PNG could not be written";
    return ok;
}


} // namespace kordane::preview
