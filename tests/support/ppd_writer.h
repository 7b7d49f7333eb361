// Temporary directories and small, real PPD files for tests: the filter
// reads its printer model and option defaults from a PPD through libcups,
// so tests write one per case.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace kordane::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it
// when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path()/name, without creating anything.
    std::string file(std::string_view name) const;
    // Writes the bytes to path()/name and returns that path.
    std::string write(std::string_view name, const std::vector<std::uint8_t>& data) const;
    std::string write(std::string_view name, std::string_view text) const;

private:
    std::string path_;
};

// One PickOne option. Choices are keywords without spaces; each is written
// with itself as its display text. An empty defaultChoice writes no default
// line; a default that is not among the choices is written as it is.
struct PpdOption {
    std::string keyword;
    std::string defaultChoice;
    std::vector<std::string> choices;
};

struct PpdSpec {
    int modelNumber = 0; // 0: no *cupsModelNumber line
    std::vector<PpdOption> options;
};

// Writes the PPD as dir/printer-N.ppd (N counts up per directory use) and
// returns its path. A "PageSize" option also gets the PageRegion,
// ImageableArea and PaperDimension entries libcups expects: every size is
// 80 mm wide with 576 dots of imageable width, each with its own length.
std::string writePpd(const TempDir& dir, const PpdSpec& desc);

// The PPD text itself.
std::string ppdText(const PpdSpec& desc);

// A PPD for the model defining every option the filter reads, with numeric
// choices: PageSize 1 (1, 56, 94, 95, 100), PageType 0 (0-2), Rotation 0
// (0-3), FocusArea 0 (0-2), ColorModel 1 (0-2), CompPrinting 0 (0-2),
// LogoPosition 0 (0-4), LogoJustification 0 (0-2), LogoImage 0 (0-2),
// LogoWidth 0 (0-3), LineFeed 0 (0-5), PageCut 0 (0-2), CashDrawer 0 (0-3),
// CashDrawerOpen 0 (0-2), CashDrawer1PulseWidth 100 and
// CashDrawer2PulseWidth 200 (1, 100, 200, 255, 600).
PpdSpec standardPpd(int model);

// Makes choice the option's default, adding the choice (or the whole
// option, with that one choice) when it is missing.
PpdSpec& setDefault(PpdSpec& desc, std::string_view keyword, std::string_view choice);

// Drops the option from the PPD, if present.
// standardPpd(model) with the given defaults, written to dir.
std::string writeStandardPpd(const TempDir& dir, int model,
                             std::initializer_list<std::pair<const char*, const char*>> defaults = {});

PpdSpec& removeOption(PpdSpec& desc, std::string_view keyword);

} // namespace kordane::test
