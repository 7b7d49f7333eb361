#include "preview/render.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "preview/page_image.h"

namespace kordane::preview {
namespace {

// A 5 × 7 font for the characters 20 to 5F (space to underscore); lower-case
// letters are drawn as capitals and anything else as '?'. Each glyph is five
// columns from the left, bit 0 the top row.
constexpr std::uint8_t kFont[64][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x14, 0x08, 0x3E, 0x08, 0x14}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x08, 0x14, 0x22, 0x41, 0x00}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x09, 0x01},
    {0x3E, 0x41, 0x49, 0x49, 0x7A}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x0C, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x3F, 0x40, 0x38, 0x40, 0x3F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x07, 0x08, 0x70, 0x08, 0x07}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40},
};

const std::uint8_t* glyph(std::uint8_t ch)
{
    if (ch >= 'a' && ch <= 'z')
        ch = static_cast<std::uint8_t>(ch - 'a' + 'A');
    if (ch < 0x20 || ch > 0x5F)
        ch = '?';
    return kFont[ch - 0x20];
}

// Printer font cell and the glyph scale inside it.
constexpr std::uint32_t kCellWidth = 12;
constexpr std::uint32_t kCellHeight = 24;
// Margin labels: glyphs doubled, 12 pixels apart, 18 pixels per line.
constexpr std::uint32_t kLabelAdvance = 12;
constexpr std::uint32_t kLabelLine = kPreviewLabelRows;
constexpr std::uint32_t kLabelChars = (kPreviewMarginWidth - 16) / kLabelAdvance;
// Nominal size of a stored logo at magnification 1.
constexpr std::uint32_t kLogoWidth = 192;
constexpr std::uint32_t kLogoHeight = 96;
constexpr std::uint32_t kDefaultPaperDots = 576;

std::string hex2(std::uint8_t b)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(b));
    return buf;
}

// ESC a and FS p accept both 0..2 and the characters "0".."2".
std::uint8_t digitParameter(std::uint8_t n) { return n >= 0x30 && n <= 0x33 ? static_cast<std::uint8_t>(n - 0x30) : n; }

class Renderer {
public:
    Renderer(const std::vector<Command>& commands, const RenderLimits& limits)
        : commands_(commands), limits_(limits), images_(printedImages(commands))
    {
    }

    Preview run()
    {
        std::uint32_t widest = 0;
        for (const PrintedImage& img : images_)
            widest = std::max(widest, img.widthDots);
        if (widest == 0)
            widest = kDefaultPaperDots;
        preview_.truncated = widest > limits_.maxPaperDots;
        preview_.paperWidth = std::min(widest, limits_.maxPaperDots);
        preview_.paperLeft = kPreviewMarginWidth;
        preview_.paperTop = kPreviewPadding;

        pass(); // measures
        const std::uint64_t content = std::max(y_, labelY_);
        if (content > limits_.maxHeight)
            preview_.truncated = true;
        const auto shown = static_cast<std::uint32_t>(std::min<std::uint64_t>(content, limits_.maxHeight));

        Canvas& c = preview_.canvas;
        c.width = preview_.paperLeft + preview_.paperWidth + kPreviewPadding;
        c.height = preview_.paperTop + shown + kPreviewPadding + (preview_.truncated ? kLabelLine : 0);
        c.pixels.assign(std::size_t{c.width} * c.height, InkMargin);
        for (std::uint32_t y = preview_.paperTop; y < preview_.paperTop + shown; ++y)
            std::fill_n(c.pixels.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * c.width + preview_.paperLeft),
                        preview_.paperWidth, InkPaper);
        shownHeight_ = shown;
        drawing_ = true;
        pass();
        if (preview_.truncated)
            drawText(8, preview_.paperTop + shown + 2, "PREVIEW CUT SHORT", InkRed, 2, 2);
        return std::move(preview_);
    }

