#include "preview/page_image.h"

#include <algorithm>
#include <optional>

namespace kordane::preview {
namespace {

// Copies `lines` lines of `fromBpl` bytes into lines of `toBpl` bytes
// appended to `out`, padding each line with zeros.
void appendLines(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& src, std::uint32_t lines,
                 std::uint32_t fromBpl, std::uint32_t toBpl)
{
    const std::size_t copy = std::min(fromBpl, toBpl);
    for (std::uint32_t line = 0; line < lines; ++line) {
        const std::size_t from = std::size_t{line} * fromBpl;
        const auto begin = src.begin() + static_cast<std::ptrdiff_t>(from);
        out.insert(out.end(), begin, begin + static_cast<std::ptrdiff_t>(copy));
        out.insert(out.end(), toBpl - copy, 0);
    }
}

class Printer {
public:
    std::vector<PrintedImage> run(const std::vector<Command>& commands)
    {
        for (const Command& c : commands) {
            const bool continuesRun = c.kind == CommandKind::CompressedBlock && compressed_ &&
                                      compressed_->widthDots == c.width;
            if (!continuesRun)
                endCompressedRun();
            switch (c.kind) {
            case CommandKind::StoreGraphics:
                (c.colour == 0x32 ? second_ : first_).push_back(&c);
                break;
            case CommandKind::PrintGraphics:
                printBuffer(c.offset);
                break;
            case CommandKind::RasterBitImage:
                images_.push_back(single(c));
                break;
            case CommandKind::CompressedBlock:
                if (continuesRun) {
                    compressed_->first.insert(compressed_->first.end(), c.data.begin(), c.data.end());
                    compressed_->lines += c.lines;
                } else {
                    compressed_ = single(c);
                }
                break;
            default:
                break;
            }
        }
        endCompressedRun();
        return std::move(images_);
    }

private:
    static PrintedImage single(const Command& c)
    {
        PrintedImage img;
        img.source = c.kind;
        img.offset = c.offset;
        img.widthDots = c.width;
        img.bytesPerLine = c.bytesPerLine;
        img.lines = c.lines;
        img.first = c.data;
        return img;
    }

    void endCompressedRun()
    {
        if (compressed_)
            images_.push_back(std::move(*compressed_));
        compressed_.reset();
    }

    static std::uint32_t stackedLines(const std::vector<const Command*>& blocks)
    {
        std::uint32_t n = 0;
        for (const Command* b : blocks)
            n += b->lines;
        return n;
    }

    static std::vector<std::uint8_t> stack(const std::vector<const Command*>& blocks, std::uint32_t bpl,
                                           std::uint32_t lines)
    {
        std::vector<std::uint8_t> out;
        out.reserve(std::size_t{lines} * bpl);
        for (const Command* b : blocks)
            appendLines(out, b->data, b->lines, b->bytesPerLine, bpl);
        out.resize(std::size_t{lines} * bpl, 0);
        return out;
    }

    void printBuffer(std::size_t offset)
    {
        if (first_.empty() && second_.empty())
            return;
        PrintedImage img;
        img.source = CommandKind::StoreGraphics;
        img.offset = offset;
        for (const auto* blocks : {&first_, &second_})
            for (const Command* b : *blocks)
                img.widthDots = std::max(img.widthDots, b->width);
        img.bytesPerLine = (img.widthDots + 7) / 8;
        img.lines = std::max(stackedLines(first_), stackedLines(second_));
        img.twoColour = !second_.empty();
        img.first = stack(first_, img.bytesPerLine, img.lines);
        if (img.twoColour)
            img.second = stack(second_, img.bytesPerLine, img.lines);
        images_.push_back(std::move(img));
        first_.clear();
        second_.clear();
    }

    std::vector<PrintedImage> images_;
    std::vector<const Command*> first_, second_;
    std::optional<PrintedImage> compressed_;
};

} // namespace

std::vector<PrintedImage> printedImages(const std::vector<Command>& commands) { return Printer().run(commands); }

Bitmap concatenateImages(const std::vector<PrintedImage>& images, Plane plane)
{
    Bitmap out;
    std::size_t total = 0;
    for (const PrintedImage& img : images) {
        out.bytesPerLine = std::max(out.bytesPerLine, img.bytesPerLine);
        total += img.lines;
    }
    out.data.reserve(total * out.bytesPerLine);
    for (const PrintedImage& img : images) {
        if (plane == Plane::Second && !img.twoColour)
            out.data.insert(out.data.end(), std::size_t{img.lines} * out.bytesPerLine, 0);
        else
            appendLines(out.data, plane == Plane::First ? img.first : img.second, img.lines, img.bytesPerLine,
                        out.bytesPerLine);
        out.lines += img.lines;
    }
    return out;
}

} // namespace kordane::preview
