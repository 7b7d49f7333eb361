// Temporary directories and small, real PPD files: the filter reads its model
// and option defaults from a PPD through libcups, so tests write one per case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kordane::test {

// A fresh directory under $TMPDIR (or /tmp), removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    // Writes path()/name and returns that path.
    std::string write(std::string_view name, std::string_view text) const;
    std::string write(std::string_view name, const std::vector<std::uint8_t>& data) const
    {
        return write(name, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    }

private:
    std::string path_;
};

// Option keywords and the choices to make their defaults.
using PpdDefaults = std::vector<std::pair<std::string, std::string>>;

// A PPD of the model (0: no model number line) with every option the filter
// reads, each choice keyword also its text, numeric: PageSize 1 (1, 2, 56,
// 75, 94, 95, 100, 139), PageType 0 (0-2), Rotation 0 (0-3), FocusArea 0
// (0-2), ColorModel 1 (0-2), CompPrinting 0 (0-2), LogoPosition 0 (0-4),
// LogoJustification 0 (0-2), LogoImage 0 (0-2), LogoWidth 0 (0-3), LineFeed
// 0 (0-5), PageCut 0 (0-2), CashDrawer 0 (0-3), CashDrawerOpen 0 (0-2),
// CashDrawer1PulseWidth 100 and CashDrawer2PulseWidth 200 (1, 100, 200,
// 255, 600). Each of `defaults` makes its choice the option's default,
// adding the choice or the option when missing; an empty choice removes
// the option.
std::string ppdText(int model, const PpdDefaults& defaults = {});
// Writes that PPD as dir/printer-N.ppd and returns its path.
std::string writePpd(const TempDir& dir, int model, const PpdDefaults& defaults = {});

} // namespace kordane::test
