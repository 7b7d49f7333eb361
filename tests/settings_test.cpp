// Print settings read through libcups from real PPD files and job options.
#include <gtest/gtest.h>

#include "core/page_state.h"
#include "filter/settings.h"
#include "support/ppd_writer.h"

namespace kordane {
namespace {

std::vector<int> fields(const PrintSettings& s)
{
    return {s.PageSize, s.PageType, s.Rotation, s.FocusArea, s.ColorModel, s.CompPrinting, s.LogoPosition,
            s.LogoJustification, s.LogoImage, s.LogoWidth, s.LineFeed, s.PageCut, s.CashDrawer, s.CashDrawerOpen,
            s.CashDrawer1PulseWidth, s.CashDrawer2PulseWidth, s.JobEndCut};
}

TEST(Settings, EachModelReadsItsOptionsJobOptionsWinOddKeywordsReadAsNumbers)
{
    // Every option a distinct default, in the order of fields().
    test::TempDir dir;
    const test::PpdDefaults defaults = {
        {"PageSize", "94"}, {"PageType", "1"}, {"Rotation", "2"}, {"FocusArea", "2"}, {"ColorModel", "0"},
        {"CompPrinting", "1"}, {"LogoPosition", "3"}, {"LogoJustification", "2"}, {"LogoImage", "1"}, {"LogoWidth", "3"},
        {"LineFeed", "4"}, {"PageCut", "2"}, {"CashDrawer", "3"}, {"CashDrawerOpen", "2"}, {"CashDrawer1PulseWidth", "255"},
        {"CashDrawer2PulseWidth", "600"}, {"JobEndCut", "1"}};
    struct Case {
        int model;
        const char* options;
        SettingsResult result;
        std::vector<int> expected;
    };
    for (const Case& c : {
             // No cut, no drawer, monochrome; 10 reads no focus area, 33 no compression either.
             Case{10, "", SettingsResult::Supported, {94, 1, 2, 0, 1, 0, 3, 2, 1, 3, 4, 0, 0, 0, 0, 0, 0}},
             Case{33, "", SettingsResult::Supported, {94, 1, 2, 2, 1, 1, 3, 2, 1, 3, 4, 0, 0, 0, 0, 0, 0}},
             // The drawer but neither colour nor cut.
             Case{83, "", SettingsResult::Supported, {94, 1, 2, 0, 0, 1, 3, 2, 1, 3, 4, 0, 3, 2, 255, 600, 0}},
             // Job options over the defaults; a choice the PPD lacks and an
             // option it does not know change nothing.
             Case{42, "ColorModel=1 LineFeed=77 PageCut=0 unrelated=yes CashDrawer1PulseWidth=1", SettingsResult::Supported,
                  {94, 1, 2, 2, 1, 1, 3, 2, 1, 3, 4, 0, 3, 2, 1, 600, 1}},
             Case{1, "", SettingsResult::Supported, {94, 1, 2, 2, 0, 0, 3, 2, 1, 3, 4, 2, 3, 2, 255, 600, 1}},
             // An unknown model is refused, its record filled all the same.
             Case{2, "", SettingsResult::Unsupported, {94, 1, 2, 2, 0, 0, 3, 2, 1, 3, 4, 2, 3, 2, 255, 600, 1}},
         }) {
        const std::string ppd = test::writePpd(dir, c.model, defaults);
        PrintSettings s;
        PageState state;
        EXPECT_EQ(initializeSettings(ppd.c_str(), c.options, s, state), c.result) << c.model;
        EXPECT_EQ(state.PrinterModel, c.model);
        EXPECT_EQ(s.model_number, c.model);
        EXPECT_EQ(fields(s), c.expected) << "model " << c.model;
    }

    // Missing options and defaults read -1; keywords are read as numbers.
    std::string odd = test::ppdText(42, {{"LogoPosition", ""}, {"PageType", "7"}, {"LineFeed", "x3"}, {"LogoImage", "-2"},
                                         {"LogoWidth", "2mm"}, {"CashDrawer1PulseWidth", "99999999999999999999"}});
    odd.erase(odd.find("*PageType 7/7"), 18); // a default that is not a choice
    PrintSettings s;
    PageState state;
    EXPECT_EQ(initializeSettings(dir.write("odd.ppd", odd).c_str(), "", s, state), SettingsResult::Supported);
    EXPECT_EQ((std::vector{s.LogoPosition, s.PageType, s.LineFeed, s.LogoImage, s.LogoWidth, s.CashDrawer1PulseWidth}),
              (std::vector{-1, -1, 0, -2, 2, -1})); // the last saturated, then its low 32 bits
    EXPECT_EQ(initializeSettings(test::writePpd(dir, 0).c_str(), "", s, state), SettingsResult::Unsupported);
}

} // namespace
} // namespace kordane