private:
    // One walk over the commands: the first only advances the paper, the
    // second also draws.
    void pass()
    {
        y_ = 0;
        labelY_ = 0;
        justification_ = 0;
        line_.clear();
        lastImageLabel_.clear();
        std::size_t nextImage = 0;
        for (const Command& c : commands_) {
            if (c.kind != CommandKind::Text && c.kind != CommandKind::Justify && c.kind != CommandKind::LineFeed)
                endTextLine();
            const bool imageCommand = c.kind == CommandKind::StoreGraphics || c.kind == CommandKind::PrintGraphics ||
                                      c.kind == CommandKind::RasterBitImage || c.kind == CommandKind::CompressedBlock;
            if (!imageCommand)
                lastImageLabel_.clear();
            if (nextImage < images_.size() && images_[nextImage].offset == c.offset)
                image(images_[nextImage++]);
            switch (c.kind) {
            case CommandKind::Initialize:
                justification_ = 0;
                break;
            case CommandKind::Justify:
                justification_ = digitParameter(c.n);
                break;
            case CommandKind::NvBitImage: {
                const std::uint8_t m = digitParameter(c.m);
                logo("NV IMAGE " + std::to_string(c.n), (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
                break;
            }
            case CommandKind::NvGraphics:
                logo("LOGO " + keyText(c.kc1) + keyText(c.kc2), c.x == 2 ? 2 : 1, c.y == 2 ? 2 : 1);
                break;
            case CommandKind::LineFeed:
                if (!line_.empty())
                    endTextLine();
                else
                    y_ += kLineFeedDots;
                break;
            case CommandKind::Text:
                text(c);
                break;
            case CommandKind::Cut:
                y_ += c.n;
                label(c.cut == CutMode::Full ? "CUT" : "PARTIAL CUT", InkGrey);
                dashedLine();
                y_ += 4;
                break;
            case CommandKind::Pulse: {
                const std::uint8_t pin = digitParameter(c.drawer);
                label("DRAWER " + (pin <= 1 ? std::to_string(pin + 1) : hex2(c.drawer)) + " " +
                          std::to_string(2 * unsigned{c.t1}) + "MS",
                      InkBlue);
                break;
            }
            case CommandKind::StoreGraphics:
            case CommandKind::PrintGraphics:
            case CommandKind::RasterBitImage:
            case CommandKind::CompressedBlock:
                break; // drawn as printed images above
            }
        }
        endTextLine();
    }

    static std::string keyText(std::uint8_t k) { return k >= 0x21 && k <= 0x7E ? std::string(1, char(k)) : hex2(k); }

    // Paper coordinates to canvas, dropping what lies outside the paper's
    // shown part.
    void paperPixel(std::uint64_t x, std::uint64_t y, Ink ink)
    {
        if (!drawing_ || x >= preview_.paperWidth || y >= shownHeight_)
            return;
        Canvas& c = preview_.canvas;
        c.pixels[std::size_t(preview_.paperTop + y) * c.width + preview_.paperLeft + x] = ink;
    }

    void canvasPixel(std::uint64_t x, std::uint64_t y, Ink ink)
    {
        Canvas& c = preview_.canvas;
        if (drawing_ && x < c.width && y < c.height)
            c.pixels[std::size_t(y) * c.width + x] = ink;
    }

    // Characters in the 5 × 7 font at canvas position (x, y), each font
    // pixel sx × sy.
    void drawText(std::uint64_t x, std::uint64_t y, std::string_view s, Ink ink, unsigned sx, unsigned sy)
    {
        for (const char ch : s) {
            const std::uint8_t* g = glyph(static_cast<std::uint8_t>(ch));
            for (unsigned col = 0; col < 5; ++col)
                for (unsigned row = 0; row < 7; ++row)
                    if (g[col] & (1u << row))
                        for (unsigned dy = 0; dy < sy; ++dy)
                            for (unsigned dx = 0; dx < sx; ++dx)
                                canvasPixel(x + col * sx + dx, y + row * sy + dy, ink);
            x += 6 * sx;
        }
    }

    // A margin label beside the paper's current position, below any label
    // above it.
    void label(std::string s, Ink ink)
    {
        if (s.size() > kLabelChars)
            s.resize(kLabelChars);
        const std::uint64_t at = std::max(y_, labelY_);
        labelY_ = at + kLabelLine;
        if (drawing_ && at < shownHeight_)
            drawText(8, preview_.paperTop + at, s, ink, 2, 2);
    }

    std::uint64_t justified(std::uint64_t width) const
    {
        if (width >= preview_.paperWidth)
            return 0;
        switch (justification_) {
        case 1: return (preview_.paperWidth - width) / 2;
        case 2: return preview_.paperWidth - width;
        default: return 0;
        }
    }

    void image(const PrintedImage& img)
    {
        std::string name = img.source == CommandKind::RasterBitImage    ? "RASTER "
                           : img.source == CommandKind::CompressedBlock ? "COMPRESSED "
                                                                        : "GRAPHICS ";
        // One label for a series of images of one kind and width that
        // follow each other with nothing else between them.
        name += std::to_string(img.widthDots) + " DOTS";
        if (img.twoColour)
            name += " 2C";
        if (name != lastImageLabel_) {
            label(name, InkGrey);
            lastImageLabel_ = name;
        }
        if (drawing_) {
            const std::uint32_t bytes = std::min(img.bytesPerLine, (preview_.paperWidth + 7) / 8);
            for (std::uint32_t line = 0; line < img.lines && y_ + line < shownHeight_; ++line) {
                const std::size_t row = std::size_t{line} * img.bytesPerLine;
                for (std::uint32_t j = 0; j < bytes; ++j) {
                    const std::uint8_t black = img.first[row + j];
                    const std::uint8_t red = img.twoColour ? img.second[row + j] : 0;
                    if ((black | red) == 0)
                        continue;
                    for (unsigned bit = 0; bit < 8; ++bit) {
                        const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> bit);
                        if (black & mask)
                            paperPixel(8u * j + bit, y_ + line, InkBlack);
                        else if (red & mask)
                            paperPixel(8u * j + bit, y_ + line, InkRed);
                    }
                }
            }
        }
        y_ += img.lines;
    }

    void logo(const std::string& name, unsigned xScale, unsigned yScale)
    {
        const std::uint64_t w = std::min<std::uint64_t>(kLogoWidth * xScale, preview_.paperWidth);
        const std::uint64_t h = kLogoHeight * yScale;
        const std::uint64_t x0 = justified(w);
        if (drawing_) {
            for (std::uint64_t x = x0; x < x0 + w; ++x)
                for (unsigned t = 0; t < 2; ++t) {
                    paperPixel(x, y_ + t, InkGrey);
                    paperPixel(x, y_ + h - 1 - t, InkGrey);
                }
            for (std::uint64_t y = y_; y < y_ + h && y < shownHeight_; ++y)
                for (unsigned t = 0; t < 2; ++t) {
                    paperPixel(x0 + t, y, InkGrey);
                    paperPixel(x0 + w - 1 - t, y, InkGrey);
                }
            const std::uint64_t textWidth = name.size() * 12;
            const std::uint64_t tx = x0 + (w > textWidth ? (w - textWidth) / 2 : 4);
            if (y_ + h <= shownHeight_)
                drawText(preview_.paperLeft + tx, preview_.paperTop + y_ + (h - 14) / 2, name, InkGrey, 2, 2);
        }
        y_ += h;
    }

    void dashedLine()
    {
        for (std::uint64_t x = 0; x < preview_.paperWidth; ++x)
            if (x % 14 < 8)
                for (unsigned t = 0; t < 2; ++t)
                    paperPixel(x, y_ + t, InkGrey);
    }

    // Text goes into the current line; a full line is printed and the
    // paper advances, as an LF would do.
    void text(const Command& c)
    {
        const bool nul = std::all_of(c.data.begin(), c.data.end(), [](std::uint8_t b) { return b == 0; });
        label((nul ? "NUL X " : "TEXT ") + std::to_string(c.data.size()) + (nul ? "" : " BYTES"),
              nul ? InkGrey : InkGreen);
        const std::size_t columns = std::max<std::size_t>(1, preview_.paperWidth / kCellWidth);
        for (const std::uint8_t b : c.data) {
            if (b == '\t') {
                const std::size_t to = std::min(columns, (line_.size() / 8 + 1) * 8);
                line_.resize(to, ' ');
            } else if (b >= 0x20 && b != 0x7F) {
                line_.push_back(b >= 0x80 ? '?' : b);
            }
            if (line_.size() >= columns)
                endTextLine();
        }
    }

    void endTextLine()
    {
        if (line_.empty())
            return;
        if (drawing_ && y_ + kCellHeight <= shownHeight_) {
            const std::uint64_t x = justified(line_.size() * kCellWidth);
            drawText(preview_.paperLeft + x + 1, preview_.paperTop + y_ + 1, line_, InkBlack, 2, 3);
        }
        line_.clear();
        y_ += kLineFeedDots;
    }

    const std::vector<Command>& commands_;
    RenderLimits limits_;
    std::vector<PrintedImage> images_;
    Preview preview_;
    bool drawing_ = false;
    std::uint32_t shownHeight_ = 0;
    std::uint64_t y_ = 0;      // paper position, dots from the top
    std::uint64_t labelY_ = 0; // first free row of the margin
    std::uint8_t justification_ = 0;
    std::string line_; // text waiting for its line end
    std::string lastImageLabel_; // label of the image series going on
};

