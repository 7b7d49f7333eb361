// The 46 supported printer models and every decision that depends on the
// model. All model-dependent behaviour reads this one table.
#pragma once

#include <cstdint>
#include <span>

namespace kordane {

// Which of the colour, cut and drawer options the settings reader takes from
// the PPD.
enum class OptionSet : std::uint8_t {
    All,        // colour, cut and the four drawer options
    MonoFixed,  // none: monochrome, no cut, no drawer
    DrawerOnly, // the four drawer options; colour and cut stay 0
};

enum class CutKind : std::uint8_t { Full, Partial };

// How a stored logo is printed.
enum class LogoCommand : std::uint8_t {
    NvBitImage,      // FS p, logo number LogoImage + 1
    NvGraphicsKey30, // GS ( L function 69, key "0" "0"+LogoImage
    NvGraphicsKey31, // GS ( L function 69, key "0" "1"+LogoImage
};

enum class MonoImageCommand : std::uint8_t { GraphicsBuffer, RasterBitImage };

struct ModelInfo {
    std::int32_t number;
    OptionSet options;
    // Lines per compressed raster block; 0 when the model has no compression
    // (CompPrinting is then not read and stays 0).
    std::int32_t compressionBand;
    bool twoColour;      // ColorModel 0 prints the page in two colours
    bool mono;           // monochrome whenever the page is not two-colour
    bool sizeReduction;  // PageSize 95 and 100 reduce the page
    // Fixed-feed models end every page with this many LF whatever PageCut
    // says, read no FocusArea, crop nothing and add no feed at job end.
    std::int32_t fixedFeed;
    std::int32_t pageFeedCut0;   // LF after a page with PageCut 0
    std::int32_t pageFeedCut2;   // LF before the cut with PageCut 2
    CutKind cut;                 // the cut after a page with PageCut 2
    std::int32_t jobFeedCut0;    // LF after the last page with PageCut 0
    LogoCommand pageLogo;
    LogoCommand textLogo;
    MonoImageCommand monoImage;

    bool isFixedFeed() const { return fixedFeed != 0; }
    bool compresses() const { return compressionBand != 0; }
};

// The row for a model number, or nullptr when the model is not supported.
const ModelInfo* findModel(std::int32_t number);

// All rows, in ascending model number.
std::span<const ModelInfo> allModels();

} // namespace kordane
