// The print preview: a decoded printer stream drawn as the paper would come
// out of the printer, plus a one-line trace of each command.
//
// The picture is a strip of paper with a margin on its left:
// - image dots: monochrome and first-colour dots black, second-colour dots
//   red (a dot set in both colours is drawn black);
// - stored logos (FS p, GS ( L function 69): a grey outlined box of a nominal
//   logo size, scaled by the magnification, placed by the current
//   justification and labelled with the logo's number or key;
// - text: drawn in a small built-in font in the printer's 12 × 24 dot cells,
//   wrapped at the paper width, with a green "TEXT" mark in the margin;
// - LF: one text line of blank paper (30 dots);
// - GS V: its feed, then a dashed line across the paper, labelled in the
//   margin;
// - ESC p: a blue drawer mark in the margin.
// Every image also gets a grey label in the margin giving its command, its
// width and "2C" for two colours (once for a run of alike images).
//
// Everything drawn is clipped to fixed limits, so any decoded stream gives a
// bounded picture; `truncated` tells that something was left out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/decoder.h"

namespace kordane::preview {

// Palette of the picture: each pixel is one of these.
enum Ink : std::uint8_t {
    InkPaper,   // white paper
    InkBlack,   // monochrome or first-colour dot
    InkRed,     // second-colour dot
    InkMargin,  // background of the margin and around the paper
    InkGrey,    // logo boxes, cut lines, image labels
    InkBlue,    // drawer pulses
    InkGreen,   // text marks
    InkCount
};

struct Rgb {
    std::uint8_t r, g, b;
};

// Colour of each ink, indexed by Ink.
const std::array<Rgb, InkCount>& palette();

struct Canvas {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels; // width × height inks, rows from the top

    Ink at(std::uint32_t x, std::uint32_t y) const
    {
        return static_cast<Ink>(pixels[std::size_t{y} * width + x]);
    }
};

struct RenderLimits {
    std::uint32_t maxPaperDots = 2048;  // wider images are cut at the right
    std::uint32_t maxHeight = 32768;    // longer printouts are cut at the bottom
};

struct Preview {
    Canvas canvas;
    std::uint32_t paperLeft = 0;  // canvas column of the paper's dot 0
    std::uint32_t paperTop = 0;   // canvas row where printing starts
    std::uint32_t paperWidth = 0; // dots: the widest image, or 576 without images
    bool truncated = false;       // something did not fit the limits
};

// Margin and padding of the picture, in pixels.
constexpr std::uint32_t kPreviewMarginWidth = 264;
constexpr std::uint32_t kPreviewPadding = 16;

// Rows of one margin label line.
constexpr std::uint32_t kPreviewLabelRows = 18;

// Dots one LF advances the paper.
constexpr std::uint32_t kLineFeedDots = 30;

Preview renderPreview(const std::vector<Command>& commands, const RenderLimits& limits = {});

// One line describing the command and its parameters, without the offset
// and without a line end: "GS V 41 01  full cut after feeding 1",
// "text 5 bytes  \"AB\\r\\n\\x00\"". Text is escaped and shortened.
std::string traceLine(const Command& command);

} // namespace kordane::preview