void appendEscaped(std::string& out, const std::vector<std::uint8_t>& data, std::size_t limit)
{
    out += '"';
    const std::size_t n = std::min(data.size(), limit);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = data[i];
        switch (b) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b >= 0x20 && b < 0x7F)
                out += static_cast<char>(b);
            else
                out += "\\x" + hex2(b);
        }
    }
    out += '"';
    if (data.size() > n)
        out += "...";
}

} // namespace

const std::array<Rgb, InkCount>& palette()
{
    static constexpr std::array<Rgb, InkCount> colours{{
        {255, 255, 255}, // paper
        {0, 0, 0},       // black dots
        {220, 0, 0},     // red dots
        {224, 224, 224}, // margin
        {112, 112, 112}, // grey marks
        {0, 72, 208},    // drawer
        {0, 140, 40},    // text
    }};
    return colours;
}

Preview renderPreview(const std::vector<Command>& commands, const RenderLimits& limits)
{
    return Renderer(commands, limits).run();
}

std::string traceLine(const Command& c)
{
    const auto n = [](std::uint32_t v) { return std::to_string(v); };
    std::string s(commandName(c.kind));
    switch (c.kind) {
    case CommandKind::Initialize:
        return s + "  initialise";
    case CommandKind::Justify: {
        static constexpr const char* names[] = {"left", "centre", "right"};
        const std::uint8_t j = digitParameter(c.n);
        return s + " " + hex2(c.n) + "  justify " + (j <= 2 ? names[j] : "(unknown)");
    }
    case CommandKind::NvBitImage:
        return s + " " + hex2(c.n) + " " + hex2(c.m) + "  print stored image " + n(c.n) + ", size mode " +
               n(digitParameter(c.m));
    case CommandKind::NvGraphics:
        return s + "  print stored graphics, key " + hex2(c.kc1) + " " + hex2(c.kc2) + ", magnification " + n(c.x) +
               " x " + n(c.y);
    case CommandKind::LineFeed:
        return s;
    case CommandKind::StoreGraphics:
        return s + "  store " + (c.colour == 0x32 ? "second" : "first") + " colour, " + n(c.width) + " dots x " +
               n(c.lines) + " lines (" + std::to_string(c.data.size()) + " bytes)";
    case CommandKind::PrintGraphics:
        return s + "  print the stored graphics";
    case CommandKind::RasterBitImage:
        return s + "  " + n(c.bytesPerLine) + " bytes (" + n(c.width) + " dots) x " + n(c.lines) + " lines";
    case CommandKind::CompressedBlock:
        return s + "  " + n(c.width) + " dots x " + n(c.lines) + " lines, " + std::to_string(c.data.size()) +
               " bytes from " + std::to_string(c.length > 17 ? c.length - 17 : 0) + " coded";
    case CommandKind::Pulse:
        return s + " " + hex2(c.drawer) + " " + hex2(c.t1) + " " + hex2(c.t2) + "  drawer " +
               (digitParameter(c.drawer) <= 1 ? n(digitParameter(c.drawer) + 1u) : "(unknown)") + " pulse, on " +
               n(2u * c.t1) + " ms, off " + n(2u * c.t2) + " ms";
    case CommandKind::Cut:
        return s + " " + (c.cut == CutMode::Full ? "41" : "42") + " " + hex2(c.n) + "  " +
               (c.cut == CutMode::Full ? "full" : "partial") + " cut after feeding " + n(c.n);
    case CommandKind::Text: {
        s += " " + std::to_string(c.data.size()) + " bytes  ";
        const bool same = c.data.size() >= 8 &&
                          std::all_of(c.data.begin(), c.data.end(), [&](std::uint8_t b) { return b == c.data[0]; });
        if (same)
            s += std::to_string(c.data.size()) + " x " + hex2(c.data[0]);
        else
            appendEscaped(s, c.data, 40);
        return s;
    }
    }
    return s;
}

} // namespace kordane::preview
